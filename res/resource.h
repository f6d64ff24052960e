#pragma once

// The program's icon: one 16 x 16 image, 256 colours.
#define IDI_CORVANTA 101
