#pragma once

#include "core/keystroke_plan.h"
#include "platform/keystroke_sender.h"

namespace corvanta::win32 {

// Types text into the window that has the keyboard focus with one SendInput call per text, using the keys of
// that window's own keyboard layout.
class Win32KeystrokeSender : public KeystrokeSender {
  public:
    SendResult SendKeys(TextView text) override;

    // Control characters other than CR, LF, TAB, BS and ESC typed as Unicode units instead of left out.
    void SetControlsAsUnicode(bool on) { state_.controls_as_unicode = on; }

  private:
    KeystrokeState state_;
};

}  // namespace corvanta::win32
