#include "core/output_pipeline.h"

#include <algorithm>
#include <utility>

namespace corvanta {

OutputPipeline::OutputPipeline(const AnsiCodePage& ansi, const CodePages& code_pages, Timer& gap_timer)
    : ansi_(ansi), code_pages_(code_pages), gap_timer_(gap_timer), decoder_(&ansi) {}

void OutputPipeline::SetSettings(const OutputSettings& settings) {
    shaper_.SetSettings(settings);
    pending_code_page_ = settings.code_page;
    if (!shaper_.InRecord()) {
        SwitchEncoding();
    }
}

OutputPipeline::Encoding OutputPipeline::Open(uint32_t number) const {
    Encoding encoding;
    encoding.number = number;
    if (number == kUtf8CodePage) {
        return encoding;
    }
    if (number != 0) {
        try {
            encoding.converter = code_pages_.Open(number);
        } catch (const Error&) {
            // Checked when read; uninstalled since then. The ANSI code page is the documented default.
            encoding.number = 0;
        }
    }
    encoding.decoding = encoding.converter ? encoding.converter.get() : &ansi_;
    return encoding;
}

void OutputPipeline::Use(Encoding encoding) {
    decoder_.SetCodePage(encoding.decoding);
    code_page_ = std::move(encoding.converter);
    code_page_number_ = encoding.number;
}

void OutputPipeline::SwitchEncoding() {
    const std::optional<uint32_t> number = std::exchange(pending_code_page_, std::nullopt);
    if (number && *number != code_page_number_) {
        Use(Open(*number));
    }
}

const AnsiCodePage* OutputPipeline::CodePage() const {
    if (code_page_number_ == kUtf8CodePage) {
        return nullptr;
    }
    return code_page_ ? code_page_.get() : &ansi_;
}

std::vector<RecordPart> OutputPipeline::Receive(std::string_view bytes) {
    if (!shaper_.InRecord()) {
        SwitchEncoding();
    }
    // Decoded on a copy, so that a conversion that fails changes nothing and the same bytes can come again.
    TextDecoder decoder = decoder_;
    std::optional<Encoding> next;
    Text text;
    size_t at = 0;
    if (pending_code_page_ && *pending_code_page_ != code_page_number_) {
        // The new encoding starts with the next record, also within this read: after the open one's line end.
        while (at < bytes.size() && (text.empty() || (text.back() != u'\r' && text.back() != u'\n'))) {
            const size_t end = std::min(bytes.find_first_of("\r\n", at), bytes.size() - 1) + 1;
            text += decoder.Decode(bytes.substr(at, end - at));
            at = end;
        }
        if (at < bytes.size()) {
            next = Open(*pending_code_page_);
            decoder = TextDecoder(next->decoding);
        }
    }
    text += decoder.Decode(bytes.substr(at));
    decoder_ = decoder;
    if (next) {
        pending_code_page_.reset();
        Use(std::move(*next));
    }
    if (text.empty()) {
        return {};
    }
    std::vector<RecordPart> parts = Shape(text);
    // Timed even without a prefix or a suffix, where the end types nothing: changed settings wait for it.
    if (shaper_.InRecord()) {
        gap_timer_.Start(shaper_.Settings().record_gap_ms);
    } else {
        gap_timer_.Stop();
    }
    return parts;
}

std::vector<RecordPart> OutputPipeline::GapElapsed() {
    std::vector<RecordPart> parts;
    // The suffix comes after the record's last character: half a character cannot wait for the next record.
    const OutputSettings& settings = shaper_.Settings();
    if (shaper_.InRecord() && !(settings.prefix.empty() && settings.suffix.empty())) {
        parts = Shape(decoder_.Flush());
    }
    if (shaper_.InRecord()) {
        if (parts.empty()) {
            parts.emplace_back();
        }
        parts.back().typed += shaper_.EndRecord();
        parts.back().ends = true;
    }
    SwitchEncoding();
    return parts;
}

std::vector<RecordPart> OutputPipeline::Shape(TextView text) {
    std::vector<RecordPart> parts;
    RecordPart part;
    for (const RecordPiece& piece : splitter_.Split(text)) {
        switch (piece.kind) {
            case RecordPiece::Kind::kText:
                part.received += piece.text;
                part.typed += shaper_.Characters(piece.text);
                break;
            case RecordPiece::Kind::kLineEnd:
                part.typed += shaper_.LineEnd(piece.text);
                part.ends = true;
                parts.push_back(std::exchange(part, {}));
                break;
            case RecordPiece::Kind::kLineEndRest:
                // Part of the line end before it: it ends no record of its own.
                part.typed += shaper_.LineEndRest();
                break;
        }
    }
    // The LF of a split CR LF alone leaves nothing to type and nothing to tell.
    if (!part.received.empty() || !part.typed.empty()) {
        parts.push_back(std::move(part));
    }
    return parts;
}

}  // namespace corvanta
