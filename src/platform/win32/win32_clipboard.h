#pragma once

#include <windows.h>

#include "platform/clipboard.h"

namespace corvanta::win32 {

// The clipboard, for Unicode text, opened by a window of the program that outlives this object: Windows makes the
// window that empties the clipboard its owner, and refuses data from an owner that is no window.
class Win32Clipboard : public Clipboard {
  public:
    explicit Win32Clipboard(HWND owner) : owner_(owner) {}

    void SetText(TextView text) override;
    Text GetText() const override;

  private:
    HWND owner_;
};

}  // namespace corvanta::win32
