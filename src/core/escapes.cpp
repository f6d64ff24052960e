#include "core/escapes.h"

#include <string>
#include <utility>

namespace corvanta {

namespace {

int HexDigit(char16_t unit) {
    if (unit >= u'0' && unit <= u'9') {
        return unit - u'0';
    }
    if (AsciiLower(unit) >= u'a' && AsciiLower(unit) <= u'f') {
        return AsciiLower(unit) - u'a' + 10;
    }
    return -1;
}

void AppendHex(uint32_t value, size_t digits, Text& out) {
    static constexpr char16_t kDigits[] = u"0123456789ABCDEF";
    for (size_t k = digits; k-- > 0;) {
        out.push_back(kDigits[(value >> (4 * k)) & 0xF]);
    }
}

bool IsControl(char32_t c) {
    return c < 0x20 || (c >= 0x7F && c <= 0x9F);
}

// One character of a text, escaped if it is a control character or the backslash; the ASCII ones of received
// bytes take the same path.
void AppendEscaped(char16_t unit, Text& out) {
    switch (unit) {
        case u'\r':
            out += u"\\r";
            return;
        case u'\n':
            out += u"\\n";
            return;
        case u'\t':
            out += u"\\t";
            return;
        case u'\x1B':
            out += u"\\e";
            return;
        case u'\\':
            out += u"\\\\";
            return;
        default:
            break;
    }
    if (IsControl(unit)) {
        out += u"\\x";
        AppendHex(unit, 2, out);
    } else {
        out.push_back(unit);
    }
}

// Decoded characters that show as themselves: no control, no replacement character, no lone surrogate.
bool Printable(TextView decoded) {
    if (decoded.empty() || decoded.find(u'\uFFFD') != TextView::npos) {
        return false;
    }
    for (size_t i = 0; i < decoded.size(); ++i) {
        if (IsControl(decoded[i])) {
            return false;
        }
        if (IsHighSurrogate(decoded[i]) && i + 1 < decoded.size() && IsLowSurrogate(decoded[i + 1])) {
            ++i;
        } else if (IsHighSurrogate(decoded[i]) || IsLowSurrogate(decoded[i])) {
            return false;
        }
    }
    return true;
}

// Walks a value's escapes: every character it stands for goes to `unit`; with `hex_is_byte`, \xNN goes to `byte` as
// the byte NN instead. Throws Error naming a bad escape.
template <typename Unit, typename Byte>
void ResolveEscapes(TextView value, bool hex_is_byte, Unit unit, Byte byte) {
    for (size_t i = 0; i < value.size(); ++i) {
        if (value[i] != u'\\') {
            unit(value[i]);
            continue;
        }
        if (++i == value.size()) {
            throw Error(u"a \\ ends the text (write \\\\ for a backslash)");
        }
        switch (value[i]) {
            case u'r':
                unit(u'\r');
                break;
            case u'n':
                unit(u'\n');
                break;
            case u't':
                unit(u'\t');
                break;
            case u'e':
                unit(u'\x1B');
                break;
            case u'\\':
                unit(u'\\');
                break;
            case u'x':
            case u'u': {
                const size_t digits = value[i] == u'x' ? 2 : 4;
                uint32_t code = 0;
                for (size_t k = 1; k <= digits; ++k) {
                    const int digit = i + k < value.size() ? HexDigit(value[i + k]) : -1;
                    if (digit < 0) {
                        throw Error(u"\\" + Text(1, value[i]) + u" needs " + AsciiText(std::to_string(digits)) +
                                    u" hexadecimal digits");
                    }
                    code = code * 16 + static_cast<uint32_t>(digit);
                }
                if (hex_is_byte && digits == 2) {
                    byte(static_cast<char>(code));
                } else {
                    unit(static_cast<char16_t>(code));
                }
                i += digits;
                break;
            }
            default:
                throw Error(u"\\" + Text(1, value[i]) + u" is not an escape (write \\\\ for a backslash)");
        }
    }
}

// Whether the code page holds the character: stored through it, it reads back the same.
bool HeldBy(const AnsiCodePage& ansi, char16_t unit) {
    const TextView character(&unit, 1);
    try {
        return ansi.ToText(ansi.ToAnsi(character)) == character;
    } catch (const Error&) {
        // A conversion that fails holds nothing: the character is written as \uNNNN, which any code page holds.
        return false;
    }
}

}  // namespace

Text Unescape(TextView value) {
    Text text;
    ResolveEscapes(
        value, false, [&text](char16_t unit) { text.push_back(unit); }, [](char) {});
    return text;
}

std::string UnescapeBytes(TextView value, const std::function<std::string(TextView text)>& encode) {
    std::string bytes;
    Text pending;
    ResolveEscapes(
        value, true, [&pending](char16_t unit) { pending.push_back(unit); },
        [&](char byte) {
            bytes += encode(std::exchange(pending, {}));
            bytes.push_back(byte);
        });
    return bytes + encode(pending);
}

Text EscapeBytes(std::string_view bytes) {
    Text out;
    out.reserve(bytes.size());
    for (const char byte : bytes) {
        const auto value = static_cast<unsigned char>(byte);
        if (value < 0x80) {
            AppendEscaped(value, out);
        } else {
            out += u"\\x";
            AppendHex(value, 2, out);
        }
    }
    return out;
}

Text EscapeSetting(TextView text, const AnsiCodePage& ansi) {
    Text out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        const char16_t unit = text[i];
        if (unit < 0x80 || (!IsHighSurrogate(unit) && !IsLowSurrogate(unit) && HeldBy(ansi, unit))) {
            out += EscapeText(text.substr(i, 1));
        } else {
            out += u"\\u";
            AppendHex(unit, 4, out);
        }
    }
    return out;
}

Text EscapeText(TextView text) {
    Text out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        const char16_t unit = text[i];
        if (IsHighSurrogate(unit) && i + 1 < text.size() && IsLowSurrogate(text[i + 1])) {
            out.push_back(unit);
            out.push_back(text[++i]);
        } else if (IsHighSurrogate(unit) || IsLowSurrogate(unit)) {
            out += u"\\u";
            AppendHex(unit, 4, out);
        } else {
            AppendEscaped(unit, out);
        }
    }
    return out;
}

Text EscapeTyped(TextView typed) {
    Text out;
    size_t start = 0;
    for (size_t i = 0; i < typed.size(); ++i) {
        if (typed[i] != u'\r' && typed[i] != u'\n') {
            continue;
        }
        out += EscapeText(typed.substr(start, i - start));
        out += u"\\r";
        if (typed[i] == u'\r' && i + 1 < typed.size() && typed[i + 1] == u'\n') {
            ++i;
        }
        start = i + 1;
    }
    out += EscapeText(typed.substr(start));
    return out;
}

Text EscapeReceived(std::string_view bytes, const AnsiCodePage* code_page) {
    Text out;
    out.reserve(bytes.size());
    size_t i = 0;
    while (i < bytes.size()) {
        const auto byte = static_cast<unsigned char>(bytes[i]);
        if (byte < 0x80) {
            AppendEscaped(byte, out);
            ++i;
            continue;
        }
        size_t length = 0;
        Text decoded;
        if (code_page == nullptr) {
            length = Utf8SequenceLength(bytes.substr(i));
            if (length > 0) {
                decoded = FromUtf8(bytes.substr(i, length));
            }
        } else {
            length = code_page->IsLeadByte(byte) && i + 1 < bytes.size() ? 2 : 1;
            try {
                decoded = code_page->ToText(bytes.substr(i, length));
            } catch (const Error&) {
                // A conversion that fails shows the bytes as numbers, which hides nothing.
                decoded.clear();
            }
        }
        if (length > 0 && Printable(decoded)) {
            out += decoded;
            i += length;
        } else {
            out += u"\\x";
            AppendHex(byte, 2, out);
            ++i;
        }
    }
    return out;
}

}  // namespace corvanta
