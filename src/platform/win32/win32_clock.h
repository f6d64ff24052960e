#pragma once

#include "platform/clock.h"

namespace corvanta::win32 {

// The wall clock in the time zone's rules for the moment read (daylight saving included), and GetTickCount64.
class Win32Clock : public Clock {
  public:
    LocalTime Now() const override;
    uint64_t Milliseconds() const override;
};

}  // namespace corvanta::win32
