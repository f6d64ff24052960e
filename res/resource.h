#pragma once

// The program's icon: one 16 x 16 image, 256 colours.
#define IDI_CORVANTA 101

// The About box's picture: 220 x 200, 24-bit colour, drawn by scripts/make_about_picture.py.
#define IDB_ABOUT 102
