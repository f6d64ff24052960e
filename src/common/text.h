#pragma once

#include <exception>
#include <string>
#include <string_view>

namespace corvanta {

// Program text is UTF-16, like Windows' wide strings, on every platform (wchar_t is 32-bit on Linux).
// Bytes in the system ANSI code page travel as std::string.
using Text = std::u16string;
using TextView = std::u16string_view;

// For literals and other pure-ASCII text.
Text AsciiText(std::string_view ascii);

// UTF-16 to UTF-8, for diagnostics and test messages; unpaired surrogates become U+FFFD.
std::string ToUtf8(TextView text);

// UTF-8 to UTF-16; each maximal ill-formed part becomes one U+FFFD, so that bad input stays visible.
Text FromUtf8(std::string_view utf8);
// The same for a stream read in pieces: whole sequences are decoded, and an incomplete but so far valid
// sequence at the end is left in `bytes` for the next piece.
Text DecodeUtf8(std::string& bytes);
// The length of the well-formed UTF-8 sequence that `bytes` starts with; 0 when they start with none (an ill-formed
// or incomplete one, or nothing).
size_t Utf8SequenceLength(std::string_view bytes);

// A UTF-16 surrogate: a high one starts a pair, a low one ends it; alone, either is broken text.
inline bool IsHighSurrogate(char16_t unit) {
    return unit >= 0xD800 && unit <= 0xDBFF;
}
inline bool IsLowSurrogate(char16_t unit) {
    return unit >= 0xDC00 && unit <= 0xDFFF;
}

// Control characters without a key of their own: C0 other than CR, LF, TAB, BS and ESC, then DEL and C1. Typed as
// Ctrl-combinations they would fire shortcuts in the target; C1 codes only come from bytes a code page leaves
// undefined.
bool IsOtherControl(char16_t unit);

// Trims U+0020 blanks at both ends (not tabs or other white space).
Text TrimBlanks(TextView text);

// A-Z as a-z; every other unit as it is. Words of the registry and the command line are ASCII.
char16_t AsciiLower(char16_t unit);
// Whether the texts are equal when A-Z count as a-z.
bool EqualIgnoringAsciiCase(TextView a, TextView b);

// A run-time error: what a property refused or an operation that failed, with a description a user can read.
class Error : public std::exception {
  public:
    explicit Error(Text description);
    const Text& Description() const noexcept { return description_; }
    const char* what() const noexcept override { return utf8_.c_str(); }

  private:
    Text description_;
    std::string utf8_;
};

}  // namespace corvanta
