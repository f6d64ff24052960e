#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

#include "common/text.h"
#include "platform/keystroke_sender.h"

namespace corvanta {

// Modifier bits of a key combination, as in the high byte of VkKeyScanEx's answer. Ctrl+Alt is AltGr.
inline constexpr uint8_t kShiftBit = 0x01;
inline constexpr uint8_t kCtrlBit = 0x02;
inline constexpr uint8_t kAltBit = 0x04;

// The virtual keys the plan types by itself (Windows' values).
namespace vkey {
inline constexpr uint8_t kBack = 0x08;
inline constexpr uint8_t kTab = 0x09;
inline constexpr uint8_t kReturn = 0x0D;
inline constexpr uint8_t kShift = 0x10;
inline constexpr uint8_t kControl = 0x11;
inline constexpr uint8_t kMenu = 0x12;
inline constexpr uint8_t kEscape = 0x1B;
// Left- and right-hand modifiers: what the user may hold down, told apart so each is given back as it was.
inline constexpr uint8_t kLShift = 0xA0;
inline constexpr uint8_t kRShift = 0xA1;
inline constexpr uint8_t kLControl = 0xA2;
inline constexpr uint8_t kRControl = 0xA3;
inline constexpr uint8_t kLMenu = 0xA4;
inline constexpr uint8_t kRMenu = 0xA5;
// Unassigned: pressed before a held Alt is released, so the release does not open the target's menu bar.
inline constexpr uint8_t kMenuMask = 0xE8;
}  // namespace vkey

// A key and the modifiers held with it.
struct KeyCombination {
    uint8_t virtual_key = 0;
    uint8_t shift_state = 0;  // kShiftBit | kCtrlBit | kAltBit; a layout may report further bits
};

// What the planner asks of the target window's keyboard layout.
class KeyboardLayout {
  public:
    virtual ~KeyboardLayout() = default;
    // The combination that types this UTF-16 unit on the layout (VkKeyScanEx), or nothing if no key does.
    virtual std::optional<KeyCombination> KeyFor(char16_t unit) const = 0;
    // Whether the key starts a dead-key sequence instead of typing its character.
    virtual bool IsDeadKey(uint8_t virtual_key) const = 0;
    // The key's scan code on the layout, without the extended prefix; 0 if it has none.
    virtual uint16_t ScanCode(uint8_t virtual_key) const = 0;
    // Whether Caps Lock changes what the unit's key types (a letter with an upper and a lower case).
    virtual bool IsCased(char16_t unit) const = 0;
};

// One synthesized keyboard event.
struct InputEvent {
    enum class Kind : uint8_t { Key, Unicode };

    Kind kind = Kind::Key;
    bool key_up = false;
    uint8_t virtual_key = 0;  // Key only
    uint16_t code = 0;        // Key: the scan code; Unicode: the UTF-16 unit
    bool extended = false;    // Key only: the key sends the E0 prefix

    bool operator==(const InputEvent&) const = default;
};

struct PlanOptions {
    KeyMode mode = KeyMode::kLayout;
    // Modifier keys the user holds down (vkey::kLShift … vkey::kRMenu). Those that would change what the text
    // types are released before it and pressed again after it.
    std::vector<uint8_t> held_keys;
};

// The events that type `text` on `layout`. The text is final (see OutputPipeline): each CR and each LF is one
// Enter, TAB, BS and ESC are their keys, any other control character is a Unicode unit (one that should not be
// typed never gets here), and every other character is its key combination, or a Unicode unit where no plain
// combination types it (none, a dead key, modifiers other than Shift and AltGr, Caps Lock on and the character is a
// letter, or the mode says so). Consecutive characters share their modifiers: only those that differ go up or
// down, Shift stays down across Unicode units, and every modifier comes up before a named key and at the end.
// Every key pressed is released within the plan. `caps_lock` is asked at most once, and only when a letter would
// be typed by its key.
std::vector<InputEvent> PlanKeystrokes(TextView text,
                                       const KeyboardLayout& layout,
                                       const std::function<bool()>& caps_lock,
                                       const PlanOptions& options = {});
std::vector<InputEvent> PlanKeystrokes(TextView text,
                                       const KeyboardLayout& layout,
                                       bool caps_lock,
                                       const PlanOptions& options = {});

// The events that set right what a plan left when the system took only its first `accepted` events: keys it
// pressed come up, the user's keys it released go down again.
std::vector<InputEvent> PlanRecovery(const std::vector<InputEvent>& plan, size_t accepted);

// Whether Windows flags the virtual key as extended (the right-hand and navigation keys).
bool IsExtendedKey(uint8_t virtual_key);

}  // namespace corvanta
