#pragma once

#include "common/text.h"

namespace corvanta {

// The window that has the keyboard focus, as far as typing into it is concerned.
class FocusWindow {
  public:
    virtual ~FocusWindow() = default;

    // Whether it is a window of this program: its tray menu, a dialog, the Monitor or a message box. Keys typed then
    // would work the program's own controls instead of reaching the user's window.
    virtual bool IsOwnWindow() const = 0;

    // Whether its process runs at a higher integrity level than this one (a program run as administrator):
    // Windows then drops the keystrokes, and the sender is not reliably told.
    virtual bool ElevatedAboveUs() const = 0;

    // How a user recognises it: its title.
    virtual Text Description() const = 0;
};

}  // namespace corvanta
