#pragma once

#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "common/text.h"
#include "core/extract.h"
#include "core/output_records.h"
#include "core/output_settings.h"
#include "core/record_log.h"
#include "core/repeat_filter.h"
#include "core/text_decoder.h"
#include "platform/ansi_code_page.h"
#include "platform/clock.h"
#include "platform/code_pages.h"
#include "platform/timer.h"

namespace corvanta {

// What became of a record that ended, for its row.
struct RecordEnd {
    // kTyped: its text goes on to be typed; kNoMatch, kRepeat, kTooLong: nothing is typed for it.
    RecordStatus status = RecordStatus::kTyped;
    Text received;  // its bytes, line end included, as the log shows them (ReceivedField)
    Text typed;     // everything typed for it, prefix, suffix and line end included, as the log shows it (TypedField)
    bool operator==(const RecordEnd&) const = default;
};

// One record's share of what the pipeline made of a read or a pause. A record is what comes between two line ends,
// or before the record gap; what is typed for it is all there once it ends.
struct RecordPart {
    Text received;  // its characters in this read, as decoded; the line end is left out
    Text typed;     // what to type for them: the prefix where the record opens; its suffix and line end where it ends
    std::optional<RecordEnd> end;  // where the record ends
    bool operator==(const RecordPart&) const = default;
};

// Received bytes to the text to type: decoded, split into records at line ends and pauses, shaped, and made final:
// every line end is one CR or one LF, any control left in is meant to be typed as itself, so that the keystrokes
// need decide nothing about text. With the default settings the text is the bytes in the ANSI code page, typed as
// soon as they arrive, less the controls without a key of their own and the LF of each CR LF.
//
// With Extract or RepeatGap set, a record is held until it ends instead: its value is picked out (a record longer
// than Extract searches is not typed), a repeat is left out, and only then is it shaped and typed, whole. What the
// pipeline holds of a record is bounded, however long it is.
class OutputPipeline {
  public:
    // The gap timer's handler is the owner's to set: it calls GapElapsed and types what comes back. The clock
    // times repeats.
    OutputPipeline(const AnsiCodePage& ansi, const CodePages& code_pages, Timer& gap_timer, const Clock& clock);

    // New settings, used from the next record on. Settings come checked (ReadSettings): a code page that cannot be
    // opened after all falls back to the ANSI one.
    void SetSettings(const OutputSettings& settings);

    // The records of one read, in order; the last one may go on in the next read. A conversion that fails throws
    // before anything changes, so the same bytes can be given again.
    std::vector<RecordPart> Receive(std::string_view bytes);

    // The record gap has passed without a byte: the end of the open record, if one is open.
    std::vector<RecordPart> GapElapsed();

    // The code page the records are decoded in now, which is also the one for text written to the device (the
    // Monitor's Send box): nullptr for UTF-8. New settings change it once the open record has ended.
    const AnsiCodePage* CodePage() const { return decoding_; }

  private:
    // The decoding of a code page number: its converter, if it needs one of its own.
    struct Encoding {
        std::unique_ptr<AnsiCodePage> converter;
        const AnsiCodePage* decoding = nullptr;  // null: UTF-8
        uint32_t number = 0;
    };
    Encoding Open(uint32_t number) const;
    void Use(Encoding encoding);
    void AdoptPendingSettings();
    void SwitchEncoding();
    // Received text to records; the last one stays open unless the text ends with a line end. The bytes it came
    // from go to the rows of the records they belong to.
    std::vector<RecordPart> Shape(TextView text, std::string_view bytes);
    // Characters of the open record: shaped at once, or held until it ends.
    Text Characters(TextView text);
    // What is typed where the open record ends, before its line end, and what became of it.
    Text Finish(RecordStatus& status);
    // The record's row, once its end is typed; the next record starts afresh.
    RecordEnd EndRow(RecordStatus status);

    const AnsiCodePage& ansi_;
    const CodePages& code_pages_;
    Timer& gap_timer_;
    std::unique_ptr<AnsiCodePage> code_page_;
    uint32_t code_page_number_ = 0;
    std::optional<uint32_t> pending_code_page_;
    // What the bytes are decoded with now, and those of the open record for its row: null for UTF-8.
    const AnsiCodePage* decoding_;
    const AnsiCodePage* row_decoding_;
    // The converter of the open record's row once the bytes after it have one of their own.
    std::unique_ptr<AnsiCodePage> row_code_page_;
    TextDecoder decoder_;
    RecordSplitter splitter_;
    RecordShaper shaper_;
    std::optional<OutputSettings> pending_;

    // The open record: whether one has begun, and its row's bytes and typed text so far.
    bool open_ = false;
    FieldStart<std::string> row_bytes_;
    FieldStart<Text> row_typed_;
    // Whether the last record's line end was typed: the LF of a split CR LF goes with it.
    bool line_end_typed_ = true;

    // Holding whole records (Extract or RepeatGap set), from the start of a record on.
    bool holding_ = false;
    ExtractPattern extract_;
    RepeatFilter repeat_;
    // The held record's text, up to the longest record Extract searches; longer, it is only counted as too long.
    Text held_;
    bool too_long_ = false;
};

}  // namespace corvanta
