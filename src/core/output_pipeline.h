#pragma once

#include <memory>
#include <optional>
#include <string_view>
#include <vector>

#include "common/text.h"
#include "core/output_records.h"
#include "core/output_settings.h"
#include "core/text_decoder.h"
#include "platform/ansi_code_page.h"
#include "platform/code_pages.h"
#include "platform/timer.h"

namespace corvanta {

// One record's share of what the pipeline made of a read or a pause. A record is what comes between two line ends,
// or before the record gap; what is typed for it is all there once it ends.
struct RecordPart {
    Text received;  // its characters in this read, as decoded; the line end is left out
    Text typed;     // what to type for them: the prefix where the record opens; its suffix and line end where it ends
    bool ends = false;
    bool operator==(const RecordPart&) const = default;
};

// Received bytes to the text to type: decoded, split into records at line ends and pauses, shaped, and made final:
// every line end is one CR or one LF, any control left in is meant to be typed as itself, so that the keystrokes
// need decide nothing about text. With the default settings the text is the bytes in the ANSI code page, typed as
// soon as they arrive, less the controls without a key of their own and the LF of each CR LF.
class OutputPipeline {
  public:
    // The gap timer's handler is the owner's to set: it calls GapElapsed and types what comes back.
    OutputPipeline(const AnsiCodePage& ansi, const CodePages& code_pages, Timer& gap_timer);

    // New settings, used from the next record on. Settings come checked (ReadOutputSettings): a code page that
    // cannot be opened after all falls back to the ANSI one.
    void SetSettings(const OutputSettings& settings);

    // The records of one read, in order; the last one may go on in the next read.
    std::vector<RecordPart> Receive(std::string_view bytes);

    // The record gap has passed without a byte: the end of the open record, if one is open.
    std::vector<RecordPart> GapElapsed();

    // The code page the records are decoded in now, which is also the one for text written to the device (the
    // Monitor's Send box): nullptr for UTF-8. New settings change it once the open record has ended.
    const AnsiCodePage* CodePage() const;

  private:
    // The decoding of a code page number: its converter, if it needs one of its own.
    struct Encoding {
        std::unique_ptr<AnsiCodePage> converter;
        const AnsiCodePage* decoding = nullptr;  // null: UTF-8
        uint32_t number = 0;
    };
    Encoding Open(uint32_t number) const;
    void Use(Encoding encoding);
    void SwitchEncoding();
    // Received text to records; the last one stays open unless the text ends with a line end.
    std::vector<RecordPart> Shape(TextView text);

    const AnsiCodePage& ansi_;
    const CodePages& code_pages_;
    Timer& gap_timer_;
    std::unique_ptr<AnsiCodePage> code_page_;
    uint32_t code_page_number_ = 0;
    std::optional<uint32_t> pending_code_page_;
    TextDecoder decoder_;
    RecordSplitter splitter_;
    RecordShaper shaper_;
};

}  // namespace corvanta
