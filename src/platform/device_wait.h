#pragma once

#include <algorithm>
#include <cstdint>

#include "platform/text.h"

namespace corvanta {

// An open that failed because the port's device is not there (as opposed to busy or refusing the settings):
// worth waiting for, since USB adapters come and go.
class DeviceAbsentError : public Error {
  public:
    using Error::Error;
};

// The failure a start-up open reports when the control goes on waiting for the device.
Error WaitingForDeviceError(const Error& absent);

// When a serial control waiting for its port's device tries to open the port again: 1 s after it began to
// wait, then at doubling intervals up to 30 s, for drivers that announce no arrival. Shared by every control.
class DeviceWait {
  public:
    static constexpr uint32_t kFirstDelayMs = 1000;
    static constexpr uint32_t kLongestDelayMs = 30000;

    bool Waiting() const { return waiting_; }
    // The delay before the next try while waiting.
    uint32_t DelayMs() const { return delay_ms_; }

    // Also a fresh start: a new port number, or a device that announced itself but did not open yet.
    void Begin() {
        waiting_ = true;
        delay_ms_ = kFirstDelayMs;
    }
    // After an announced arrival the device may need a moment before it opens: start over from the short delay.
    void TryFailed(bool announced) { delay_ms_ = announced ? kFirstDelayMs : std::min(delay_ms_ * 2, kLongestDelayMs); }
    void End() { waiting_ = false; }

  private:
    bool waiting_ = false;
    uint32_t delay_ms_ = kFirstDelayMs;
};

}  // namespace corvanta
