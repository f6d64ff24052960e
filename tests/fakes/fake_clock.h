#pragma once

#include <cstdint>

#include "platform/clock.h"

namespace corvanta {

// A clock that stands still until a test moves it: Advance moves the wall clock and the monotonic count together.
class FakeClock : public Clock {
  public:
    LocalTime Now() const override { return now; }
    uint64_t Milliseconds() const override { return milliseconds; }

    // Whole days and months are enough for the tests; the fake does not roll a month over.
    void Advance(uint32_t ms) {
        milliseconds += ms;
        int64_t total = now.millisecond + static_cast<int64_t>(ms);
        now.millisecond = static_cast<int>(total % 1000);
        total = now.second + total / 1000;
        now.second = static_cast<int>(total % 60);
        total = now.minute + total / 60;
        now.minute = static_cast<int>(total % 60);
        total = now.hour + total / 60;
        now.hour = static_cast<int>(total % 24);
        now.day += static_cast<int>(total / 24);
    }

    LocalTime now{2026, 12, 7, 14, 3, 22, 512, 60};
    uint64_t milliseconds = 1'000'000;
};

}  // namespace corvanta
