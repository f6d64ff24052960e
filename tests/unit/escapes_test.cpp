#include <gtest/gtest.h>

#include <string>

#include "core/escapes.h"
#include "fakes/fake_ansi_code_page.h"

namespace corvanta {
namespace {

std::string Hex(std::string_view bytes) {
    std::string shown;
    for (unsigned char byte : bytes) {
        static constexpr char kDigits[] = "0123456789ABCDEF";
        shown += {kDigits[byte / 16], kDigits[byte % 16], ' '};
    }
    return shown;
}

// Escapes are the only notation: everything else is typed as it stands, and a bad escape is refused, not guessed.
TEST(Escapes, UnescapeResolvesEscapesAndRefusesBadOnes) {
    const struct {
        Text value;
        Text expected;  // empty with refused set
        bool refused = false;
    } cases[] = {
        {u"abc", u"abc"},
        {u"\\r\\n\\t\\e\\\\", u"\r\n\t\x1B\\"},
        {u"\\x1d\\x1D|\\u00e9\\u20AC", u"\x1D\x1D|\u00E9\u20AC"},
        {u"{ENTER}+^%~", u"{ENTER}+^%~"},
        {u"\\x0", u"", true},
        {u"\\xg0", u"", true},
        {u"\\u12", u"", true},
        {u"\\q", u"", true},
        {u"end\\", u"", true},
    };
    for (const auto& c : cases) {
        if (c.refused) {
            EXPECT_THROW(Unescape(c.value), Error) << "value: " << ToUtf8(c.value);
        } else {
            EXPECT_EQ(Unescape(c.value), c.expected) << "value: " << ToUtf8(c.value);
        }
    }
}

// A text shown with escapes reads back as the same text: every control character and the backslash escaped,
// printable characters (surrogate pairs included) as themselves, a lone surrogate as \uNNNN.
TEST(Escapes, EscapeTextReadsBackAsTheSameText) {
    const struct {
        Text text;
        Text shown;
    } cases[] = {
        {u"12.345 g", u"12.345 g"},
        {u"\r\n\t\x1B\\", u"\\r\\n\\t\\e\\\\"},
        {u"\x1D\x04\x7F\u0085\b", u"\\x1D\\x04\\x7F\\x85\\x08"},
        {u"\u00E9\u20AC\U0001F600\u00A0", u"\u00E9\u20AC\U0001F600\u00A0"},
        {u"a\xD800z\xDC00", u"a\\uD800z\\uDC00"},
        {u"\\x41", u"\\\\x41"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(EscapeText(c.text), c.shown) << "text: " << ToUtf8(c.shown);
        EXPECT_EQ(Unescape(EscapeText(c.text)), c.text) << "text: " << ToUtf8(c.shown);
    }
}

// A setting written with escapes reads back as itself through the ANSI code page the registry keeps it in: what
// the code page cannot hold is written as \uNNNN, everything else as EscapeText writes it.
TEST(Escapes, EscapeSettingSurvivesTheCodePage) {
    FakeAnsiCodePage cp1252;
    const struct {
        Text text;
        Text written;
    } cases[] = {
        {u"SCAN:\t", u"SCAN:\\t"},
        {u"\u00E9\u20AC\u00FF", u"\u00E9\u20AC\u00FF"},
        {u"\u4E2D\u0101", u"\\u4E2D\\u0101"},
        {u"\U0001F600\\", u"\\uD83D\\uDE00\\\\"},
        {u"\x1D\u0081", u"\\x1D\\x81"},
    };
    for (const auto& c : cases) {
        const Text written = EscapeSetting(c.text, cp1252);
        EXPECT_EQ(written, c.written) << "text: " << ToUtf8(c.text);
        EXPECT_EQ(Unescape(cp1252.ToText(cp1252.ToAnsi(written))), c.text) << "text: " << ToUtf8(c.text);
    }
}

// Bytes for a device: \xNN is the byte as it stands, the text between goes through the encoding; every byte
// written back with escapes reads as the same byte.
TEST(Escapes, BytesWithEscapes) {
    const auto utf8 = [](TextView text) { return ToUtf8(text); };
    EXPECT_EQ(UnescapeBytes(u"\\x02\u00E9\\xE9\\\\x41\\r", utf8), "\x02\xC3\xA9\xE9\\x41\r");
    EXPECT_THROW(UnescapeBytes(u"\\x4", utf8), Error);
    std::string every;
    for (int byte = 0; byte < 256; ++byte) {
        every.push_back(static_cast<char>(byte));
    }
    const Text written = EscapeBytes(every);
    EXPECT_EQ(written.substr(0, 12), u"\\x00\\x01\\x02");
    EXPECT_EQ(Hex(UnescapeBytes(written, utf8)), Hex(every));
    for (const char16_t unit : written) {
        EXPECT_TRUE(unit >= 0x20 && unit < 0x7F) << "written with a character that is not printable ASCII";
    }
}

// What was typed reads as keys: CR, LF and CR LF are one Enter each, shown as \r.
TEST(Escapes, EscapeTypedShowsEveryEnterAsOne) {
    const struct {
        Text typed;
        Text shown;
    } cases[] = {
        {u"12.345\r\n", u"12.345\\r"},
        {u"12.345\n", u"12.345\\r"},
        {u"a\r\rb\n\r", u"a\\r\\rb\\r\\r"},
        {u"SCAN:\t42\\", u"SCAN:\\t42\\\\"},
        {u"", u""},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(EscapeTyped(c.typed), c.shown) << "typed: " << ToUtf8(c.shown);
    }
}

// Received bytes stay readable and hide nothing: characters of the record's encoding as themselves, every byte
// that is a control or does not decode as \xNN, so the field never holds a line break or a broken character.
TEST(Escapes, EscapeReceivedShowsEveryByte) {
    FakeAnsiCodePage cp1252;
    FakeAnsiCodePage shift_jis;
    shift_jis.double_byte = true;
    FakeAnsiCodePage failing;
    failing.fail_to_text = true;
    const struct {
        const AnsiCodePage* code_page;  // null: UTF-8
        std::string bytes;
        Text shown;
    } cases[] = {
        {nullptr, "S S      12.345 g\r\n", u"S S      12.345 g\\r\\n"},
        {nullptr,
         "\x02]C1\x1D"
         "01\x04\x7F\x1B\t\\",
         u"\\x02]C1\\x1D01\\x04\\x7F\\e\\t\\\\"},
        {nullptr, "\xC2\xB5g \xE2\x82\xAC \xF0\x9F\x98\x80", u"\u00B5g \u20AC \U0001F600"},
        // Ill-formed, cut off, and C1 controls encoded in UTF-8.
        {nullptr,
         "\xFF"
         "a\xC3",
         u"\\xFFa\\xC3"},
        {nullptr,
         "\xE2\x82"
         "A\xED\xA0\x80",
         u"\\xE2\\x82A\\xED\\xA0\\x80"},
        {nullptr, "\xC2\x85", u"\\xC2\\x85"},
        {&cp1252, "\xB5g \x80 \xE9", u"\u00B5g \u20AC \u00E9"},
        {&cp1252, "\x81\x8D\x9D", u"\\x81\\x8D\\x9D"},
        {&shift_jis,
         "\x93\xFA\x96\x7B"
         "A\xB1",
         u"\u65E5\u672CA\uFF71"},
        {&shift_jis, "A\x93", u"A\\x93"},
        {&failing, "a\xE9", u"a\\xE9"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(EscapeReceived(c.bytes, c.code_page), c.shown)
            << (c.code_page ? "code page " : "UTF-8 ") << Hex(c.bytes);
    }
}

}  // namespace
}  // namespace corvanta
