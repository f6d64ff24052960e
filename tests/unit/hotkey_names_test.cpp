#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "core/hotkey_names.h"

namespace corvanta {
namespace {

constexpr uint32_t kCtrl = hotkey_mod::kControl;
constexpr uint32_t kAlt = hotkey_mod::kAlt;
constexpr uint32_t kShift = hotkey_mod::kShift;
constexpr uint32_t kWin = hotkey_mod::kWin;

std::string Refusal(TextView value) {
    try {
        ParseHotkey(value);
    } catch (const Error& e) {
        return e.what();
    }
    return "(accepted)";
}

// Names in any case and order, with blanks around the parts, give the hotkey and its canonical name; an empty
// value is no hotkey.
TEST(HotkeyNames, AcceptedValuesAndTheirCanonicalNames) {
    const struct {
        const char16_t* value;
        Hotkey hotkey;
        const char16_t* canonical;
    } cases[] = {
        {u"F9", {0, 0x78}, u"F9"},
        {u"f1", {0, 0x70}, u"F1"},
        {u"Control+F24", {kCtrl, 0x87}, u"Ctrl+F24"},
        {u"ctrl+shift+w", {kCtrl | kShift, 'W'}, u"Ctrl+Shift+W"},
        {u" Alt + Pause ", {kAlt, 0x13}, u"Alt+Pause"},
        {u"WIN+shift+s", {kShift | kWin, 'S'}, u"Shift+Win+S"},
        {u"Win+Alt+Shift+Ctrl+Home", {kCtrl | kAlt | kShift | kWin, 0x24}, u"Ctrl+Alt+Shift+Win+Home"},
        {u"Ctrl+0", {kCtrl, '0'}, u"Ctrl+0"},
        {u"pgdn", {0, 0x22}, u"PageDown"},
        {u"Shift+Ins", {kShift, 0x2D}, u"Shift+Insert"},
        {u"Del", {0, 0x2E}, u"Delete"},
        {u"Ctrl+Return", {kCtrl, 0x0D}, u"Ctrl+Enter"},
        {u"Ctrl+escape", {kCtrl, 0x1B}, u"Ctrl+Esc"},
        {u"Win+Num5", {kWin, 0x65}, u"Win+Num5"},
        {u"Alt+NumDivide", {kAlt, 0x6F}, u"Alt+NumDivide"},
        {u"Ctrl+Alt+Win+A", {kCtrl | kAlt | kWin, 'A'}, u"Ctrl+Alt+Win+A"},
        {u"Ctrl+Alt+F9", {kCtrl | kAlt, 0x78}, u"Ctrl+Alt+F9"},
        {u"Shift+Up", {kShift, 0x26}, u"Shift+Up"},
        {u"PrintScreen", {0, 0x2C}, u"PrintScreen"},
        {u"ScrollLock", {0, 0x91}, u"ScrollLock"},
        {u"Ctrl+Space", {kCtrl, 0x20}, u"Ctrl+Space"},
        {u"Alt+Backspace", {kAlt, 0x08}, u"Alt+Backspace"},
    };
    for (const auto& c : cases) {
        const std::string value = ToUtf8(c.value);
        std::optional<Hotkey> parsed;
        ASSERT_NO_THROW(parsed = ParseHotkey(c.value)) << value << ": " << Refusal(c.value);
        ASSERT_TRUE(parsed.has_value()) << value;
        EXPECT_EQ(*parsed, c.hotkey) << value;
        EXPECT_EQ(ToUtf8(FormatHotkey(*parsed)), ToUtf8(c.canonical)) << value;
    }
    for (const char16_t* empty : {u"", u"   "}) {
        EXPECT_EQ(ParseHotkey(empty), std::nullopt) << "\"" << ToUtf8(empty) << "\"";
    }
}

// Anything else is refused, and the message says what is wrong. Keys that type need Ctrl, Alt or Win, and not
// Ctrl+Alt (AltGr) without Win.
TEST(HotkeyNames, RefusedValuesSayWhy) {
    const struct {
        const char16_t* value;
        const char* says;
    } cases[] = {
        {u"F25", "\"F25\" is not a key name"},
        {u"Ctrl-F9", "\"Ctrl-F9\" is not a key name"},
        {u"Ctrl+\u00E9", "\"\xC3\xA9\" is not a key name"},
        {u"Ctrl+", "\"Ctrl+\" ends without a key"},
        {u"+F9", "\"+F9\" has a \"+\" with nothing before it"},
        {u"Ctrl++F9", "\"Ctrl++F9\" has a \"+\" with nothing before it"},
        {u"Ctrl+Ctrl+F9", "\"Ctrl+Ctrl+F9\" names Ctrl twice"},
        {u"Control+ctrl+F9", "\"Control+ctrl+F9\" names Ctrl twice"},
        {u"Hyper+F9", "\"Hyper\" is not Ctrl, Alt, Shift or Win"},
        {u"F9+Ctrl", "\"F9\" is not Ctrl, Alt, Shift or Win"},
        {u"Ctrl+Shift", "\"Ctrl+Shift\" ends with a modifier"},
        {u"W", "\"W\" would take a key that types from every program"},
        {u"Shift+W", "\"Shift+W\" would take a key that types"},
        {u"Shift+Space", "would take a key that types"},
        {u"Enter", "would take a key that types"},
        {u"Num5", "would take a key that types"},
        {u"F12", "F12 alone is kept for debuggers"},
        {u"Ctrl+Alt+Q", "\"Ctrl+Alt+Q\" is AltGr on many keyboard layouts"},
        {u"Ctrl+Alt+Shift+2", "is AltGr on many keyboard layouts"},
    };
    for (const auto& c : cases) {
        const std::string refusal = Refusal(c.value);
        EXPECT_NE(refusal.find(c.says), std::string::npos) << ToUtf8(c.value) << " gave: " << refusal;
    }
}

// Every key under every set of modifiers: the canonical name of what a name parses to is that name again, so the
// settings dialog can show a stored hotkey and store what it shows.
TEST(HotkeyNames, CanonicalNamesRoundTrip) {
    int accepted = 0;
    for (uint32_t key = 0; key < 0x100; ++key) {
        for (uint32_t modifiers = 0; modifiers < 16; ++modifiers) {
            const Hotkey hotkey{modifiers, key};
            const Text name = FormatHotkey(hotkey);
            if (name.find(u"Key 0x") != Text::npos) {
                continue;
            }
            std::optional<Hotkey> parsed;
            try {
                parsed = ParseHotkey(name);
            } catch (const Error& e) {
                // Only the rules for keys that type and for F12 refuse a canonical name.
                const std::string why = e.what();
                EXPECT_TRUE(why.find("type") != std::string::npos || name == u"F12") << ToUtf8(name) << ": " << why;
                continue;
            }
            ++accepted;
            EXPECT_EQ(parsed, hotkey) << ToUtf8(name);
        }
    }
    // 93 named keys; the 56 that type are refused in 4 of the 16 sets: alone, with Shift, with Ctrl+Alt and with
    // Ctrl+Alt+Shift; and F12 alone.
    EXPECT_EQ(accepted, 93 * 16 - 56 * 4 - 1);
    EXPECT_EQ(FormatHotkey({kCtrl, 0x5D}), u"Ctrl+Key 0x5D");
}

}  // namespace
}  // namespace corvanta
