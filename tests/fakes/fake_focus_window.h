#pragma once

#include "platform/focus_window.h"

namespace corvanta {

// The focus as a test sets it.
class FakeFocusWindow : public FocusWindow {
  public:
    bool IsOwnWindow() const override { return own; }
    bool ElevatedAboveUs() const override { return elevated; }
    Text Description() const override { return title; }

    bool own = false;
    bool elevated = false;
    Text title = u"Untitled - Notepad";
};

}  // namespace corvanta
