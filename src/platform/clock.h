#pragma once

#include <cstdint>

namespace corvanta {

// A moment of the wall clock as the user reads it, with how far the local time then was ahead of UTC.
struct LocalTime {
    int year = 2000;
    int month = 1;  // 1-12
    int day = 1;    // 1-31
    int hour = 0;
    int minute = 0;
    int second = 0;
    int millisecond = 0;
    int utc_offset_minutes = 0;  // east of UTC positive: +60 for Central European winter time

    bool operator==(const LocalTime&) const = default;
};

// The time: the wall clock for what people read (the log), and a monotonic count for intervals, which neither a
// clock change nor a daylight-saving switch moves.
class Clock {
  public:
    virtual ~Clock() = default;

    virtual LocalTime Now() const = 0;

    // Milliseconds since some fixed start; never goes back.
    virtual uint64_t Milliseconds() const = 0;
};

}  // namespace corvanta
