#include "core/escapes.h"

#include <string>

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

}  // namespace

Text Unescape(TextView value) {
    Text text;
    for (size_t i = 0; i < value.size(); ++i) {
        if (value[i] != u'\\') {
            text.push_back(value[i]);
            continue;
        }
        if (++i == value.size()) {
            throw Error(u"a \\ ends the text (write \\\\ for a backslash)");
        }
        switch (value[i]) {
            case u'r':
                text.push_back(u'\r');
                break;
            case u'n':
                text.push_back(u'\n');
                break;
            case u't':
                text.push_back(u'\t');
                break;
            case u'e':
                text.push_back(u'\x1B');
                break;
            case u'\\':
                text.push_back(u'\\');
                break;
            case u'x':
            case u'u': {
                const size_t digits = value[i] == u'x' ? 2 : 4;
                uint32_t unit = 0;
                for (size_t k = 1; k <= digits; ++k) {
                    const int digit = i + k < value.size() ? HexDigit(value[i + k]) : -1;
                    if (digit < 0) {
                        throw Error(u"\\" + Text(1, value[i]) + u" needs " + AsciiText(std::to_string(digits)) +
                                    u" hexadecimal digits");
                    }
                    unit = unit * 16 + static_cast<uint32_t>(digit);
                }
                text.push_back(static_cast<char16_t>(unit));
                i += digits;
                break;
            }
            default:
                throw Error(u"\\" + Text(1, value[i]) + u" is not an escape (write \\\\ for a backslash)");
        }
    }
    return text;
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
