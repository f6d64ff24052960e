#pragma once

#include <memory>
#include <string_view>

#include "common/text.h"
#include "core/output_records.h"
#include "core/output_settings.h"
#include "core/text_decoder.h"
#include "platform/ansi_code_page.h"
#include "platform/code_pages.h"
#include "platform/timer.h"

namespace corvanta {

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

    // The text to type for one read.
    Text Receive(std::string_view bytes);

    // The record gap has passed without a byte: what ends the open record.
    Text GapElapsed();

  private:
    void SwitchEncoding();
    // Received text to typed text, record by record.
    Text Shape(TextView text);
    // The typed text as it goes out: CR LF is one line end here too, also where a prefix, a suffix, a line end or
    // a replacement from the settings brings the two together.
    Text Final(Text typed);

    const AnsiCodePage& ansi_;
    const CodePages& code_pages_;
    Timer& gap_timer_;
    std::unique_ptr<AnsiCodePage> code_page_;
    uint32_t code_page_number_ = 0;
    std::optional<uint32_t> pending_code_page_;
    TextDecoder decoder_;
    RecordSplitter splitter_;
    RecordShaper shaper_;
    CrLfJoin typed_crlf_;
};

}  // namespace corvanta
