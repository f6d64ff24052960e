#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "contract/contract_sides.h"
#include "fakes/fake_ansi_code_page.h"
#include "platform/ansi_code_page.h"

#ifdef CORVANTA_HAVE_WIN32
#include "platform/win32/win32_ansi_code_page.h"
#endif

namespace corvanta {
namespace {

// The contract is written for Windows-1252, the code page of Western European systems and of Wine here; a side
// makes nothing on a system with another code page.
using Side = contract::Side<std::unique_ptr<AnsiCodePage>>;

std::vector<Side> Sides() {
    std::vector<Side> sides = {{"Fake", [] { return std::make_unique<FakeAnsiCodePage>(); }}};
#ifdef CORVANTA_HAVE_WIN32
    sides.push_back({"Win32", []() -> std::unique_ptr<AnsiCodePage> {
                         if (win32::Win32AnsiCodePage::CodePage() != 1252) {
                             return nullptr;
                         }
                         return std::make_unique<win32::Win32AnsiCodePage>();
                     }});
#endif
    return sides;
}

class AnsiCodePageContract : public ::testing::TestWithParam<Side> {
  protected:
    void SetUp() override {
        ansi_ = GetParam().make();
        if (ansi_ == nullptr) {
            GTEST_SKIP() << "the system ANSI code page is not 1252";
        }
    }
    std::unique_ptr<AnsiCodePage> ansi_;
};

std::string Hex(std::string_view bytes) {
    std::string out;
    for (unsigned char b : bytes) {
        static constexpr char kDigits[] = "0123456789ABCDEF";
        out += kDigits[b >> 4];
        out += kDigits[b & 15];
        out += ' ';
    }
    return out;
}

// The bytes a device sends become the characters Windows gives them, 0x80-0x9F included.
TEST_P(AnsiCodePageContract, BytesBecomeTheirCharacters) {
    struct Case {
        std::string bytes;
        Text text;
    } cases[] = {
        {"", u""},
        {"12345\r", u"12345\r"},
        {std::string("\0\x1B\x7F", 3), Text(u"\0\x1B\x7F", 3)},
        {"\xE9\x80", u"\u00E9\u20AC"},
        {"\x81\x8D\x8F\x90\x9D", u"\u0081\u008D\u008F\u0090\u009D"},
        {"\x8A\x9C\x9F\xA0\xFF", u"\u0160\u0153\u0178\u00A0\u00FF"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(ToUtf8(ansi_->ToText(c.bytes)), ToUtf8(c.text)) << Hex(c.bytes);
    }
}

// Every byte survives the way to text and back, and none starts a two-byte character.
TEST_P(AnsiCodePageContract, EveryByteRoundTrips) {
    std::string all;
    for (int b = 0; b < 256; ++b) {
        all.push_back(static_cast<char>(b));
        EXPECT_FALSE(ansi_->IsLeadByte(static_cast<unsigned char>(b))) << b;
    }
    EXPECT_EQ(Hex(ansi_->ToAnsi(ansi_->ToText(all))), Hex(all));
}

TEST_P(AnsiCodePageContract, CharactersOutsideTheCodePageBecomeQuestionMarks) {
    EXPECT_EQ(ansi_->ToAnsi(u"a\u4E2Db\u03A9"), "a?b?");
    EXPECT_EQ(ansi_->ToAnsi(u"Corvanta \u20AC"), "Corvanta \x80");
}

INSTANTIATE_TEST_SUITE_P(All, AnsiCodePageContract, ::testing::ValuesIn(Sides()), contract::SideName());

// A double-byte code page, as the fake offers it: pairs convert as one character, a lone lead byte at the end
// is U+FFFD and not a guess.
TEST(FakeAnsiCodePageDoubleByte, PairsAndLoneLeadBytes) {
    FakeAnsiCodePage ansi;
    ansi.double_byte = true;
    EXPECT_TRUE(ansi.IsLeadByte(0x81));
    EXPECT_TRUE(ansi.IsLeadByte(0xFC));
    EXPECT_FALSE(ansi.IsLeadByte(0xA1));
    EXPECT_EQ(ansi.ToText("A\x93\xFA\x96\x7B"), u"A\u65E5\u672C");
    EXPECT_EQ(ansi.ToText("A\x93"), u"A\uFFFD");
    EXPECT_EQ(ansi.ToAnsi(u"\u65E5\uFF71?\u00E9"), "\x93\xFA\xB1??");
}

#ifdef CORVANTA_HAVE_WIN32
// Windows 10 may use UTF-8 as the ANSI code page ("Use Unicode UTF-8 for worldwide language support"), whose
// conversion takes no best-fit flag: every character converts, both ways.
TEST(Win32AnsiCodePageUtf8, ConvertsEveryCharacterBothWays) {
    const win32::Win32AnsiCodePage utf8(CP_UTF8);
    const std::string bytes = "a\xC3\xA9\xE2\x82\xAC\xE4\xB8\xAD\xF0\x9F\x98\x80";
    EXPECT_EQ(Hex(utf8.ToAnsi(u"a\u00E9\u20AC\u4E2D\U0001F600")), Hex(bytes));
    EXPECT_EQ(utf8.ToText(bytes), u"a\u00E9\u20AC\u4E2D\U0001F600");
}
#endif

}  // namespace
}  // namespace corvanta
