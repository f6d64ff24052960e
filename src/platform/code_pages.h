#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "common/text.h"
#include "platform/ansi_code_page.h"

namespace corvanta {

// Conversion with a code page named by its number, for devices that send text in another code page than the
// system's ANSI one.
class CodePages {
  public:
    virtual ~CodePages() = default;

    // A converter for the code page. Throws Error saying why when the system cannot convert with it (unknown or
    // not installed), or when its characters can be longer than two bytes: a character split between two reads
    // is only held back whole for single- and double-byte code pages.
    virtual std::unique_ptr<AnsiCodePage> Open(uint32_t code_page) const = 0;

    struct Installed {
        uint32_t number;
        Text name;  // the system's name for it, such as "1252  (ANSI - Latin I)"; the number alone when it has none
        bool operator==(const Installed&) const = default;
    };
    // Every code page Open takes, by rising number (UTF-8 is none of them).
    virtual std::vector<Installed> List() const = 0;
};

}  // namespace corvanta
