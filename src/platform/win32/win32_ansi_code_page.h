#pragma once

#include "platform/ansi_code_page.h"

namespace corvanta::win32 {

// The system ANSI code page (CP_ACP), as every ANSI entry point of Windows converts it.
class Win32AnsiCodePage : public AnsiCodePage {
  public:
    Text ToText(std::string_view ansi) const override;
    std::string ToAnsi(TextView text) const override;
    bool IsLeadByte(unsigned char byte) const override;

    // The code page's number (1252 on Western European systems and under Wine).
    static unsigned CodePage();
};

}  // namespace corvanta::win32
