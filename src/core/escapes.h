#pragma once

#include <cstddef>
#include <string_view>

#include "common/text.h"
#include "platform/ansi_code_page.h"

namespace corvanta {

// Escapes are how settings, the log and the windows that show received data write characters that cannot stand
// for themselves: \r, \n, \t, \e (Esc), \\, \xNN and \uNNNN. Reading and writing them live here together.

// The text of a value with its escapes resolved: \r and \n (Enter), \t, \e (Esc), \\, \xNN and \uNNNN; any other
// character stands for itself. Throws Error naming a bad escape.
Text Unescape(TextView value);

// The reverse of Unescape, for showing a setting's text: Unescape(EscapeText(t)) == t for every text. \r, \n, \t
// and \e for their characters, \\ for a backslash, \xNN for other C0 controls, DEL and C1, \uNNNN for a lone
// surrogate; every other character as itself.
Text EscapeText(TextView text);

// Typed text as a reader of the log sees the keys: every Enter (CR, LF, or CR LF counted once) as \r, Tab as \t,
// the rest as EscapeText writes it.
Text EscapeTyped(TextView typed);

// Received bytes as readable text that holds no control character: printable ASCII as itself, \r \n \t \e and \\,
// \xNN for other bytes below 0x20 and 0x7F. Bytes above 0x7F show as the characters they decode to in the
// record's encoding (UTF-8 when `code_page` is null, else that code page, double-byte pairs included), and as
// \xNN each where they do not decode to a printable character, so that no byte is hidden or guessed at.
Text EscapeReceived(std::string_view bytes, const AnsiCodePage* code_page);

}  // namespace corvanta
