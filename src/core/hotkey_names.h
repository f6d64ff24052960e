#pragma once

#include <optional>

#include "common/text.h"
#include "platform/system_hotkey.h"

namespace corvanta {

// Hotkeys as the user writes them: a key name after any of "Ctrl+", "Alt+", "Shift+" and "Win+", in any order
// and case, with blanks around the parts allowed ("F9", "ctrl+shift+w", "Alt + Pause").
//
// The keys, by name (aliases in brackets):
//   A to Z, 0 to 9 (the top row), F1 to F24,
//   Pause, PrintScreen, ScrollLock, Insert (Ins), Delete (Del), Home, End, PageUp (PgUp), PageDown (PgDn),
//   Left, Up, Right, Down,
//   Space, Enter (Return), Tab, Esc (Escape), Backspace,
//   Num0 to Num9, NumMultiply, NumAdd, NumSubtract, NumDecimal, NumDivide (the numeric keypad).
// Keys whose character depends on the keyboard layout (punctuation) are left out: a setting must mean the same
// key on every PC.
//
// A key that types (letters, digits, the keypad, Space, Enter, Tab, Esc, Backspace) needs Ctrl, Alt or Win with
// it, and not Ctrl+Alt without Win: the system hands a hotkey's keys to no window, so such a combination would
// take a character from every program, and from the text Corvanta types (Ctrl+Alt is AltGr on many layouts).
// F12 alone is refused too: Windows keeps it for debuggers.

// The hotkey a value names; nothing for an empty or blank value. Throws Error saying what is wrong, for the
// message that names refused values.
std::optional<Hotkey> ParseHotkey(TextView value);

// The canonical name: the modifiers as Ctrl+Alt+Shift+Win, then the key's first name ("Ctrl+Shift+W"). Parsing
// it gives the same hotkey back.
Text FormatHotkey(const Hotkey& hotkey);

}  // namespace corvanta
