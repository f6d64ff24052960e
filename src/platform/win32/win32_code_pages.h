#pragma once

#include "platform/code_pages.h"

namespace corvanta::win32 {

// Code pages through MultiByteToWideChar, checked with IsValidCodePage and GetCPInfoEx.
class Win32CodePages : public CodePages {
  public:
    std::unique_ptr<AnsiCodePage> Open(uint32_t code_page) const override;
    std::vector<Installed> List() const override;
};

}  // namespace corvanta::win32
