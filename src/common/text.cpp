#include "common/text.h"

namespace corvanta {

Text AsciiText(std::string_view ascii) {
    Text text;
    text.reserve(ascii.size());
    for (char c : ascii) {
        text.push_back(static_cast<char16_t>(static_cast<unsigned char>(c)));
    }
    return text;
}

std::string ToUtf8(TextView text) {
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        char32_t cp = text[i];
        if (IsHighSurrogate(text[i]) && i + 1 < text.size() && IsLowSurrogate(text[i + 1])) {
            cp = 0x10000 + ((cp - 0xD800) << 10) + (text[i + 1] - 0xDC00);
            ++i;
        } else if (IsHighSurrogate(text[i]) || IsLowSurrogate(text[i])) {
            cp = 0xFFFD;
        }
        if (cp < 0x80) {
            out.push_back(static_cast<char>(cp));
        } else if (cp < 0x800) {
            out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
            out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
        } else if (cp < 0x10000) {
            out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
            out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
        } else {
            out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
            out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
        }
    }
    return out;
}

namespace {

// A UTF-8 lead byte: the length of its sequence (0: not a lead byte) and the range its second byte must be in,
// which rules out overlong forms, surrogates and code points above U+10FFFF.
struct Utf8Lead {
    size_t length;
    unsigned char low;
    unsigned char high;
};

Utf8Lead LeadOf(unsigned char byte) {
    if (byte < 0x80) {
        return {1, 0, 0};
    }
    if (byte >= 0xC2 && byte <= 0xDF) {
        return {2, 0x80, 0xBF};
    }
    if (byte == 0xE0) {
        return {3, 0xA0, 0xBF};
    }
    if (byte == 0xED) {
        return {3, 0x80, 0x9F};
    }
    if (byte >= 0xE1 && byte <= 0xEF) {
        return {3, 0x80, 0xBF};
    }
    if (byte == 0xF0) {
        return {4, 0x90, 0xBF};
    }
    if (byte >= 0xF1 && byte <= 0xF3) {
        return {4, 0x80, 0xBF};
    }
    if (byte == 0xF4) {
        return {4, 0x80, 0x8F};
    }
    return {0, 0, 0};
}

}  // namespace

Text DecodeUtf8(std::string& bytes) {
    Text text;
    text.reserve(bytes.size());
    size_t i = 0;
    while (i < bytes.size()) {
        const auto byte = static_cast<unsigned char>(bytes[i]);
        const Utf8Lead lead = LeadOf(byte);
        if (lead.length == 1) {
            text.push_back(byte);
            ++i;
            continue;
        }
        if (lead.length == 0) {
            text.push_back(u'\uFFFD');
            ++i;
            continue;
        }
        size_t valid = 1;
        char32_t code_point = byte & (0xFFu >> (lead.length + 1));
        while (valid < lead.length && i + valid < bytes.size()) {
            const auto next = static_cast<unsigned char>(bytes[i + valid]);
            const bool in_range = valid == 1 ? next >= lead.low && next <= lead.high : (next & 0xC0) == 0x80;
            if (!in_range) {
                break;
            }
            code_point = code_point << 6 | (next & 0x3Fu);
            ++valid;
        }
        if (valid < lead.length && i + valid == bytes.size()) {
            break;
        }
        i += valid;
        if (valid < lead.length) {
            text.push_back(u'\uFFFD');
        } else if (code_point >= 0x10000) {
            code_point -= 0x10000;
            text.push_back(static_cast<char16_t>(0xD800 + (code_point >> 10)));
            text.push_back(static_cast<char16_t>(0xDC00 + (code_point & 0x3FF)));
        } else {
            text.push_back(static_cast<char16_t>(code_point));
        }
    }
    bytes.erase(0, i);
    return text;
}

size_t Utf8SequenceLength(std::string_view bytes) {
    if (bytes.empty()) {
        return 0;
    }
    const Utf8Lead lead = LeadOf(static_cast<unsigned char>(bytes[0]));
    if (lead.length == 0 || bytes.size() < lead.length) {
        return 0;
    }
    for (size_t k = 1; k < lead.length; ++k) {
        const auto next = static_cast<unsigned char>(bytes[k]);
        if (k == 1 ? next < lead.low || next > lead.high : (next & 0xC0) != 0x80) {
            return 0;
        }
    }
    return lead.length;
}

Text FromUtf8(std::string_view utf8) {
    std::string bytes(utf8);
    Text text = DecodeUtf8(bytes);
    // What is left is the start of a sequence that never ended.
    if (!bytes.empty()) {
        text.push_back(u'\uFFFD');
    }
    return text;
}

bool IsOtherControl(char16_t unit) {
    const bool keyed = unit == u'\r' || unit == u'\n' || unit == u'\t' || unit == u'\b' || unit == u'\x1B';
    return !keyed && (unit < 0x20 || (unit >= 0x7F && unit <= 0x9F));
}

Text TrimBlanks(TextView text) {
    size_t begin = 0;
    size_t end = text.size();
    while (begin < end && text[begin] == u' ') {
        ++begin;
    }
    while (end > begin && text[end - 1] == u' ') {
        --end;
    }
    return Text(text.substr(begin, end - begin));
}

char16_t AsciiLower(char16_t unit) {
    return unit >= u'A' && unit <= u'Z' ? static_cast<char16_t>(unit - u'A' + u'a') : unit;
}

bool EqualIgnoringAsciiCase(TextView a, TextView b) {
    if (a.size() != b.size()) {
        return false;
    }
    for (size_t i = 0; i < a.size(); ++i) {
        if (AsciiLower(a[i]) != AsciiLower(b[i])) {
            return false;
        }
    }
    return true;
}

Error::Error(Text description) : description_(std::move(description)), utf8_(ToUtf8(description_)) {}

}  // namespace corvanta
