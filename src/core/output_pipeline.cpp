#include "core/output_pipeline.h"

#include <algorithm>
#include <utility>

namespace corvanta {

namespace {

template <typename Unit>
bool IsLineEnd(Unit unit) {
    return unit == '\r' || unit == '\n';
}

}  // namespace

OutputPipeline::OutputPipeline(const AnsiCodePage& ansi,
                               const CodePages& code_pages,
                               Timer& gap_timer,
                               const Clock& clock)
    : ansi_(ansi),
      code_pages_(code_pages),
      gap_timer_(gap_timer),
      decoding_(&ansi),
      row_decoding_(&ansi),
      decoder_(&ansi),
      repeat_(clock) {}

void OutputPipeline::SetSettings(const OutputSettings& settings) {
    pending_ = settings;
    if (!open_) {
        AdoptPendingSettings();
        SwitchEncoding();
    }
}

void OutputPipeline::AdoptPendingSettings() {
    if (!pending_) {
        return;
    }
    shaper_.SetSettings(*pending_);
    pending_code_page_ = pending_->code_page;
    holding_ = !pending_->extract.Empty() || pending_->repeat_gap_ms != 0;
    extract_ = pending_->extract;
    repeat_.SetGap(pending_->repeat_gap_ms);
    pending_.reset();
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
    decoding_ = encoding.decoding;
    // An open record's row keeps the encoding its bytes came in, and with it the converter that may be going.
    if (!open_) {
        row_decoding_ = decoding_;
        row_code_page_.reset();
    } else if (code_page_ && row_decoding_ == code_page_.get()) {
        row_code_page_ = std::move(code_page_);
    }
    decoder_.SetCodePage(decoding_);
    code_page_ = std::move(encoding.converter);
    code_page_number_ = encoding.number;
}

void OutputPipeline::SwitchEncoding() {
    const std::optional<uint32_t> number = std::exchange(pending_code_page_, std::nullopt);
    if (number && *number != code_page_number_) {
        Use(Open(*number));
    }
}

std::vector<RecordPart> OutputPipeline::Receive(std::string_view bytes) {
    if (!open_) {
        AdoptPendingSettings();
        SwitchEncoding();
    }
    // Decoded on a copy, so that a conversion that fails changes nothing and the same bytes can come again.
    TextDecoder decoder = decoder_;
    std::optional<Encoding> next;
    Text text;
    size_t at = 0;
    if (pending_ && pending_->code_page != code_page_number_) {
        // A new encoding starts with the next record, also within this read: after the open one's line end.
        while (at < bytes.size() && (text.empty() || (text.back() != u'\r' && text.back() != u'\n'))) {
            const size_t end = std::min(bytes.find_first_of("\r\n", at), bytes.size() - 1) + 1;
            text += decoder.Decode(bytes.substr(at, end - at));
            at = end;
        }
        if (at < bytes.size()) {
            next = Open(pending_->code_page);
            decoder = TextDecoder(next->decoding);
        }
    }
    text += decoder.Decode(bytes.substr(at));
    decoder_ = decoder;
    if (next) {
        Use(std::move(*next));
    }
    if (text.empty()) {
        // A character's first bytes, held for the next read.
        row_bytes_.Append(bytes.data(), bytes.size());
        return {};
    }
    std::vector<RecordPart> parts = Shape(text, bytes);
    // Timed even without a prefix or a suffix, where the end types nothing: changed settings wait for it.
    if (open_) {
        gap_timer_.Start(shaper_.Settings().record_gap_ms);
    } else {
        gap_timer_.Stop();
    }
    return parts;
}

std::vector<RecordPart> OutputPipeline::GapElapsed() {
    std::vector<RecordPart> parts;
    if (open_) {
        // The suffix comes after the record's last character, and a held record is searched whole: half a character
        // cannot wait for the next record.
        const OutputSettings& settings = shaper_.Settings();
        if (holding_ || !(settings.prefix.empty() && settings.suffix.empty())) {
            parts = Shape(decoder_.Flush(), {});
        }
        if (parts.empty()) {
            parts.emplace_back();
        }
        RecordStatus status = RecordStatus::kTyped;
        Text typed = Finish(status);
        if (status == RecordStatus::kTyped) {
            typed += shaper_.EndRecord();
        }
        row_typed_.Append(typed);
        parts.back().typed += typed;
        parts.back().end = EndRow(status);
    }
    AdoptPendingSettings();
    SwitchEncoding();
    return parts;
}

std::vector<RecordPart> OutputPipeline::Shape(TextView text, std::string_view bytes) {
    // A record's bytes end with the CR or LF byte of its line end. A code page that reads such a byte as part of
    // another character (never one of a device's usual encodings) leaves the read's bytes to the record open at its
    // start, rather than to a wrong one.
    const bool cut = std::count_if(text.begin(), text.end(), IsLineEnd<char16_t>) ==
                     std::count_if(bytes.begin(), bytes.end(), IsLineEnd<char>);
    size_t byte_start = 0;
    if (!cut) {
        row_bytes_.Append(bytes.data(), bytes.size());
        byte_start = bytes.size();
    }
    // The bytes from where the last record's ended through the next `count` line-end bytes.
    const auto through_line_ends = [&](size_t count) {
        size_t end = byte_start;
        while (count > 0 && end < bytes.size()) {
            count -= IsLineEnd(bytes[end++]) ? 1 : 0;
        }
        const std::string_view taken = bytes.substr(byte_start, end - byte_start);
        byte_start = end;
        return taken;
    };

    std::vector<RecordPart> parts;
    RecordPart part;
    for (const RecordPiece& piece : splitter_.Split(text)) {
        switch (piece.kind) {
            case RecordPiece::Kind::kText:
                open_ = true;
                part.received += piece.text;
                part.typed += Characters(piece.text);
                break;
            case RecordPiece::Kind::kLineEnd: {
                open_ = true;
                const std::string_view taken = through_line_ends(piece.text.size());
                row_bytes_.Append(taken.data(), taken.size());
                RecordStatus status = RecordStatus::kTyped;
                Text typed = Finish(status);
                if (status == RecordStatus::kTyped) {
                    typed += shaper_.LineEnd(piece.text);
                }
                line_end_typed_ = status == RecordStatus::kTyped;
                row_typed_.Append(typed);
                part.typed += typed;
                part.end = EndRow(status);
                parts.push_back(std::exchange(part, {}));
                // The next record takes new settings; the encoding changes once the read's text is through.
                AdoptPendingSettings();
                break;
            }
            case RecordPiece::Kind::kLineEndRest:
                // Part of the line end before it: its byte and its text go with that record, which has ended.
                through_line_ends(1);
                if (line_end_typed_) {
                    part.typed += shaper_.LineEndRest();
                }
                break;
        }
    }
    const std::string_view rest = bytes.substr(byte_start);
    row_bytes_.Append(rest.data(), rest.size());
    // The LF of a split CR LF alone leaves nothing to type and nothing to tell.
    if (!part.received.empty() || !part.typed.empty()) {
        parts.push_back(std::move(part));
    }
    return parts;
}

Text OutputPipeline::Characters(TextView text) {
    if (!holding_) {
        Text typed = shaper_.Characters(text);
        row_typed_.Append(typed);
        return typed;
    }
    if (!too_long_) {
        if (held_.size() + text.size() > kMaxSearchedRecord) {
            too_long_ = true;
            Text().swap(held_);
        } else {
            held_ += text;
        }
    }
    return {};
}

Text OutputPipeline::Finish(RecordStatus& status) {
    status = RecordStatus::kTyped;
    if (!holding_) {
        return {};
    }
    Text typed;
    const Extracted extracted = too_long_ ? Extracted{ExtractOutcome::kTooLong, {}} : extract_.Apply(held_);
    if (extracted.outcome == ExtractOutcome::kTooLong) {
        status = RecordStatus::kTooLong;
    } else if (extracted.outcome == ExtractOutcome::kNoMatch) {
        status = RecordStatus::kNoMatch;
    } else if (repeat_.IsRepeat(extracted.kept)) {
        status = RecordStatus::kRepeat;
    } else {
        typed = shaper_.Characters(extracted.kept);
    }
    held_.clear();
    too_long_ = false;
    return typed;
}

RecordEnd OutputPipeline::EndRow(RecordStatus status) {
    RecordEnd end{status, ReceivedField(row_bytes_.Kept(), row_decoding_, row_bytes_.Total()),
                  TypedField(row_typed_.Kept(), row_typed_.Total())};
    row_bytes_.Clear();
    row_typed_.Clear();
    open_ = false;
    row_decoding_ = decoding_;
    row_code_page_.reset();
    return end;
}

}  // namespace corvanta
