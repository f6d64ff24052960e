#include "config/port_settings.h"

#include <limits>
#include <string>

#include "common/identity.h"

namespace corvanta {

namespace {

enum class Parse { kOk, kNotNumber, kOutOfRange };

// Accumulates with saturation so that a long string of digits is "out of range", never an overflow.
Parse ParseDecimal(TextView stored, int64_t low, int64_t high, int64_t& value) {
    const Text trimmed = TrimBlanks(stored);
    size_t i = 0;
    bool negative = false;
    if (i < trimmed.size() && (trimmed[i] == u'+' || trimmed[i] == u'-')) {
        negative = trimmed[i] == u'-';
        ++i;
    }
    if (i == trimmed.size()) {
        return Parse::kNotNumber;
    }
    constexpr int64_t kCap = int64_t{1} << 40;
    int64_t magnitude = 0;
    for (; i < trimmed.size(); ++i) {
        const char16_t c = trimmed[i];
        if (c < u'0' || c > u'9') {
            return Parse::kNotNumber;
        }
        if (magnitude < kCap) {
            magnitude = magnitude * 10 + (c - u'0');
        }
    }
    value = negative ? -magnitude : magnitude;
    return value < low || value > high ? Parse::kOutOfRange : Parse::kOk;
}

template <typename Int>
Int Convert(TextView stored, const char16_t* what) {
    int64_t value = 0;
    const Parse result = ParseDecimal(stored, std::numeric_limits<Int>::min(), std::numeric_limits<Int>::max(), value);
    if (result == Parse::kOk) {
        return static_cast<Int>(value);
    }
    Text description = u"The stored ";
    description += what;
    description += u" \"";
    description += stored;
    description += result == Parse::kNotNumber ? u"\" is not a number." : u"\" is out of range.";
    throw Error(std::move(description));
}

}  // namespace

Text ReadPortSetting(SettingsStore& store, TextView key, TextView default_value) {
    return store.GetSetting(kAppTitle, kPortSection, key, default_value);
}

int16_t StoredPortNumber(TextView stored) {
    return Convert<int16_t>(stored, u"port number");
}

int32_t StoredHandshaking(TextView stored) {
    return Convert<int32_t>(stored, u"handshaking code");
}

Text DecimalText(int64_t value) {
    return AsciiText(std::to_string(value));
}

}  // namespace corvanta
