#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>

#include "common/text.h"
#include "platform/ansi_code_page.h"

namespace corvanta {

// Escapes are how settings, the log and the windows that show received data write characters that cannot stand
// for themselves: \r, \n, \t, \e (Esc), \\, \xNN and \uNNNN. Reading and writing them live here together.

// The text of a value with its escapes resolved: \r and \n (Enter), \t, \e (Esc), \\, \xNN and \uNNNN; any other
// character stands for itself. Throws Error naming a bad escape.
Text Unescape(TextView value);

// A value's escapes resolved to bytes, for what is written to a device (such as \x02 or a checksum): \xNN is the byte
// NN as it stands, and every run of text between (its other escapes resolved as Unescape does) becomes bytes through
// `encode`, which may refuse it with Error. Throws Error naming a bad escape.
std::string UnescapeBytes(TextView value, const std::function<std::string(TextView text)>& encode);

// The reverse of UnescapeBytes: printable ASCII as itself, \r \n \t \e and \\, every other byte as \xNN.
// UnescapeBytes(EscapeBytes(b), encode) == b for all bytes, with any `encode` that keeps ASCII as it is.
Text EscapeBytes(std::string_view bytes);

// EscapeText for a value kept as text in the system's ANSI code page (the registry's values): a character the code
// page cannot hold is written as \uNNNN, so that Unescape of what was stored gives the text back.
Text EscapeSetting(TextView text, const AnsiCodePage& ansi);

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
