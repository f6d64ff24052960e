#pragma once

#include <vector>

#include "core/keystroke_plan.h"
#include "platform/keystroke_sender.h"

namespace corvanta::win32 {

// Types text into the window that has the keyboard focus with one SendInput call per text, using the keys of
// that window's own keyboard layout. Modifiers the user holds down are lifted for the text and given back after.
class Win32KeystrokeSender : public KeystrokeSender {
  public:
    SendResult SendKeys(TextView text) override;
    void SetKeyMode(KeyMode mode) override { mode_ = mode; }

  private:
    // The events handed to SendInput; how many it accepted.
    unsigned Send(const std::vector<InputEvent>& events) const;

    KeyMode mode_ = KeyMode::kLayout;
};

}  // namespace corvanta::win32
