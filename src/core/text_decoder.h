#pragma once

#include <string>
#include <string_view>

#include "common/text.h"
#include "platform/ansi_code_page.h"

namespace corvanta {

// Received bytes to text, one read at a time. A character whose bytes are split between two reads is held back
// and decoded whole with the next read.
class TextDecoder {
  public:
    // Decodes with the code page; without one, as UTF-8. The code page must outlive its use here.
    explicit TextDecoder(const AnsiCodePage* code_page) : code_page_(code_page) {}

    // Bytes held back stay and are decoded the new way.
    void SetCodePage(const AnsiCodePage* code_page) { code_page_ = code_page; }

    // The text of what arrived, with the bytes held from the previous read in front. Invalid UTF-8 becomes
    // U+FFFD, one for each maximal ill-formed part, so that bad input stays visible.
    Text Decode(std::string_view bytes);

    // The bytes held back, as the end of the stream: U+FFFD for the incomplete character.
    Text Flush();

  private:
    const AnsiCodePage* code_page_;
    std::string held_;
};

}  // namespace corvanta
