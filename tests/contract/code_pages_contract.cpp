#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "contract/contract_sides.h"
#include "fakes/fake_code_pages.h"
#include "platform/code_pages.h"

#ifdef CORVANTA_HAVE_WIN32
#include "platform/win32/win32_code_pages.h"
#endif

namespace corvanta {
namespace {

using Side = contract::Side<std::unique_ptr<CodePages>>;

std::vector<Side> Sides() {
    std::vector<Side> sides = {{"Fake", [] { return std::make_unique<FakeCodePages>(); }}};
#ifdef CORVANTA_HAVE_WIN32
    sides.push_back({"Win32", [] { return std::make_unique<win32::Win32CodePages>(); }});
#endif
    return sides;
}

class CodePagesContract : public ::testing::TestWithParam<Side> {};

// A code page named by number decodes as Windows does, double-byte pairs and half-width katakana of Shift_JIS
// included, and tells its lead bytes.
TEST_P(CodePagesContract, DecodesWithTheCodePageNamed) {
    const std::unique_ptr<CodePages> code_pages = GetParam().make();
    const struct {
        uint32_t code_page;
        std::string bytes;
        Text text;
    } cases[] = {
        {1252, "\x80\xE9", u"\u20AC\u00E9"},
        {932, "\x93\xFA\x96\x7B", u"\u65E5\u672C"},
        {932, "A\xB1", u"A\uFF71"},
    };
    for (const auto& c : cases) {
        const std::unique_ptr<AnsiCodePage> converter = code_pages->Open(c.code_page);
        EXPECT_EQ(converter->ToText(c.bytes), c.text) << "code page " << c.code_page << ": " << ToUtf8(c.text);
    }
    const std::unique_ptr<AnsiCodePage> shift_jis = code_pages->Open(932);
    EXPECT_TRUE(shift_jis->IsLeadByte(0x93));
    EXPECT_FALSE(shift_jis->IsLeadByte(0x41));
    EXPECT_FALSE(shift_jis->IsLeadByte(0xB1));
    EXPECT_FALSE(code_pages->Open(1252)->IsLeadByte(0x93));
}

// Numbers that are no installed code page, the machine-dependent aliases, and code pages with characters longer
// than two bytes are refused with a reason.
TEST_P(CodePagesContract, RefusesWhatItCannotHoldWhole) {
    const std::unique_ptr<CodePages> code_pages = GetParam().make();
    for (uint32_t code_page : {0u, 1u, 3u, 12345u, 54936u, 65001u}) {
        try {
            code_pages->Open(code_page);
            ADD_FAILURE() << "code page " << code_page << " was opened";
        } catch (const Error& error) {
            EXPECT_FALSE(error.Description().empty()) << "code page " << code_page;
        }
    }
}

// The list names what Open takes, in rising order: the Latin code page 1252 and Shift_JIS among them, UTF-8 not (it is
// offered of its own), and every code page listed opens.
TEST_P(CodePagesContract, ListsTheCodePagesItOpens) {
    const std::unique_ptr<CodePages> code_pages = GetParam().make();
    const std::vector<CodePages::Installed> listed = code_pages->List();
    std::vector<uint32_t> numbers;
    for (const CodePages::Installed& code_page : listed) {
        numbers.push_back(code_page.number);
        EXPECT_FALSE(code_page.name.empty()) << "code page " << code_page.number;
        EXPECT_NO_THROW(code_pages->Open(code_page.number)) << "code page " << code_page.number;
    }
    EXPECT_TRUE(std::is_sorted(numbers.begin(), numbers.end()));
    for (const uint32_t wanted : {932u, 1252u}) {
        EXPECT_NE(std::find(numbers.begin(), numbers.end(), wanted), numbers.end()) << "code page " << wanted;
    }
    EXPECT_EQ(std::find(numbers.begin(), numbers.end(), 65001u), numbers.end());
}

INSTANTIATE_TEST_SUITE_P(Sides, CodePagesContract, ::testing::ValuesIn(Sides()), contract::SideName());

}  // namespace
}  // namespace corvanta
