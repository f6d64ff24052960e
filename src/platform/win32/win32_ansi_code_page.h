#pragma once

#include <windows.h>

#include "platform/ansi_code_page.h"

namespace corvanta::win32 {

// The system ANSI code page (CP_ACP), as every ANSI entry point of Windows converts it, or another code page.
class Win32AnsiCodePage : public AnsiCodePage {
  public:
    explicit Win32AnsiCodePage(unsigned code_page = CP_ACP) : code_page_(code_page) {}

    Text ToText(std::string_view ansi) const override;
    std::string ToAnsi(TextView text) const override;
    bool IsLeadByte(unsigned char byte) const override;

    // The code page's number (1252 on Western European systems and under Wine).
    static unsigned CodePage();

  private:
    unsigned code_page_;
};

}  // namespace corvanta::win32
