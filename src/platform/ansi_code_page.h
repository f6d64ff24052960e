#pragma once

#include <string>
#include <string_view>

#include "common/text.h"

namespace corvanta {

// Conversion between program text and the system ANSI code page, as every ANSI entry point of Windows sees it.
class AnsiCodePage {
  public:
    virtual ~AnsiCodePage() = default;

    // Bytes in the ANSI code page to text. A lead byte without its trail byte at the end becomes U+FFFD;
    // callers that read in pieces hold such a byte back first (see IsLeadByte).
    virtual Text ToText(std::string_view ansi) const = 0;

    // Text to ANSI bytes; characters the code page lacks become its default character ("?").
    virtual std::string ToAnsi(TextView text) const = 0;

    // True when the byte starts a two-byte character in this code page (never in single-byte code pages).
    virtual bool IsLeadByte(unsigned char byte) const = 0;
};

}  // namespace corvanta
