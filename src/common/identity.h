#pragma once

#include "resource.h"

namespace corvanta {

// The program's title: the settings store's application name, the auto-start value's name, the tray tooltip
// and the caption of the main form and of the program's message boxes.
inline constexpr char16_t kAppTitle[] = u"Corvanta";

// The program's icon resource: the form's icon and, through it, the tray icon and the dialogs' icons.
inline constexpr int kProgramIconResource = IDI_CORVANTA;

}  // namespace corvanta
