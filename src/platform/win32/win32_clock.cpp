#include "platform/win32/win32_clock.h"

#include <windows.h>

#include "platform/win32/win32_error.h"

namespace corvanta::win32 {

namespace {

int64_t Ticks(const FILETIME& time) {
    return static_cast<int64_t>((static_cast<uint64_t>(time.dwHighDateTime) << 32) | time.dwLowDateTime);
}

}  // namespace

LocalTime Win32Clock::Now() const {
    // One UTC reading converted with the rules that apply to it, so the offset always belongs to the time shown;
    // GetLocalTime beside GetTimeZoneInformation could straddle a daylight-saving switch.
    FILETIME utc_file{};
    GetSystemTimeAsFileTime(&utc_file);
    SYSTEMTIME utc{};
    SYSTEMTIME local{};
    FILETIME local_file{};
    if (FileTimeToSystemTime(&utc_file, &utc) == FALSE) {
        ThrowLastError(u"FileTimeToSystemTime");
    }
    // No zone given: the active one, with the daylight-saving rules of the year read.
    if (SystemTimeToTzSpecificLocalTime(nullptr, &utc, &local) == FALSE) {
        ThrowLastError(u"SystemTimeToTzSpecificLocalTime");
    }
    if (SystemTimeToFileTime(&local, &local_file) == FALSE) {
        ThrowLastError(u"SystemTimeToFileTime");
    }
    // Both readings carry the same milliseconds, so their difference is whole minutes.
    const int64_t offset_ticks = Ticks(local_file) - Ticks(utc_file) + Ticks(utc_file) % 10'000;
    constexpr int64_t kTicksPerMinute = 60LL * 10'000'000;
    LocalTime time;
    time.year = local.wYear;
    time.month = local.wMonth;
    time.day = local.wDay;
    time.hour = local.wHour;
    time.minute = local.wMinute;
    time.second = local.wSecond;
    time.millisecond = local.wMilliseconds;
    time.utc_offset_minutes = static_cast<int>(
        (offset_ticks + (offset_ticks >= 0 ? kTicksPerMinute / 2 : -kTicksPerMinute / 2)) / kTicksPerMinute);
    return time;
}

uint64_t Win32Clock::Milliseconds() const {
    return GetTickCount64();
}

}  // namespace corvanta::win32
