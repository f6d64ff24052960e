// The text-to-keystroke plan over any text and any keyboard layout, handed over in two pieces. Checked against
// what a user would see typed: each character arrives as its own key combination (exactly its modifiers down,
// none of the user's) or as a Unicode unit (no Ctrl or Alt down), each CR and each LF as Enter, TAB/BS/ESC as
// their keys with no modifier down, other control characters as Unicode units; every key
// that goes down comes up within its plan, the user's held keys are down again at its end, Alt never comes up
// right after its own press (the menu bar), and a plan cut short anywhere is set right by its recovery.

#include <algorithm>
#include <cstddef>
#include <map>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "core/keystroke_plan.h"
#include "fuzz_support.h"

using corvanta::InputEvent;
using corvanta::KeyCombination;
using corvanta::Text;
using corvanta::TextView;
using corvanta::fuzz::Shown;
namespace vkey = corvanta::vkey;

namespace {

class FuzzLayout : public corvanta::KeyboardLayout {
  public:
    std::optional<KeyCombination> KeyFor(char16_t unit) const override {
        const auto found = keys.find(unit);
        return found == keys.end() ? std::nullopt : std::optional(found->second);
    }
    bool IsDeadKey(uint8_t virtual_key) const override { return dead_keys.count(virtual_key) != 0; }
    // Some keys have no scan code (0), as on real layouts.
    uint16_t ScanCode(uint8_t virtual_key) const override { return static_cast<uint16_t>((virtual_key * 7) & 0x7F); }
    bool IsCased(char16_t unit) const override {
        return (unit >= u'a' && unit <= u'z') || (unit >= u'A' && unit <= u'Z') ||
               (unit >= 0xC0 && unit <= 0xFF && unit != 0xD7 && unit != 0xF7);
    }

    void AddUsKeys() {
        for (char16_t c = u'a'; c <= u'z'; ++c) {
            keys[c] = {static_cast<uint8_t>(c - u'a' + 'A'), 0};
            keys[static_cast<char16_t>(c - u'a' + u'A')] = {static_cast<uint8_t>(c - u'a' + 'A'), corvanta::kShiftBit};
        }
        const TextView shifted_digits = u")!@#$%^&*(";
        for (uint8_t d = 0; d < 10; ++d) {
            keys[static_cast<char16_t>(u'0' + d)] = {static_cast<uint8_t>('0' + d), 0};
            keys[shifted_digits[d]] = {static_cast<uint8_t>('0' + d), corvanta::kShiftBit};
        }
        const std::pair<uint8_t, TextView> punctuation[] = {
            {0xBD, u"-_"},  {0xBB, u"=+"}, {0xDB, u"[{"}, {0xDD, u"]}"}, {0xDC, u"\\|"}, {0xBA, u";:"},
            {0xDE, u"'\""}, {0xBC, u",<"}, {0xBE, u".>"}, {0xBF, u"/?"}, {0xC0, u"`~"}};
        for (const auto& [key, pair] : punctuation) {
            keys[pair[0]] = {key, 0};
            keys[pair[1]] = {key, corvanta::kShiftBit};
        }
        keys[u' '] = {0x20, 0};
    }

    std::map<char16_t, KeyCombination> keys;
    std::set<uint8_t> dead_keys;
};

bool IsControl(char16_t unit) {
    return unit < 0x20 || (unit >= 0x7F && unit <= 0x9F);
}
bool IsHigh(char16_t unit) {
    return unit >= 0xD800 && unit <= 0xDBFF;
}
bool IsLow(char16_t unit) {
    return unit >= 0xDC00 && unit <= 0xDFFF;
}

std::string Describe(const InputEvent& event) {
    return std::string(event.kind == InputEvent::Kind::Key ? "key " : "unicode ") +
           std::to_string(event.kind == InputEvent::Kind::Key ? event.virtual_key : event.code) +
           (event.key_up ? " up" : " down");
}

// Every key and Unicode unit that goes down comes up later in the same plan, and nothing comes up unpressed;
// the user's held keys start down and end down.
void CheckBalanced(const std::vector<InputEvent>& events,
                   const std::vector<uint8_t>& held,
                   const std::string& context,
                   std::map<std::pair<bool, unsigned>, int> down = {}) {
    if (down.empty()) {
        for (const uint8_t key : held) {
            down[{true, key}] = 1;
        }
    }
    for (const InputEvent& event : events) {
        const bool key = event.kind == InputEvent::Kind::Key;
        int& count = down[{key, key ? event.virtual_key : event.code}];
        count += event.key_up ? -1 : 1;
        FUZZ_CHECK(count >= 0, context + ": " + Describe(event) + " without a press");
    }
    for (const auto& [what, count] : down) {
        const bool user_key = what.first && std::find(held.begin(), held.end(), what.second) != held.end();
        FUZZ_CHECK(count == (user_key ? 1 : 0), context + ": " + std::string(what.first ? "key " : "unicode ") +
                                                    std::to_string(what.second) +
                                                    (user_key ? " not given back" : " left down"));
    }
}

bool IsModifier(uint8_t key) {
    return key == vkey::kShift || key == vkey::kControl || key == vkey::kMenu || key == vkey::kMenuMask ||
           (key >= vkey::kLShift && key <= vkey::kRMenu);
}

// Walks one piece of text along its plan, consuming the events each character may produce.
class Walk {
  public:
    Walk(const FuzzLayout& layout,
         bool caps_lock,
         const corvanta::PlanOptions& options,
         const std::vector<InputEvent>& events,
         std::string context)
        : layout_(layout),
          caps_lock_(caps_lock),
          mode_(options.mode),
          down_(options.held_keys.begin(), options.held_keys.end()),
          held_(down_),
          events_(events),
          context_(std::move(context)) {
        // The user pressed a held Alt some time before: its release must not follow directly.
        for (const uint8_t key : options.held_keys) {
            last_down_ = key == vkey::kLMenu || key == vkey::kRMenu ? key : last_down_;
        }
    }

    void Text(TextView text) {
        for (size_t i = 0; i < text.size(); ++i) {
            const char16_t unit = text[i];
            where_ = " at unit " + std::to_string(i) + " (" + Shown(text.substr(i, 1)) + ")";
            if (unit == u'\r' || unit == u'\n') {
                Press(vkey::kReturn);
            } else if (unit == u'\t') {
                Press(vkey::kTab);
            } else if (unit == u'\b') {
                Press(vkey::kBack);
            } else if (unit == u'\x1B') {
                Press(vkey::kEscape);
            } else if (IsControl(unit)) {
                Unicode(unit);
            } else if (IsHigh(unit) && i + 1 < text.size() && IsLow(text[i + 1])) {
                Unicode(unit);
                Unicode(text[++i]);
            } else if (IsHigh(unit) || IsLow(unit)) {
                Unicode(u'\uFFFD');
            } else {
                Character(unit);
            }
        }
        where_ = " at the end";
        Modifiers();
        FUZZ_CHECK(down_ == held_, context_ + ": the modifiers down at the end are not the user's");
        FUZZ_CHECK(at_ == events_.size(), context_ + ": " + std::to_string(events_.size() - at_) +
                                              " events beyond the text, first " + Describe(events_[at_]));
    }

  private:
    const InputEvent& Next() {
        FUZZ_CHECK(at_ < events_.size(), context_ + where_ + ": the plan ends early");
        return events_[at_++];
    }
    // Takes the modifier events before the next character; Alt never comes up right after its own press.
    void Modifiers() {
        while (at_ < events_.size() && events_[at_].kind == InputEvent::Kind::Key &&
               IsModifier(events_[at_].virtual_key)) {
            const InputEvent& event = Next();
            const uint8_t key = event.virtual_key;
            FUZZ_CHECK(event.code == layout_.ScanCode(key) && event.extended == corvanta::IsExtendedKey(key),
                       context_ + where_ + ": " + Describe(event) + " with the wrong scan code");
            if (event.key_up) {
                FUZZ_CHECK(down_.erase(key) == 1, context_ + where_ + ": " + Describe(event) + " while up");
                FUZZ_CHECK(!((key == vkey::kMenu || key == vkey::kLMenu || key == vkey::kRMenu) && last_down_ == key),
                           context_ + where_ + ": Alt alone");
            } else {
                FUZZ_CHECK(down_.insert(key).second, context_ + where_ + ": " + Describe(event) + " while down");
                last_down_ = key;
            }
        }
    }
    bool Down(uint8_t key) const { return down_.count(key) != 0; }
    bool CtrlOrAltDown() const {
        return Down(vkey::kControl) || Down(vkey::kMenu) || Down(vkey::kLControl) || Down(vkey::kRControl) ||
               Down(vkey::kLMenu) || Down(vkey::kRMenu);
    }
    void Key(uint8_t virtual_key, bool key_up) {
        const InputEvent& event = Next();
        const InputEvent expected{InputEvent::Kind::Key, key_up, virtual_key, layout_.ScanCode(virtual_key),
                                  corvanta::IsExtendedKey(virtual_key)};
        FUZZ_CHECK(event == expected, context_ + where_ + ": " + Describe(event) + " instead of " + Describe(expected));
        last_down_ = key_up ? last_down_ : virtual_key;
    }
    // A named key with no modifier down: Shift+Enter and Ctrl+Tab mean other things.
    void Press(uint8_t virtual_key) {
        Modifiers();
        FUZZ_CHECK(down_.empty(), context_ + where_ + ": a modifier down for a named key");
        Key(virtual_key, false);
        Key(virtual_key, true);
    }
    void Unicode(char16_t unit) {
        Modifiers();
        FUZZ_CHECK(!CtrlOrAltDown(), context_ + where_ + ": Ctrl or Alt down for a Unicode unit");
        for (const bool up : {false, true}) {
            const InputEvent& event = Next();
            const InputEvent expected{InputEvent::Kind::Unicode, up, 0, unit, false};
            FUZZ_CHECK(event == expected,
                       context_ + where_ + ": " + Describe(event) + " instead of " + Describe(expected));
        }
    }
    // Either the unit itself, or the layout's combination for it with exactly its modifiers down. The
    // combination is only allowed where it types the character by itself.
    void Character(char16_t unit) {
        Modifiers();
        FUZZ_CHECK(at_ < events_.size(), context_ + where_ + ": the plan ends early");
        if (events_[at_].kind == InputEvent::Kind::Unicode) {
            Unicode(unit);
            return;
        }
        FUZZ_CHECK(mode_ != corvanta::KeyMode::kUnicode, context_ + where_ + ": a key in Unicode mode");
        const std::optional<KeyCombination> key = layout_.KeyFor(unit);
        FUZZ_CHECK(key && key->virtual_key != 0, context_ + where_ + ": a key where the layout has none");
        const uint8_t modifiers = key->shift_state;
        const uint8_t without_shift = modifiers & static_cast<uint8_t>(~corvanta::kShiftBit);
        FUZZ_CHECK(without_shift == 0 || without_shift == (corvanta::kCtrlBit | corvanta::kAltBit),
                   context_ + where_ + ": typed with modifiers " + std::to_string(modifiers));
        FUZZ_CHECK(!layout_.IsDeadKey(key->virtual_key), context_ + where_ + ": typed with a dead key");
        FUZZ_CHECK(!(caps_lock_ && layout_.IsCased(unit)), context_ + where_ + ": a letter's key under Caps Lock");
        std::set<uint8_t> wanted;
        for (const auto& [bit, modifier] :
             {std::pair{corvanta::kShiftBit, vkey::kShift}, std::pair{corvanta::kCtrlBit, vkey::kControl},
              std::pair{corvanta::kAltBit, vkey::kMenu}}) {
            if (modifiers & bit) {
                wanted.insert(modifier);
            }
        }
        FUZZ_CHECK(down_ == wanted, context_ + where_ + ": other modifiers down than the key needs");
        if (mode_ == corvanta::KeyMode::kScanCode) {
            FUZZ_CHECK(layout_.ScanCode(key->virtual_key) != 0, context_ + where_ + ": a key without a scan code");
            for (const uint8_t modifier : wanted) {
                FUZZ_CHECK(layout_.ScanCode(modifier) != 0, context_ + where_ + ": a modifier without a scan code");
            }
        }
        Key(key->virtual_key, false);
        Key(key->virtual_key, true);
    }

    const FuzzLayout& layout_;
    bool caps_lock_;
    corvanta::KeyMode mode_;
    std::set<uint8_t> down_;  // modifiers down: the user's held ones at first
    const std::set<uint8_t> held_;
    uint8_t last_down_ = 0;
    const std::vector<InputEvent>& events_;
    std::string context_;
    std::string where_;
    size_t at_ = 0;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    corvanta::fuzz::Reader input(data, size);
    const uint8_t flags = input.U8();
    const bool caps_lock = (flags & 1) != 0;
    corvanta::PlanOptions options;
    options.mode = static_cast<corvanta::KeyMode>((flags >> 2) % 3);
    const uint8_t user_keys[] = {vkey::kLShift, vkey::kRControl, vkey::kLControl, vkey::kRMenu};
    for (int i = 0; i < 4; ++i) {
        if (flags & (0x10 << i)) {
            options.held_keys.push_back(user_keys[i]);
        }
    }
    const uint8_t split = input.U8();
    FuzzLayout layout;
    if (flags & 2) {
        layout.AddUsKeys();
    }
    for (uint8_t entries = input.U8(); entries > 0 && !input.Empty(); --entries) {
        const auto unit = static_cast<char16_t>(input.U16());
        const uint8_t virtual_key = input.U8();
        layout.keys[unit] = {virtual_key, input.U8()};
    }
    for (uint8_t dead = input.U8(); dead > 0 && !input.Empty(); --dead) {
        layout.dead_keys.insert(input.U8());
    }
    const Text text = corvanta::fuzz::TextOf(input.Rest());
    const TextView pieces[] = {TextView(text).substr(0, split),
                               TextView(text).substr(std::min<size_t>(split, text.size()))};

    for (const TextView piece : pieces) {
        const std::string context = "typing " + Shown(piece) + (caps_lock ? " with Caps Lock" : "");
        const std::vector<InputEvent> events = corvanta::PlanKeystrokes(piece, layout, caps_lock, options);
        CheckBalanced(events, options.held_keys, context);
        Walk(layout, caps_lock, options, events, context).Text(piece);
        const size_t cut = events.empty() ? 0 : split % events.size();
        const std::vector<InputEvent> prefix(events.begin(), events.begin() + static_cast<std::ptrdiff_t>(cut));
        std::vector<InputEvent> recovered = prefix;
        const std::vector<InputEvent> recovery = corvanta::PlanRecovery(events, cut);
        recovered.insert(recovered.end(), recovery.begin(), recovery.end());
        CheckBalanced(recovered, options.held_keys, context + " cut after " + std::to_string(cut) + " events");
    }
    return 0;
}
