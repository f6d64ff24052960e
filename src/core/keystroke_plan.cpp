#include "core/keystroke_plan.h"

#include <algorithm>
#include <iterator>
#include <optional>
#include <utility>

namespace corvanta {
namespace {

// A layout never types a character with these; pressed as one they would change the keys around it.
bool IsModifierOrLock(uint8_t virtual_key) {
    switch (virtual_key) {
        case vkey::kShift:
        case vkey::kControl:
        case vkey::kMenu:
        case 0x14:  // VK_CAPITAL
        case 0x5B:  // VK_LWIN
        case 0x5C:  // VK_RWIN
        case 0x90:  // VK_NUMLOCK
        case 0x91:  // VK_SCROLL
        case vkey::kLShift:
        case vkey::kRShift:
        case vkey::kLControl:
        case vkey::kRControl:
        case vkey::kLMenu:
        case vkey::kRMenu:
        case vkey::kMenuMask:
            return true;
        default:
            return false;
    }
}

constexpr std::pair<uint8_t, uint8_t> kModifiers[] = {{kShiftBit, vkey::kShift},
                                                      {kCtrlBit, vkey::kControl},
                                                      {kAltBit, vkey::kMenu}};

class Planner {
  public:
    Planner(const KeyboardLayout& layout,
            const std::function<bool()>& caps_lock,
            KeyMode mode,
            std::vector<InputEvent>& events)
        : layout_(layout), caps_lock_(caps_lock), mode_(mode), events_(events) {}

    void Key(uint8_t virtual_key, bool key_up) {
        events_.push_back(
            {InputEvent::Kind::Key, key_up, virtual_key, layout_.ScanCode(virtual_key), IsExtendedKey(virtual_key)});
    }
    void Press(uint8_t virtual_key) {
        Key(virtual_key, false);
        Key(virtual_key, true);
    }
    // Shift+Enter or Ctrl+Tab mean something else to many programs.
    void NamedKey(uint8_t virtual_key) {
        HoldModifiers(0);
        Press(virtual_key);
    }
    // Shift does not change a Unicode unit, so a run of shifted keys goes on across it; Ctrl or Alt down would
    // make it a shortcut.
    void Unicode(char16_t unit) {
        HoldModifiers(held_ & kShiftBit);
        events_.push_back({InputEvent::Kind::Unicode, false, 0, unit, false});
        events_.push_back({InputEvent::Kind::Unicode, true, 0, unit, false});
    }
    void Finish() { HoldModifiers(0); }

    // A key combination only where it types the character by itself: Ctrl or Alt alone would reach the target
    // as a shortcut or a menu key, and a dead key would wait to merge with the next character.
    void Character(char16_t unit) {
        const std::optional<KeyCombination> key = mode_ == KeyMode::kUnicode ? std::nullopt : layout_.KeyFor(unit);
        if (!key || key->virtual_key == 0 || IsModifierOrLock(key->virtual_key) ||
            !IsPlainCombination(key->shift_state) || layout_.IsDeadKey(key->virtual_key) ||
            (mode_ == KeyMode::kScanCode && !HasScanCodes(*key)) || (layout_.IsCased(unit) && CapsLockOn())) {
            Unicode(unit);
            return;
        }
        HoldModifiers(key->shift_state);
        Press(key->virtual_key);
    }

  private:
    static bool IsPlainCombination(uint8_t shift_state) {
        const uint8_t without_shift = shift_state & static_cast<uint8_t>(~kShiftBit);
        return without_shift == 0 || without_shift == (kCtrlBit | kAltBit);
    }

    // A key without a scan code cannot be sent as one.
    bool HasScanCodes(KeyCombination combination) const {
        if (layout_.ScanCode(combination.virtual_key) == 0) {
            return false;
        }
        for (const auto& [bit, key] : kModifiers) {
            if ((combination.shift_state & bit) && layout_.ScanCode(key) == 0) {
                return false;
            }
        }
        return true;
    }

    // Only the modifiers that differ move: those not wanted come up in reverse order, then the missing ones go
    // down, all before the character's key.
    void HoldModifiers(uint8_t wanted) {
        for (auto modifier = std::rbegin(kModifiers); modifier != std::rend(kModifiers); ++modifier) {
            if ((held_ & modifier->first) && !(wanted & modifier->first)) {
                Key(modifier->second, true);
            }
        }
        for (const auto& [bit, key] : kModifiers) {
            if ((wanted & bit) && !(held_ & bit)) {
                Key(key, false);
            }
        }
        held_ = wanted;
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
    KeyMode mode_;
    uint8_t held_ = 0;  // our modifiers down now
    std::vector<InputEvent>& events_;
};

// The user's keys that would change what `typed` does: Ctrl and Alt always (shortcuts, menus), Shift where a
// key is typed (a Unicode unit ignores it). Win keys are left alone: we never press them, and a lone Win
// release would open the Start menu.
std::vector<uint8_t> KeysToLift(const std::vector<uint8_t>& held_keys, const std::vector<InputEvent>& typed) {
    const bool types_keys =
        std::any_of(typed.begin(), typed.end(), [](const InputEvent& e) { return e.kind == InputEvent::Kind::Key; });
    std::vector<uint8_t> lift;
    for (const uint8_t key : held_keys) {
        const bool shift = key == vkey::kLShift || key == vkey::kRShift;
        const bool ctrl_or_alt =
            key == vkey::kLControl || key == vkey::kRControl || key == vkey::kLMenu || key == vkey::kRMenu;
        if ((ctrl_or_alt || (shift && types_keys)) && std::find(lift.begin(), lift.end(), key) == lift.end()) {
            lift.push_back(key);
        }
    }
    return lift;
}

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
                                       const PlanOptions& options) {
    return PlanKeystrokes(text, layout, std::function<bool()>([caps_lock] { return caps_lock; }), options);
}

std::vector<InputEvent> PlanKeystrokes(TextView text,
                                       const KeyboardLayout& layout,
                                       const std::function<bool()>& caps_lock,
                                       const PlanOptions& options) {
    std::vector<InputEvent> events;
    events.reserve(text.size() * 2 + 8);
    Planner plan(layout, caps_lock, options.mode, events);
    for (size_t i = 0; i < text.size(); ++i) {
        const char16_t unit = text[i];
        switch (unit) {
            case u'\r':
            case u'\n':
                plan.NamedKey(vkey::kReturn);
                continue;
            case u'\t':
                plan.NamedKey(vkey::kTab);
                continue;
            case u'\b':
                plan.NamedKey(vkey::kBack);
                continue;
            case u'\x1B':
                plan.NamedKey(vkey::kEscape);
                continue;
            default:
                break;
        }
        if (IsOtherControl(unit)) {
            // Never by a layout's key: that would be a Ctrl-combination, a shortcut in the target.
            plan.Unicode(unit);
        } else if (IsHighSurrogate(unit) && i + 1 < text.size() && IsLowSurrogate(text[i + 1])) {
            plan.Unicode(unit);
            plan.Unicode(text[++i]);
        } else if (IsHighSurrogate(unit) || IsLowSurrogate(unit)) {
            // Half a pair would reach the target as broken text; show that something was there.
            plan.Unicode(u'\uFFFD');
        } else {
            plan.Character(unit);
        }
    }
    plan.Finish();
    if (events.empty() || options.held_keys.empty()) {
        return events;
    }
    const std::vector<uint8_t> lift = KeysToLift(options.held_keys, events);
    if (lift.empty()) {
        return events;
    }
    std::vector<InputEvent> around;
    around.reserve(events.size() + lift.size() * 2 + 2);
    Planner keys(layout, caps_lock, options.mode, around);
    for (const uint8_t key : lift) {
        // DefWindowProc opens the menu bar when Alt comes up right after its own key-down.
        if ((key == vkey::kLMenu || key == vkey::kRMenu) &&
            std::none_of(around.begin(), around.end(), [](const InputEvent& e) { return !e.key_up; })) {
            keys.Press(vkey::kMenuMask);
        }
        keys.Key(key, true);
    }
    around.insert(around.end(), events.begin(), events.end());
    for (auto key = lift.rbegin(); key != lift.rend(); ++key) {
        keys.Key(*key, false);
    }
    return around;
}

std::vector<InputEvent> PlanRecovery(const std::vector<InputEvent>& plan, size_t accepted) {
    std::vector<InputEvent> down;    // ours, in the order they went down
    std::vector<InputEvent> lifted;  // the user's, released and not yet given back
    for (size_t i = 0; i < accepted && i < plan.size(); ++i) {
        const InputEvent& e = plan[i];
        const auto same = [&e](const InputEvent& other) {
            return other.kind == e.kind && other.virtual_key == e.virtual_key && other.code == e.code;
        };
        if (!e.key_up) {
            const auto given_back = std::find_if(lifted.begin(), lifted.end(), same);
            if (given_back != lifted.end()) {
                lifted.erase(given_back);
            } else {
                down.push_back(e);
            }
        } else {
            const auto released = std::find_if(down.begin(), down.end(), same);
            if (released != down.end()) {
                down.erase(released);
            } else {
                lifted.push_back(e);
            }
        }
    }
    std::vector<InputEvent> recovery;
    for (auto e = down.rbegin(); e != down.rend(); ++e) {
        recovery.push_back(*e);
        recovery.back().key_up = true;
    }
    for (auto e = lifted.rbegin(); e != lifted.rend(); ++e) {
        recovery.push_back(*e);
        recovery.back().key_up = false;
    }
    return recovery;
}

}  // namespace corvanta
