#include <gtest/gtest.h>

#include <cstdint>

#include "common/text.h"

namespace corvanta {
namespace {

// UTF-8 and UTF-16 round-trip, surrogate pairs included; broken input becomes U+FFFD, never a crash.
TEST(Text, Utf8RoundTrip) {
    const char* cases[] = {"", "abc", "\xC3\xA9\xE2\x82\xAC", "\xF0\x9F\x98\x80 x", "\xE4\xB8\xAD"};
    for (const char* utf8 : cases) {
        EXPECT_EQ(ToUtf8(FromUtf8(utf8)), utf8) << "input: " << utf8;
    }
    EXPECT_EQ(FromUtf8("\xF0\x9F\x98\x80"), Text(u"\U0001F600"));
    struct {
        const char* utf8;
        Text expected;
    } broken[] = {{"\xC3", u"\uFFFD"},
                  {"a\x80z", u"a\uFFFDz"},
                  {"\xED\xA0\x80", u"\uFFFD\uFFFD\uFFFD"},
                  {"\xC0\xAF", u"\uFFFD\uFFFD"}};
    for (const auto& c : broken) {
        EXPECT_EQ(FromUtf8(c.utf8), c.expected) << "input: " << c.utf8;
    }
    EXPECT_EQ(ToUtf8(u"\xD800x"), "\xEF\xBF\xBDx");
}

// Only the controls without a key of their own count: CR, LF, TAB, BS and ESC have theirs, and nothing above C1 is
// a control. A surrogate is high or low by its range alone.
TEST(Text, ControlAndSurrogateClasses) {
    const struct {
        char16_t first, last;
        bool other_control, high, low;
    } ranges[] = {
        {0x00, 0x07, true, false, false},      {0x08, 0x0A, false, false, false},
        {0x0B, 0x0C, true, false, false},      {0x0D, 0x0D, false, false, false},
        {0x0E, 0x1A, true, false, false},      {0x1B, 0x1B, false, false, false},
        {0x1C, 0x1F, true, false, false},      {0x20, 0x7E, false, false, false},
        {0x7F, 0x9F, true, false, false},      {0xA0, 0xD7FF, false, false, false},
        {0xD800, 0xDBFF, false, true, false},  {0xDC00, 0xDFFF, false, false, true},
        {0xE000, 0xFFFF, false, false, false},
    };
    for (const auto& range : ranges) {
        for (uint32_t unit = range.first; unit <= range.last; ++unit) {
            const auto c = static_cast<char16_t>(unit);
            ASSERT_EQ(IsOtherControl(c), range.other_control) << "U+" << std::hex << unit;
            ASSERT_EQ(IsHighSurrogate(c), range.high) << "U+" << std::hex << unit;
            ASSERT_EQ(IsLowSurrogate(c), range.low) << "U+" << std::hex << unit;
        }
    }
}

TEST(Text, TrimBlanksOnlyTrimsSpaces) {
    EXPECT_EQ(TrimBlanks(u"  Corvanta  "), u"Corvanta");
    EXPECT_EQ(TrimBlanks(u"\tx\t"), u"\tx\t");
    EXPECT_EQ(TrimBlanks(u"   "), u"");
}

}  // namespace
}  // namespace corvanta
