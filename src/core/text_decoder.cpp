#include "core/text_decoder.h"

#include <utility>

namespace corvanta {

namespace {

// The number of bytes at the end of `bytes` that start a double-byte character whose trail byte has not come
// yet (0 or 1). Trail bytes can take lead-byte values, so the block is walked from its start, which is always
// a character boundary.
size_t IncompleteTail(const AnsiCodePage& code_page, std::string_view bytes) {
    size_t i = 0;
    while (i < bytes.size()) {
        if (!code_page.IsLeadByte(static_cast<unsigned char>(bytes[i]))) {
            ++i;
        } else if (i + 1 < bytes.size()) {
            i += 2;
        } else {
            return 1;
        }
    }
    return 0;
}

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

// Decodes whole sequences; an incomplete but so far valid sequence at the end is left in `bytes` for later.
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

}  // namespace

Text TextDecoder::Decode(std::string_view bytes) {
    // The held bytes change only once the text is made: a conversion that throws leaves them for the next try.
    std::string all = held_;
    all += bytes;
    if (code_page_ == nullptr) {
        Text text = DecodeUtf8(all);
        held_ = std::move(all);
        return text;
    }
    std::string tail;
    if (IncompleteTail(*code_page_, all) != 0) {
        tail.assign(1, all.back());
        all.pop_back();
    }
    Text text = all.empty() ? Text() : code_page_->ToText(all);
    held_ = std::move(tail);
    return text;
}

Text TextDecoder::Flush() {
    // Held bytes are always the start of a character that never ended.
    return held_.empty() ? Text() : (held_.clear(), Text(u"\uFFFD"));
}

}  // namespace corvanta
