#include "config/port_settings.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>

namespace corvanta {
namespace {

// Stored numbers round-trip through their shortest decimal form over the whole range of each type, and the
// conversion stops exactly at the type's limits.
TEST(PortSettings, DecimalTextRoundTripsAtTheLimits) {
    const int64_t ports[] = {
        0, 1, 3, 10, 255, -1, std::numeric_limits<int16_t>::min(), std::numeric_limits<int16_t>::max()};
    for (int64_t n : ports) {
        EXPECT_EQ(StoredPortNumber(DecimalText(n)), n) << n;
    }
    const int64_t codes[] = {0, 2, 3, std::numeric_limits<int32_t>::min(), std::numeric_limits<int32_t>::max()};
    for (int64_t n : codes) {
        EXPECT_EQ(StoredHandshaking(DecimalText(n)), n) << n;
    }
    EXPECT_EQ(DecimalText(3), u"3");
    EXPECT_EQ(DecimalText(-12), u"-12");
    EXPECT_THROW(StoredPortNumber(u"32768"), Error);
    EXPECT_THROW(StoredPortNumber(u"-32769"), Error);
    EXPECT_THROW(StoredHandshaking(u"2147483648"), Error);
    EXPECT_THROW(StoredHandshaking(u"-2147483649"), Error);
}

// Only decimal digits with one optional sign and surrounding blanks are numbers.
TEST(PortSettings, RefusesWhatIsNotADecimalNumber) {
    const char16_t* refused[] = {u"",    u"   ", u"+",   u"-",   u"1 2",    u"+-1", u"0x10", u"&H10",
                                 u"1e3", u"1.0", u"\t1", u"1\t", u"\uFF11", u"- 1", u"1-"};
    for (const char16_t* text : refused) {
        EXPECT_THROW(StoredHandshaking(text), Error) << ToUtf8(text);
    }
}

}  // namespace
}  // namespace corvanta
