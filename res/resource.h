#pragma once

// The executable's icon for Explorer, the Start menu and Add/Remove Programs: 16 to 256 px, 32-bit with alpha.
// Explorer shows the icon group with the lowest id, so it stays below every other icon's.
#define IDI_CORVANTA_APP 1

// The program's icon: one 16 x 16 image, 256 colours.
#define IDI_CORVANTA 101

// The About box's picture: 220 x 200, 24-bit colour, drawn by scripts/make_about_picture.py.
#define IDB_ABOUT 102
