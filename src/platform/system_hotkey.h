#pragma once

#include <compare>
#include <cstdint>
#include <functional>

#include "common/text.h"

namespace corvanta {

// Modifier bits of a hotkey: RegisterHotKey's MOD_ALT, MOD_CONTROL, MOD_SHIFT and MOD_WIN.
namespace hotkey_mod {
inline constexpr uint32_t kAlt = 0x1;
inline constexpr uint32_t kControl = 0x2;
inline constexpr uint32_t kShift = 0x4;
inline constexpr uint32_t kWin = 0x8;
}  // namespace hotkey_mod

// A key combination pressed anywhere in the session: a virtual-key code (Windows' values) and the modifiers held
// with it.
struct Hotkey {
    uint32_t modifiers = 0;
    uint32_t key = 0;
    auto operator<=>(const Hotkey&) const = default;
};

// A registration refused because another program (or another registrant) holds the combination.
class HotkeyTakenError : public Error {
  public:
    using Error::Error;
};

// One system-wide hotkey of the program (RegisterHotKey). Its handler runs on the UI thread, from the message
// loop (menus and dialogs included), once per press: a key held down does not repeat it.
class SystemHotkey {
  public:
    virtual ~SystemHotkey() = default;

    // Holds the combination from now on, in place of the one held before. Throws HotkeyTakenError when someone
    // else holds it and Error for any other refusal, both as "Registering the hotkey: system message"; after a
    // refusal nothing is held. Registering the combination already held changes nothing.
    virtual void Register(const Hotkey& hotkey) = 0;
    // Lets the combination go; harmless when none is held.
    virtual void Unregister() = 0;
    virtual void SetOnPressed(std::function<void()> handler) = 0;
};

}  // namespace corvanta
