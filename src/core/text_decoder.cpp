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
