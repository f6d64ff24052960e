#include <gtest/gtest.h>

#include <cstdio>
#include <functional>
#include <map>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "core/keystroke_plan.h"

namespace corvanta {
namespace {

constexpr uint8_t kAltGr = kCtrlBit | kAltBit;

class FakeLayout : public KeyboardLayout {
  public:
    std::optional<KeyCombination> KeyFor(char16_t unit) const override {
        const auto found = keys.find(unit);
        return found == keys.end() ? std::nullopt : std::optional(found->second);
    }
    bool IsDeadKey(uint8_t virtual_key) const override { return dead_keys.count(virtual_key) != 0; }
    uint16_t ScanCode(uint8_t virtual_key) const override {
        const auto found = scan_codes.find(virtual_key);
        return found == scan_codes.end() ? static_cast<uint16_t>(0x100 + virtual_key) : found->second;
    }
    bool IsCased(char16_t unit) const override {
        return (unit >= u'a' && unit <= u'z') || (unit >= u'A' && unit <= u'Z') ||
               Text(u"äöüÄÖÜß").find(unit) != Text::npos;
    }

    // Pairs of characters on one key: the first unshifted, the second with Shift.
    void AddKeys(uint8_t virtual_key, std::u16string_view plain_and_shifted) {
        keys[plain_and_shifted[0]] = {virtual_key, 0};
        if (plain_and_shifted.size() > 1) {
            keys[plain_and_shifted[1]] = {virtual_key, kShiftBit};
        }
    }

    std::map<char16_t, KeyCombination> keys;
    std::set<uint8_t> dead_keys;
    std::map<uint8_t, uint16_t> scan_codes{{vkey::kReturn, 0x1C}, {vkey::kTab, 0x0F},   {vkey::kBack, 0x0E},
                                           {vkey::kEscape, 0x01}, {vkey::kShift, 0x2A}, {vkey::kControl, 0x1D},
                                           {vkey::kMenu, 0x38},   {uint8_t{'A'}, 0x1E}, {uint8_t{'E'}, 0x12}};
};

void AddLettersAndDigits(FakeLayout& layout) {
    for (char16_t c = u'a'; c <= u'z'; ++c) {
        layout.keys[c] = {static_cast<uint8_t>(c - u'a' + 'A'), 0};
        layout.keys[static_cast<char16_t>(c - u'a' + u'A')] = {static_cast<uint8_t>(c - u'a' + 'A'), kShiftBit};
    }
    for (char16_t c = u'0'; c <= u'9'; ++c) {
        layout.keys[c] = {static_cast<uint8_t>(c), 0};
    }
    layout.keys[u' '] = {0x20, 0};
}

// What Shift types on the digit keys 0 to 9.
void AddShiftedDigits(FakeLayout& layout, std::u16string_view shifted) {
    for (uint8_t d = 0; d < 10; ++d) {
        layout.keys[shifted[d]] = {static_cast<uint8_t>('0' + d), kShiftBit};
    }
}

FakeLayout UsLayout() {
    FakeLayout us;
    AddLettersAndDigits(us);
    AddShiftedDigits(us, u")!@#$%^&*(");
    us.AddKeys(0xBD, u"-_");
    us.AddKeys(0xBB, u"=+");
    us.AddKeys(0xDB, u"[{");
    us.AddKeys(0xDD, u"]}");
    us.AddKeys(0xDC, u"\\|");
    us.AddKeys(0xBA, u";:");
    us.AddKeys(0xDE, u"'\"");
    us.AddKeys(0xBC, u",<");
    us.AddKeys(0xBE, u".>");
    us.AddKeys(0xBF, u"/?");
    us.AddKeys(0xC0, u"`~");
    return us;
}

// German-like: dead ^ and ´ (` is Shift on the ´ key), AltGr for € @ { } [ ] \ ~ |, and a few keys whose
// modifiers cannot be typed plainly.
FakeLayout GermanLayout() {
    FakeLayout de;
    AddLettersAndDigits(de);
    AddShiftedDigits(de, u"=!\"§$%&/()");
    de.AddKeys(0xDB, u"ß?");
    de.AddKeys(0xDD, u"´`");
    de.AddKeys(0xDC, u"^°");
    de.AddKeys(0xBA, u"üÜ");
    de.AddKeys(0xC0, u"öÖ");
    de.AddKeys(0xDE, u"äÄ");
    de.AddKeys(0xBB, u"+*");
    de.AddKeys(0xBF, u"#'");
    de.AddKeys(0xBC, u",;");
    de.AddKeys(0xBE, u".:");
    de.AddKeys(0xBD, u"-_");
    de.AddKeys(0xE2, u"<>");
    de.dead_keys = {0xDD, 0xDC};
    const std::pair<char16_t, uint8_t> altgr[] = {{u'€', 'E'}, {u'@', 'Q'},   {u'{', '7'},  {u'[', '8'}, {u']', '9'},
                                                  {u'}', '0'}, {u'\\', 0xDB}, {u'~', 0xBB}, {u'|', 0xE2}};
    for (const auto& [c, key] : altgr) {
        de.keys[c] = {key, kAltGr};
    }
    de.keys[u'¤'] = {'4', kCtrlBit};
    de.keys[u'¬'] = {'6', kAltBit};
    de.keys[u'¦'] = {0xE2, 0x08};
    de.keys[u'÷'] = {0x6F, 0};  // the keypad's slash, an extended key
    return de;
}

InputEvent UnicodeUp(uint16_t unit) {
    return {InputEvent::Kind::Unicode, true, 0, unit, false};
}

std::string Hex(unsigned value) {
    char buffer[8];
    std::snprintf(buffer, sizeof buffer, "%04X", value);
    return buffer;
}

std::string KeyName(uint8_t virtual_key) {
    switch (virtual_key) {
        case vkey::kReturn:
            return "Enter";
        case vkey::kTab:
            return "Tab";
        case vkey::kBack:
            return "Back";
        case vkey::kEscape:
            return "Esc";
        case vkey::kShift:
            return "Shift";
        case vkey::kControl:
            return "Ctrl";
        case vkey::kMenu:
            return "Alt";
        default:
            if ((virtual_key >= '0' && virtual_key <= '9') || (virtual_key >= 'A' && virtual_key <= 'Z')) {
                return std::string(1, static_cast<char>(virtual_key));
            }
            return "vk" + Hex(virtual_key).substr(2);
    }
}

// A plan in short: a key pressed and released at once is its name, "+Shift"/"-Shift" a key held around
// others, "u00E9" a Unicode unit typed.
std::string Describe(const std::vector<InputEvent>& events) {
    std::string out;
    for (size_t i = 0; i < events.size(); ++i) {
        const InputEvent& e = events[i];
        std::string word;
        if (e.kind == InputEvent::Kind::Unicode) {
            word = (e.key_up ? "-u" : "u") + Hex(e.code);
            if (!e.key_up && i + 1 < events.size() && events[i + 1] == UnicodeUp(e.code)) {
                ++i;
            } else if (!e.key_up) {
                word = "+" + word;
            }
        } else {
            word = KeyName(e.virtual_key);
            const bool released_next = i + 1 < events.size() && events[i + 1].kind == InputEvent::Kind::Key &&
                                       events[i + 1].key_up && events[i + 1].virtual_key == e.virtual_key;
            if (!e.key_up && released_next) {
                ++i;
            } else {
                word = (e.key_up ? "-" : "+") + word;
            }
        }
        out += (out.empty() ? "" : " ") + word;
    }
    return out;
}

std::string Plan(const FakeLayout& layout, TextView text, bool caps_lock = false) {
    KeystrokeState state;
    return Describe(PlanKeystrokes(text, layout, caps_lock, state));
}

struct Case {
    Text text;
    std::string expected;
};

void ExpectPlans(const FakeLayout& layout, const std::vector<Case>& cases, bool caps_lock = false) {
    for (const Case& c : cases) {
        EXPECT_EQ(Plan(layout, c.text, caps_lock), c.expected) << "input: " << ToUtf8(c.text);
    }
}

// CR, LF, TAB, BS and ESC are their keys; CR LF is one line break, CR CR and LF LF are two.
TEST(KeystrokePlan, NamedKeysAndLineBreaks) {
    ExpectPlans(UsLayout(), {
                                {u"\r", "Enter"},
                                {u"\n", "Enter"},
                                {u"\r\n", "Enter"},
                                {u"\r\r", "Enter Enter"},
                                {u"\n\n", "Enter Enter"},
                                {u"\n\r", "Enter Enter"},
                                {u"\r\n\n", "Enter Enter"},
                                {u"\r\r\n", "Enter Enter"},
                                {u"a\r\nb\nc", "A Enter B Enter C"},
                                {u"\t", "Tab"},
                                {u"\b", "Back"},
                                {u"\x1B", "Esc"},
                                {Text(u"\r\0\n", 3), "Enter Enter"},
                                {u"12345\r", "1 2 3 4 5 Enter"},
                            });
}

// The line-break state carries over from one text to the next; an empty text leaves it alone.
TEST(KeystrokePlan, CrLfAcrossTexts) {
    const FakeLayout us = UsLayout();
    const std::vector<std::vector<Case>> sequences = {
        {{u"\r", "Enter"}, {u"\n", ""}},
        {{u"\r", "Enter"}, {u"", ""}, {u"\n", ""}},
        {{u"a\r", "A Enter"}, {u"\nb", "B"}},
        {{u"\n", "Enter"}, {u"\n", "Enter"}},
        {{u"\r", "Enter"}, {u"x\n", "X Enter"}},
        {{u"\r\n", "Enter"}, {u"\n", "Enter"}},
        {{u"\r", "Enter"}, {u"\r", "Enter"}, {u"\n", ""}},
    };
    for (const auto& sequence : sequences) {
        KeystrokeState state;
        std::string history;
        for (const Case& c : sequence) {
            history += "[" + ToUtf8(c.text) + "]";
            EXPECT_EQ(Describe(PlanKeystrokes(c.text, us, false, state)), c.expected) << "texts: " << history;
        }
    }
}

// Control characters other than the named keys type nothing: as Ctrl-combinations they would fire shortcuts.
// Asked for, they go as Unicode units, which never fire one.
TEST(KeystrokePlan, ControlCharactersAreNotTyped) {
    const FakeLayout us = UsLayout();
    const std::map<char16_t, std::string> named = {
        {u'\r', "Enter"}, {u'\n', "Enter"}, {u'\t', "Tab"}, {u'\b', "Back"}, {u'\x1B', "Esc"}};
    std::vector<char16_t> controls = {0x7F};
    for (char16_t c = 0; c < 0x20; ++c) {
        controls.push_back(c);
    }
    for (char16_t c = 0x80; c <= 0x9F; ++c) {
        controls.push_back(c);
    }
    for (char16_t c : controls) {
        const auto found = named.find(c);
        const std::string expected = found == named.end() ? "" : found->second;
        EXPECT_EQ(Plan(us, Text(1, c)), expected) << "control character U+" << Hex(c);
        EXPECT_EQ(Plan(us, Text(u"a") + c + u"b"), "A " + (expected.empty() ? "" : expected + " ") + "B")
            << "control character U+" << Hex(c) << " between letters";
        KeystrokeState as_unicode;
        as_unicode.controls_as_unicode = true;
        EXPECT_EQ(Describe(PlanKeystrokes(Text(1, c), us, false, as_unicode)),
                  found == named.end() ? "u" + Hex(c) : expected)
            << "control character U+" << Hex(c) << " typed as itself";
    }
}

// Characters are typed as themselves with Shift where needed; notation characters have no special meaning.
TEST(KeystrokePlan, UsLayoutTypesCharactersAsTheirKeys) {
    ExpectPlans(UsLayout(), {
                                {u"a", "A"},
                                {u"A", "+Shift A -Shift"},
                                {u"aB", "A +Shift B -Shift"},
                                {u"+", "+Shift vkBB -Shift"},
                                {u"^", "+Shift 6 -Shift"},
                                {u"%", "+Shift 5 -Shift"},
                                {u"~", "+Shift vkC0 -Shift"},
                                {u"(", "+Shift 9 -Shift"},
                                {u")", "+Shift 0 -Shift"},
                                {u"{", "+Shift vkDB -Shift"},
                                {u"}", "+Shift vkDD -Shift"},
                                {u"[", "vkDB"},
                                {u"]", "vkDD"},
                                {u"a+b^c", "A +Shift vkBB -Shift B +Shift 6 -Shift C"},
                                {u"{ENTER}",
                                 "+Shift vkDB -Shift +Shift E -Shift +Shift N -Shift +Shift T -Shift "
                                 "+Shift E -Shift +Shift R -Shift +Shift vkDD -Shift"},
                            });
}

// AltGr is Ctrl+Alt; a dead key, a key needing Ctrl or Alt alone, or unknown modifier bits give a Unicode unit.
TEST(KeystrokePlan, GermanLayoutAltGrAndDeadKeys) {
    ExpectPlans(GermanLayout(), {
                                    {u"€", "+Ctrl +Alt E -Alt -Ctrl"},
                                    {u"@", "+Ctrl +Alt Q -Alt -Ctrl"},
                                    {u"{", "+Ctrl +Alt 7 -Alt -Ctrl"},
                                    {u"[", "+Ctrl +Alt 8 -Alt -Ctrl"},
                                    {u"]", "+Ctrl +Alt 9 -Alt -Ctrl"},
                                    {u"}", "+Ctrl +Alt 0 -Alt -Ctrl"},
                                    {u"\\", "+Ctrl +Alt vkDB -Alt -Ctrl"},
                                    {u"~", "+Ctrl +Alt vkBB -Alt -Ctrl"},
                                    {u"^", "u005E"},
                                    {u"´", "u00B4"},
                                    {u"`", "u0060"},
                                    {u"°", "u00B0"},
                                    {u"^e", "u005E E"},
                                    {u"ä", "vkDE"},
                                    {u"Ü", "+Shift vkBA -Shift"},
                                    {u"(", "+Shift 8 -Shift"},
                                    {u"¤", "u00A4"},
                                    {u"¬", "u00AC"},
                                    {u"¦", "u00A6"},
                                });
}

// Characters no key types, surrogate pairs as two units, half a pair as U+FFFD.
TEST(KeystrokePlan, UnicodeUnits) {
    ExpectPlans(UsLayout(), {
                                {u"é", "u00E9"},
                                {u"€", "u20AC"},
                                {u"中", "u4E2D"},
                                {u"\U0001F600", "uD83D uDE00"},
                                {u"a\U0001F600b", "A uD83D uDE00 B"},
                                {Text(1, char16_t{0xD83D}), "uFFFD"},
                                {Text(1, char16_t{0xDE00}), "uFFFD"},
                                {Text{char16_t{0xD83D}, u'x'}, "uFFFD X"},
                                {Text{char16_t{0xDE00}, char16_t{0xD83D}}, "uFFFD uFFFD"},
                            });
}

// With Caps Lock on, a letter's key would type the other case: letters go as Unicode units, the rest by key.
TEST(KeystrokePlan, CapsLockOnTypesLettersAsUnicode) {
    ExpectPlans(UsLayout(), {{u"a", "u0061"}, {u"A", "u0041"}, {u"1", "1"}, {u"!", "+Shift 1 -Shift"}}, true);
    ExpectPlans(GermanLayout(), {{u"ä", "u00E4"}, {u"€", "+Ctrl +Alt E -Alt -Ctrl"}}, true);
}

// The toggle is read only when a letter would be typed by its key, and then once a text: digits, punctuation,
// named keys and characters sent as Unicode units never need it.
TEST(KeystrokePlan, CapsLockIsAskedOnlyForLettersTypedByTheirKeys) {
    const struct {
        Text text;
        int asked;
    } cases[] = {{u"", 0},  {u"0123 +-*/?!\r\n\t\b\x1B", 0}, {u"\u4E2D\u00E9\U0001F600", 0},
                 {u"a", 1}, {u"12:34 Hello World", 1},       {u"\u4E2Dx", 1}};
    for (const auto& c : cases) {
        int asked = 0;
        KeystrokeState state;
        const std::function<bool()> caps_lock = [&] {
            ++asked;
            return true;
        };
        const std::string plan = Describe(PlanKeystrokes(c.text, UsLayout(), caps_lock, state));
        EXPECT_EQ(asked, c.asked) << "input: " << ToUtf8(c.text) << " plan: " << plan;
    }
}

// Every key event carries the layout's scan code for its key; only extended keys are flagged so.
TEST(KeystrokePlan, ScanCodesAndExtendedFlag) {
    const FakeLayout de = GermanLayout();
    KeystrokeState state;
    const Text text = u"aA€\r\t\b\x1B÷";
    for (const InputEvent& e : PlanKeystrokes(text, de, false, state)) {
        ASSERT_EQ(e.kind, InputEvent::Kind::Key);
        EXPECT_EQ(e.code, de.ScanCode(e.virtual_key)) << "key " << KeyName(e.virtual_key);
        EXPECT_EQ(e.extended, e.virtual_key == 0x6F) << "key " << KeyName(e.virtual_key);
    }
    EXPECT_EQ(de.ScanCode(vkey::kShift), 0x2A);
}

// Over many texts: every key pressed is released, none twice down, nothing is left down at the end, and no
// modifier is down while a named key or a Unicode unit is typed (that would make Shift+Enter or Ctrl+Tab).
TEST(KeystrokePlan, KeysAreReleasedAndModifiersNeverLeak) {
    const Text alphabet = u"aZ09 +^%~(){}[]\\@€éäÄ^´`ß¤¬¦÷中\r\n\t\b\x1B\x01\x7F\x85";
    const FakeLayout layouts[] = {UsLayout(), GermanLayout()};
    std::mt19937 random(20261207);
    for (int round = 0; round < 2000; ++round) {
        Text text;
        const size_t length = random() % 12;
        for (size_t i = 0; i < length; ++i) {
            const size_t pick = random() % (alphabet.size() + 3);
            if (pick < alphabet.size()) {
                text += alphabet[pick];
            } else {
                text += static_cast<char16_t>(random() % 0x10000);  // anything, surrogates included
            }
        }
        const bool caps_lock = round % 3 == 0;
        const FakeLayout& layout = layouts[round % 2];
        KeystrokeState state{round % 5 == 0};
        const std::vector<InputEvent> events = PlanKeystrokes(text, layout, caps_lock, state);
        const std::string context = "input: " + ToUtf8(text) + " plan: " + Describe(events);

        std::set<uint8_t> down;
        for (size_t i = 0; i < events.size(); ++i) {
            const InputEvent& e = events[i];
            if (e.kind == InputEvent::Kind::Unicode) {
                ASSERT_FALSE(e.key_up) << context;
                ASSERT_TRUE(i + 1 < events.size() && events[i + 1] == UnicodeUp(e.code)) << context;
                ++i;
            } else if (!e.key_up) {
                ASSERT_TRUE(down.insert(e.virtual_key).second) << "pressed twice: " << context;
            } else {
                ASSERT_EQ(down.erase(e.virtual_key), 1u) << "released but not down: " << context;
            }
            const bool is_named =
                e.kind == InputEvent::Kind::Key && (e.virtual_key == vkey::kReturn || e.virtual_key == vkey::kTab ||
                                                    e.virtual_key == vkey::kBack || e.virtual_key == vkey::kEscape);
            if (e.kind == InputEvent::Kind::Unicode || is_named) {
                EXPECT_FALSE(down.count(vkey::kShift) || down.count(vkey::kControl) || down.count(vkey::kMenu))
                    << "modifier held: " << context;
            }
        }
        EXPECT_TRUE(down.empty()) << "left down: " << context;
    }
}

}  // namespace
}  // namespace corvanta
