#include "core/keystroke_plan.h"

#include <iterator>
#include <optional>
#include <utility>

namespace corvanta {
namespace {

constexpr char16_t kCr = u'\r';
constexpr char16_t kLf = u'\n';

bool IsHighSurrogate(char16_t unit) {
    return unit >= 0xD800 && unit <= 0xDBFF;
}
bool IsLowSurrogate(char16_t unit) {
    return unit >= 0xDC00 && unit <= 0xDFFF;
}

// Typed as Ctrl-combinations they would fire shortcuts in the target; C1 codes only come from bytes the ANSI
// code page leaves undefined.
bool IsUntypedControl(char16_t unit) {
    return unit < 0x20 || (unit >= 0x7F && unit <= 0x9F);
}

constexpr std::pair<uint8_t, uint8_t> kModifiers[] = {{kShiftBit, vkey::kShift},
                                                      {kCtrlBit, vkey::kControl},
                                                      {kAltBit, vkey::kMenu}};

class Planner {
  public:
    Planner(const KeyboardLayout& layout, const std::function<bool()>& caps_lock, std::vector<InputEvent>& events)
        : layout_(layout), caps_lock_(caps_lock), events_(events) {}

    void Key(uint8_t virtual_key, bool key_up) {
        events_.push_back(
            {InputEvent::Kind::Key, key_up, virtual_key, layout_.ScanCode(virtual_key), IsExtendedKey(virtual_key)});
    }
    void Press(uint8_t virtual_key) {
        Key(virtual_key, false);
        Key(virtual_key, true);
    }
    void Unicode(char16_t unit) {
        events_.push_back({InputEvent::Kind::Unicode, false, 0, unit, false});
        events_.push_back({InputEvent::Kind::Unicode, true, 0, unit, false});
    }

    // Modifiers go down before the key and come up after it, in reverse order, so none stays down.
    void Combination(KeyCombination combination) {
        for (const auto& [bit, key] : kModifiers) {
            if (combination.shift_state & bit) {
                Key(key, false);
            }
        }
        Press(combination.virtual_key);
        for (auto modifier = std::rbegin(kModifiers); modifier != std::rend(kModifiers); ++modifier) {
            if (combination.shift_state & modifier->first) {
                Key(modifier->second, true);
            }
        }
    }

    // A key combination only where it types the character by itself: Ctrl or Alt alone would reach the target
    // as a shortcut or a menu key, and a dead key would wait to merge with the next character.
    void Character(char16_t unit) {
        const std::optional<KeyCombination> key = layout_.KeyFor(unit);
        if (!key || key->virtual_key == 0 || !IsPlainCombination(key->shift_state) ||
            layout_.IsDeadKey(key->virtual_key) || (layout_.IsCased(unit) && CapsLockOn())) {
            Unicode(unit);
            return;
        }
        Combination(*key);
    }

  private:
    static bool IsPlainCombination(uint8_t shift_state) {
        const uint8_t without_shift = shift_state & static_cast<uint8_t>(~kShiftBit);
        return without_shift == 0 || without_shift == (kCtrlBit | kAltBit);
    }

    bool CapsLockOn() {
        if (!caps_lock_on_) {
            caps_lock_on_ = caps_lock_();
        }
        return *caps_lock_on_;
    }

    const KeyboardLayout& layout_;
    const std::function<bool()>& caps_lock_;
    std::optional<bool> caps_lock_on_;
    std::vector<InputEvent>& events_;
};

}  // namespace

bool IsExtendedKey(uint8_t virtual_key) {
    switch (virtual_key) {
        case 0x03:  // VK_CANCEL (Ctrl+Break)
        case 0x21:  // VK_PRIOR
        case 0x22:  // VK_NEXT
        case 0x23:  // VK_END
        case 0x24:  // VK_HOME
        case 0x25:  // VK_LEFT
        case 0x26:  // VK_UP
        case 0x27:  // VK_RIGHT
        case 0x28:  // VK_DOWN
        case 0x2C:  // VK_SNAPSHOT
        case 0x2D:  // VK_INSERT
        case 0x2E:  // VK_DELETE
        case 0x5B:  // VK_LWIN
        case 0x5C:  // VK_RWIN
        case 0x5D:  // VK_APPS
        case 0x6F:  // VK_DIVIDE, the keypad's slash
        case 0x90:  // VK_NUMLOCK
        case 0xA3:  // VK_RCONTROL
        case 0xA5:  // VK_RMENU
            return true;
        default:
            return false;
    }
}

std::vector<InputEvent> PlanKeystrokes(TextView text,
                                       const KeyboardLayout& layout,
                                       bool caps_lock,
                                       KeystrokeState& state) {
    return PlanKeystrokes(text, layout, std::function<bool()>([caps_lock] { return caps_lock; }), state);
}

std::vector<InputEvent> PlanKeystrokes(TextView text,
                                       const KeyboardLayout& layout,
                                       const std::function<bool()>& caps_lock,
                                       KeystrokeState& state) {
    std::vector<InputEvent> events;
    events.reserve(text.size() * 4);
    Planner plan(layout, caps_lock, events);
    for (size_t i = 0; i < text.size(); ++i) {
        const char16_t unit = text[i];
        const bool after_cr = state.after_cr;
        state.after_cr = unit == kCr;
        switch (unit) {
            case kCr:
                plan.Press(vkey::kReturn);
                continue;
            case kLf:
                if (!after_cr) {
                    plan.Press(vkey::kReturn);
                }
                continue;
            case u'\t':
                plan.Press(vkey::kTab);
                continue;
            case u'\b':
                plan.Press(vkey::kBack);
                continue;
            case u'\x1B':
                plan.Press(vkey::kEscape);
                continue;
            default:
                break;
        }
        if (IsUntypedControl(unit)) {
            if (state.controls_as_unicode) {
                plan.Unicode(unit);
            }
            continue;
        }
        if (IsHighSurrogate(unit) && i + 1 < text.size() && IsLowSurrogate(text[i + 1])) {
            plan.Unicode(unit);
            plan.Unicode(text[++i]);
        } else if (IsHighSurrogate(unit) || IsLowSurrogate(unit)) {
            // Half a pair would reach the target as broken text; show that something was there.
            plan.Unicode(u'\uFFFD');
        } else {
            plan.Character(unit);
        }
    }
    return events;
}

}  // namespace corvanta
