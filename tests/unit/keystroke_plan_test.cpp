#include <gtest/gtest.h>

#include <algorithm>
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
        case vkey::kLShift:
            return "LShift";
        case vkey::kRShift:
            return "RShift";
        case vkey::kLControl:
            return "LCtrl";
        case vkey::kRControl:
            return "RCtrl";
        case vkey::kLMenu:
            return "LAlt";
        case vkey::kRMenu:
            return "RAlt";
        case vkey::kMenuMask:
            return "Mask";
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

std::string Plan(const FakeLayout& layout, TextView text, bool caps_lock = false, const PlanOptions& options = {}) {
    return Describe(PlanKeystrokes(text, layout, caps_lock, options));
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

// CR, LF, TAB, BS and ESC are their keys, each CR and each LF one Enter: the text is final, so a CR LF that
// reaches the plan was meant as two line breaks.
TEST(KeystrokePlan, NamedKeysAndLineBreaks) {
    ExpectPlans(UsLayout(), {
                                {u"\r", "Enter"},
                                {u"\n", "Enter"},
                                {u"\r\n", "Enter Enter"},
                                {u"\r\r", "Enter Enter"},
                                {u"\n\n", "Enter Enter"},
                                {u"\n\r", "Enter Enter"},
                                {u"a\rb\nc", "A Enter B Enter C"},
                                {u"\t", "Tab"},
                                {u"\b", "Back"},
                                {u"\x1B", "Esc"},
                                {u"12345\r", "1 2 3 4 5 Enter"},
                            });
}

// Any other control character that reaches the plan is typed as a Unicode unit, which never fires a shortcut as
// its Ctrl-combination would, whatever the layout says of it.
TEST(KeystrokePlan, OtherControlCharactersAreUnicodeUnits) {
    FakeLayout us = UsLayout();
    std::vector<char16_t> controls = {0x7F};
    for (char16_t c = 0; c < 0x20; ++c) {
        if (Text(u"\r\n\t\b\x1B").find(c) == Text::npos) {
            controls.push_back(c);
        }
    }
    for (char16_t c = 0x80; c <= 0x9F; ++c) {
        controls.push_back(c);
    }
    for (char16_t c : controls) {
        us.keys[c] = {static_cast<uint8_t>('A' + c % 26), kCtrlBit};  // what VkKeyScanEx answers for ^A and the like
        EXPECT_EQ(Plan(us, Text(1, c)), "u" + Hex(c)) << "control character U+" << Hex(c);
        EXPECT_EQ(Plan(us, Text(u"A") + c + u"B"), "+Shift A u" + Hex(c) + " B -Shift")
            << "control character U+" << Hex(c) << " between capitals";
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
                                {u"{ENTER}", "+Shift vkDB E N T E R vkDD -Shift"},
                                {u"ABC", "+Shift A B C -Shift"},
                                {u"AbC", "+Shift A -Shift B +Shift C -Shift"},
                                {u"A!b", "+Shift A 1 -Shift B"},
                                {u"A\rB", "+Shift A -Shift Enter +Shift B -Shift"},
                                {u"A\tB\x1B", "+Shift A -Shift Tab +Shift B -Shift Esc"},
                                {u"A\x01"
                                 u"B",
                                 "+Shift A u0001 B -Shift"},
                                {u"A\u00E9B c", "+Shift A u00E9 B -Shift vk20 C"},
                                {u"A\U0001F600B", "+Shift A uD83D uDE00 B -Shift"},
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
                                    {u"€@{", "+Ctrl +Alt E Q 7 -Alt -Ctrl"},
                                    {u"€Ü", "+Ctrl +Alt E -Alt -Ctrl +Shift vkBA -Shift"},
                                    {u"Ä€a", "+Shift vkDE -Shift +Ctrl +Alt E -Alt -Ctrl A"},
                                    {u"A^B", "+Shift A u005E B -Shift"},
                                    {u"€^€", "+Ctrl +Alt E -Alt -Ctrl u005E +Ctrl +Alt E -Alt -Ctrl"},
                                    {u"€\r@", "+Ctrl +Alt E -Alt -Ctrl Enter +Ctrl +Alt Q -Alt -Ctrl"},
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
        const std::function<bool()> caps_lock = [&] {
            ++asked;
            return true;
        };
        const std::string plan = Describe(PlanKeystrokes(c.text, UsLayout(), caps_lock));
        EXPECT_EQ(asked, c.asked) << "input: " << ToUtf8(c.text) << " plan: " << plan;
    }
}

// Every key event carries the layout's scan code for its key; only extended keys are flagged so.
TEST(KeystrokePlan, ScanCodesAndExtendedFlag) {
    const FakeLayout de = GermanLayout();
    const Text text = u"aA€\r\t\b\x1B÷";
    for (const InputEvent& e : PlanKeystrokes(text, de, false)) {
        ASSERT_EQ(e.kind, InputEvent::Kind::Key);
        EXPECT_EQ(e.code, de.ScanCode(e.virtual_key)) << "key " << KeyName(e.virtual_key);
        EXPECT_EQ(e.extended, e.virtual_key == 0x6F) << "key " << KeyName(e.virtual_key);
    }
    EXPECT_EQ(de.ScanCode(vkey::kShift), 0x2A);
}

// Unicode mode types every character as a unit but the named keys as keys; scan-code mode types the same keys
// as the layout mode, and a character whose key has no scan code as a unit.
TEST(KeystrokePlan, KeyModes) {
    FakeLayout de = GermanLayout();
    de.scan_codes[0xE2] = 0;
    const struct {
        KeyMode mode;
        Text text;
        std::string expected;
    } cases[] = {
        {KeyMode::kUnicode, u"aA1!", "u0061 u0041 u0031 u0021"},
        {KeyMode::kUnicode,
         u"a\r\n\t\b\x1B\x01"
         u"b",
         "u0061 Enter Enter Tab Back Esc u0001 u0062"},
        {KeyMode::kUnicode, u"€^", "u20AC u005E"},
        {KeyMode::kScanCode, u"aA€", "A +Shift A -Shift +Ctrl +Alt E -Alt -Ctrl"},
        {KeyMode::kScanCode, u"<>a\r", "u003C u003E A Enter"},
        {KeyMode::kLayout, u"<>", "vkE2 +Shift vkE2 -Shift"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(Plan(de, c.text, false, {c.mode, {}}), c.expected)
            << "mode " << static_cast<int>(c.mode) << ", input: " << ToUtf8(c.text);
    }
    // Unicode mode never needs the Caps Lock toggle.
    EXPECT_EQ(Plan(de, u"a", true, {KeyMode::kUnicode, {}}), "u0061");
}

// The user's Shift, Ctrl or Alt held down would change what is typed (capitals, shortcuts, menus): lifted
// around the text and given back after it. Shift is kept where only Unicode units are typed; nothing is touched
// when nothing is typed.
TEST(KeystrokePlan, UserHeldModifiersAreLiftedAroundTheText) {
    const FakeLayout us = UsLayout();
    const struct {
        std::vector<uint8_t> held;
        Text text;
        std::string expected;
        KeyMode mode = KeyMode::kLayout;
    } cases[] = {
        {{vkey::kLShift}, u"ab", "-LShift A B +LShift"},
        {{vkey::kRShift}, u"aB", "-RShift A +Shift B -Shift +RShift"},
        {{vkey::kLShift}, u"\u00E9", "u00E9"},
        {{vkey::kLShift}, u"\r", "-LShift Enter +LShift", KeyMode::kUnicode},
        {{vkey::kLShift}, u"ab", "u0061 u0062", KeyMode::kUnicode},
        {{vkey::kLControl}, u"\u00E9", "-LCtrl u00E9 +LCtrl"},
        {{vkey::kRControl}, u"s1", "-RCtrl S 1 +RCtrl"},
        {{vkey::kLMenu}, u"f", "Mask -LAlt F +LAlt"},
        {{vkey::kLControl, vkey::kRMenu}, u"f", "-LCtrl Mask -RAlt F +RAlt +LCtrl"},
        {{vkey::kLShift, vkey::kLControl}, u"A", "-LShift -LCtrl +Shift A -Shift +LCtrl +LShift"},
        {{vkey::kLShift}, u"", ""},
        {{vkey::kLShift, vkey::kLControl}, u"\x01", "-LCtrl u0001 +LCtrl"},
    };
    for (const auto& c : cases) {
        std::string held;
        for (const uint8_t key : c.held) {
            held += KeyName(key) + " ";
        }
        EXPECT_EQ(Plan(us, c.text, false, {c.mode, c.held}), c.expected)
            << "held: " << held << "input: " << ToUtf8(c.text);
    }
}

// When the system takes only the first events of a plan, the keys it left down come up and the user's keys it
// lifted go down again.
TEST(KeystrokePlan, RecoveryAfterARefusedSend) {
    const struct {
        Text text;
        std::vector<uint8_t> held;
        size_t accepted;
        std::string expected;
    } cases[] = {
        {u"AB", {}, 0, ""},
        {u"AB", {}, 1, "-Shift"},
        {u"AB", {}, 2, "-A -Shift"},
        {u"AB", {}, 3, "-Shift"},
        {u"AB", {}, 6, ""},
        {u"\u00E9", {}, 1, "-u00E9"},
        {u"ab", {vkey::kLShift}, 1, "+LShift"},
        {u"ab", {vkey::kLShift}, 2, "-A +LShift"},
        {u"ab", {vkey::kLShift, vkey::kLControl}, 1, "+LShift"},
        {u"ab", {vkey::kLShift, vkey::kLControl}, 2, "+LCtrl +LShift"},
        {u"ab", {vkey::kLShift}, 6, ""},
    };
    for (const auto& c : cases) {
        const std::vector<InputEvent> plan = PlanKeystrokes(c.text, UsLayout(), false, {KeyMode::kLayout, c.held});
        EXPECT_EQ(Describe(PlanRecovery(plan, c.accepted)), c.expected)
            << "input: " << ToUtf8(c.text) << " plan: " << Describe(plan) << " accepted: " << c.accepted;
    }
}

// Over many texts, modes and held keys: every key pressed is released, none twice down, the user's held keys
// are down again at the end and nothing else is; no modifier is down while a named key is typed (Shift+Enter,
// Ctrl+Tab), no Ctrl or Alt while a Unicode unit is, none of the user's while a key is. Cut short anywhere, the
// plan and its recovery leave the same.
TEST(KeystrokePlan, KeysAreReleasedAndModifiersNeverLeak) {
    const Text alphabet = u"aZ09 +^%~(){}[]\\@€éäÄ^´`ß¤¬¦÷中\r\n\t\b\x1B\x01\x7F\x85";
    const FakeLayout layouts[] = {UsLayout(), GermanLayout()};
    const uint8_t user_keys[] = {vkey::kLShift,   vkey::kRShift, vkey::kLControl,
                                 vkey::kRControl, vkey::kLMenu,  vkey::kRMenu};
    const std::set<uint8_t> ours = {vkey::kShift, vkey::kControl, vkey::kMenu};
    std::mt19937 random(20261207);
    for (int round = 0; round < 3000; ++round) {
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
        PlanOptions options{static_cast<KeyMode>(round % 3), {}};
        for (const uint8_t key : user_keys) {
            if (random() % 4 == 0) {
                options.held_keys.push_back(key);
            }
        }
        const std::set<uint8_t> held(options.held_keys.begin(), options.held_keys.end());
        const std::vector<InputEvent> events = PlanKeystrokes(text, layout, caps_lock, options);
        std::string context = "input: " + ToUtf8(text) + " mode " + std::to_string(round % 3) + " held";
        for (const uint8_t key : options.held_keys) {
            context += " " + KeyName(key);
        }
        context += " plan: " + Describe(events);

        const size_t cut = events.empty() ? 0 : random() % events.size();
        std::set<uint8_t> down = held;
        for (size_t i = 0; i < events.size(); ++i) {
            const InputEvent& e = events[i];
            const bool user_down = std::any_of(held.begin(), held.end(), [&](uint8_t k) { return down.count(k); });
            const bool ctrl_or_alt = down.count(vkey::kControl) || down.count(vkey::kMenu) ||
                                     down.count(vkey::kLControl) || down.count(vkey::kRControl) ||
                                     down.count(vkey::kLMenu) || down.count(vkey::kRMenu);
            if (e.kind == InputEvent::Kind::Unicode) {
                ASSERT_FALSE(e.key_up) << context;
                ASSERT_TRUE(i + 1 < events.size() && events[i + 1] == UnicodeUp(e.code)) << context;
                EXPECT_FALSE(ctrl_or_alt) << "Ctrl or Alt held for a unit: " << context;
                ++i;
                continue;
            }
            if (!e.key_up) {
                ASSERT_TRUE(down.insert(e.virtual_key).second) << "pressed twice: " << context;
            } else {
                ASSERT_EQ(down.erase(e.virtual_key), 1u) << "released but not down: " << context;
            }
            const bool is_named = e.virtual_key == vkey::kReturn || e.virtual_key == vkey::kTab ||
                                  e.virtual_key == vkey::kBack || e.virtual_key == vkey::kEscape;
            if (is_named) {
                EXPECT_FALSE(down.count(vkey::kShift) || ctrl_or_alt) << "modifier held: " << context;
            }
            if (!e.key_up && !ours.count(e.virtual_key) && !held.count(e.virtual_key) &&
                e.virtual_key != vkey::kMenuMask) {
                EXPECT_FALSE(user_down) << "the user's key held: " << context;
            }
        }
        EXPECT_EQ(down, held) << "left: " << context;

        std::set<uint8_t> down_at_cut = held;
        for (size_t i = 0; i < cut; ++i) {
            if (events[i].kind == InputEvent::Kind::Key) {
                events[i].key_up ? down_at_cut.erase(events[i].virtual_key)
                                 : down_at_cut.insert(events[i].virtual_key).second;
            }
        }
        for (const InputEvent& e : PlanRecovery(events, cut)) {
            if (e.kind == InputEvent::Kind::Key) {
                EXPECT_TRUE(e.key_up ? down_at_cut.erase(e.virtual_key) == 1 : down_at_cut.insert(e.virtual_key).second)
                    << "recovery at " << cut << ": " << context;
            }
        }
        if (!events.empty()) {
            EXPECT_EQ(down_at_cut, held) << "after recovery at " << cut << ": " << context;
        }
    }
}

}  // namespace
}  // namespace corvanta
