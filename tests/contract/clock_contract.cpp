#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <vector>

#include "contract/contract_sides.h"
#include "fakes/fake_clock.h"
#include "platform/clock.h"

#ifdef CORVANTA_HAVE_WIN32
#include <windows.h>

#include "platform/win32/win32_clock.h"
#endif

namespace corvanta {
namespace {

struct ClockBed {
    std::shared_ptr<Clock> clock;
    // Lets at least this much time pass on the clock.
    std::function<void(uint32_t ms)> let_pass;
};

using Side = contract::Side<ClockBed>;

std::vector<Side> Sides() {
    std::vector<Side> sides = {{"Fake", [] {
                                    auto clock = std::make_shared<FakeClock>();
                                    return ClockBed{clock, [clock](uint32_t ms) { clock->Advance(ms); }};
                                }}};
#ifdef CORVANTA_HAVE_WIN32
    sides.push_back({"Win32", [] {
                         auto clock = std::make_shared<win32::Win32Clock>();
                         return ClockBed{clock, [clock](uint32_t ms) {
                                             // Waits for the condition itself, with a deadline.
                                             const uint64_t start = clock->Milliseconds();
                                             const ULONGLONG deadline = GetTickCount64() + ms + 10'000;
                                             while (clock->Milliseconds() - start < ms && GetTickCount64() < deadline) {
                                                 Sleep(5);
                                             }
                                         }};
                     }});
#endif
    return sides;
}

// Milliseconds of UTC since 1970 for a local time and its offset (days from the civil calendar).
int64_t UtcMilliseconds(const LocalTime& t) {
    const int64_t y = t.month <= 2 ? t.year - 1 : t.year;
    const int64_t era = (y >= 0 ? y : y - 399) / 400;
    const int64_t yoe = y - era * 400;
    const int64_t doy = (153 * (t.month + (t.month > 2 ? -3 : 9)) + 2) / 5 + t.day - 1;
    const int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    const int64_t days = era * 146097 + doe - 719468;
    const int64_t local = ((days * 24 + t.hour) * 60 + t.minute) * 60 + t.second;
    return (local - t.utc_offset_minutes * 60) * 1000 + t.millisecond;
}

class ClockContract : public ::testing::TestWithParam<Side> {};

// The wall clock reads as a calendar date and time with an offset a time zone can have.
TEST_P(ClockContract, NowIsALocalTimeWithItsOffset) {
    const ClockBed bed = GetParam().make();
    const LocalTime now = bed.clock->Now();
    EXPECT_GE(now.year, 2020);
    EXPECT_TRUE(now.month >= 1 && now.month <= 12) << now.month;
    EXPECT_TRUE(now.day >= 1 && now.day <= 31) << now.day;
    EXPECT_TRUE(now.hour >= 0 && now.hour <= 23) << now.hour;
    EXPECT_TRUE(now.minute >= 0 && now.minute <= 59) << now.minute;
    EXPECT_TRUE(now.second >= 0 && now.second <= 59) << now.second;
    EXPECT_TRUE(now.millisecond >= 0 && now.millisecond <= 999) << now.millisecond;
    EXPECT_TRUE(now.utc_offset_minutes >= -14 * 60 && now.utc_offset_minutes <= 14 * 60) << now.utc_offset_minutes;
    EXPECT_EQ(now.utc_offset_minutes % 15, 0) << now.utc_offset_minutes;
}

// Both clocks count milliseconds, and move on together; the monotonic one never goes back.
TEST_P(ClockContract, BothClocksCountMilliseconds) {
    const ClockBed bed = GetParam().make();
    const uint64_t start = bed.clock->Milliseconds();
    const int64_t wall_start = UtcMilliseconds(bed.clock->Now());
    bed.let_pass(1500);
    const uint64_t elapsed = bed.clock->Milliseconds() - start;
    const int64_t wall_elapsed = UtcMilliseconds(bed.clock->Now()) - wall_start;
    EXPECT_TRUE(elapsed >= 1500 && elapsed < 11'500) << elapsed;
    EXPECT_TRUE(wall_elapsed >= 1400 && wall_elapsed < 11'600) << wall_elapsed;
    uint64_t last = bed.clock->Milliseconds();
    for (int i = 0; i < 1000; ++i) {
        const uint64_t now = bed.clock->Milliseconds();
        ASSERT_GE(now, last);
        last = now;
    }
}

INSTANTIATE_TEST_SUITE_P(Sides, ClockContract, ::testing::ValuesIn(Sides()), contract::SideName());

}  // namespace
}  // namespace corvanta
