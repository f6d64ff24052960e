#pragma once

#include "common/text.h"

namespace corvanta {

// The system's clipboard, for text.
class Clipboard {
  public:
    virtual ~Clipboard() = default;

    // Puts the text on the clipboard in place of whatever it held, for any program to paste. Throws
    // corvanta::Error, saying why, when the clipboard cannot be had (another program may hold it open).
    virtual void SetText(TextView text) = 0;

    // The text the clipboard holds; empty when it holds none.
    virtual Text GetText() const = 0;
};

}  // namespace corvanta
