#include <gtest/gtest.h>

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

TEST(Text, TrimBlanksOnlyTrimsSpaces) {
    EXPECT_EQ(TrimBlanks(u"  Corvanta  "), u"Corvanta");
    EXPECT_EQ(TrimBlanks(u"\tx\t"), u"\tx\t");
    EXPECT_EQ(TrimBlanks(u"   "), u"");
}

}  // namespace
}  // namespace corvanta
