#pragma once

#include "common/text.h"

namespace corvanta {

// Where the running executable lies.
class AppInfo {
  public:
    virtual ~AppInfo() = default;

    // The executable's folder: no trailing backslash, except at a drive's root ("C:\").
    virtual Text Path() const = 0;
    // The executable's file name without its extension.
    virtual Text EXEName() const = 0;
};

}  // namespace corvanta
