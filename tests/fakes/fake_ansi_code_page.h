#pragma once

#include <map>

#include "platform/ansi_code_page.h"

namespace corvanta {

// Windows-1252 by default, as Windows converts it: the bytes 0x81, 0x8D, 0x8F, 0x90 and 0x9D, which the code
// page leaves unassigned, become the C1 controls of the same value. With double_byte set, a small
// Shift-JIS-like code page: lead bytes 0x81-0x9F and 0xE0-0xFC, ASCII, half-width katakana at 0xA1-0xDF and
// a handful of two-byte characters (kDoubleByteTable); a pair it does not know becomes U+30FB.
class FakeAnsiCodePage : public AnsiCodePage {
  public:
    static const std::map<uint16_t, char16_t> kDoubleByteTable;

    Text ToText(std::string_view ansi) const override;
    std::string ToAnsi(TextView text) const override;
    bool IsLeadByte(unsigned char byte) const override;

    bool double_byte = false;
    // ToText fails as a conversion out of memory would.
    bool fail_to_text = false;
};

}  // namespace corvanta
