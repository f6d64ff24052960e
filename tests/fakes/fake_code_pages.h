#pragma once

#include "platform/code_pages.h"

namespace corvanta {

// The code pages of FakeAnsiCodePage: 1252 and the Shift-JIS-like double-byte 932. Any other number is unknown.
class FakeCodePages : public CodePages {
  public:
    std::unique_ptr<AnsiCodePage> Open(uint32_t code_page) const override;
    std::vector<Installed> List() const override;
};

}  // namespace corvanta
