#pragma once

#include "platform/keystroke_plan.h"
#include "platform/keystroke_sender.h"

namespace corvanta::win32 {

// Types text into the window that has the keyboard focus with one SendInput call per text, using the keys of
// that window's own keyboard layout.
class Win32KeystrokeSender : public KeystrokeSender {
  public:
    SendResult SendKeys(TextView text) override;

  private:
    bool CapsLock(unsigned long target_thread);

    KeystrokeState state_;
    // The last Caps Lock answer, the thread it was asked for, and when this sender last typed (GetTickCount64).
    bool caps_lock_ = false;
    unsigned long caps_thread_ = 0;
    unsigned long long last_send_ = 0;
};

}  // namespace corvanta::win32
