#pragma once

#include <windows.h>

#include "platform/focus_window.h"

namespace corvanta::win32 {

// The window that gets typed keys: the foreground thread's focus window, which may be a child owned by another
// thread or process, or the foreground window itself; nullptr when nothing is in the foreground.
HWND KeyboardTarget();

// The foreground window and the window with the keyboard focus in it, asked afresh at every call.
class Win32FocusWindow : public FocusWindow {
  public:
    // Reads this process's integrity level once; a failure is reported as "operation: system message".
    Win32FocusWindow();

    bool IsOwnWindow() const override;
    bool ElevatedAboveUs() const override;
    Text Description() const override;

  private:
    DWORD own_integrity_;
};

}  // namespace corvanta::win32
