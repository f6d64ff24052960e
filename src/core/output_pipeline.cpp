#include "core/output_pipeline.h"

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

void OutputPipeline::SwitchEncoding() {
    if (!pending_code_page_ || *pending_code_page_ == code_page_number_) {
        pending_code_page_.reset();
        return;
    }
    const uint32_t number = *pending_code_page_;
    pending_code_page_.reset();
    std::unique_ptr<AnsiCodePage> code_page;
    if (number != 0 && number != kUtf8CodePage) {
        try {
            code_page = code_pages_.Open(number);
        } catch (const Error&) {
            // Checked when read; uninstalled since then. The ANSI code page is the documented default.
            decoder_.SetCodePage(&ansi_);
            code_page_.reset();
            code_page_number_ = 0;
            return;
        }
    }
    decoder_.SetCodePage(number == kUtf8CodePage ? nullptr : code_page ? code_page.get() : &ansi_);
    code_page_ = std::move(code_page);
    code_page_number_ = number;
}

Text OutputPipeline::Receive(std::string_view bytes) {
    if (!shaper_.InRecord()) {
        SwitchEncoding();
    }
    const Text text = decoder_.Decode(bytes);
    if (text.empty()) {
        return Text();
    }
    Text shaped = Final(Shape(text));
    // Timed even without a prefix or a suffix, where the end types nothing: changed settings wait for it.
    if (shaper_.InRecord()) {
        gap_timer_.Start(shaper_.Settings().record_gap_ms);
    } else {
        gap_timer_.Stop();
    }
    return shaped;
}

Text OutputPipeline::GapElapsed() {
    Text end;
    // The suffix comes after the record's last character: half a character cannot wait for the next record.
    const OutputSettings& settings = shaper_.Settings();
    if (shaper_.InRecord() && !(settings.prefix.empty() && settings.suffix.empty())) {
        end = Shape(decoder_.Flush());
    }
    end += shaper_.EndRecord();
    SwitchEncoding();
    return Final(std::move(end));
}

Text OutputPipeline::Shape(TextView text) {
    Text typed;
    for (const RecordPiece& piece : splitter_.Split(text)) {
        typed +=
            piece.kind == RecordPiece::Kind::kText ? shaper_.Characters(piece.text) : shaper_.LineEnd(piece.text[0]);
    }
    return typed;
}

Text OutputPipeline::Final(Text typed) {
    size_t kept = 0;
    for (const char16_t unit : typed) {
        if (!typed_crlf_.Joins(unit)) {
            typed[kept++] = unit;
        }
    }
    typed.resize(kept);
    return typed;
}

}  // namespace corvanta
