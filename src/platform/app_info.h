#pragma once

#include "platform/text.h"

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

struct ModulePathParts {
    Text path;
    Text exe_name;
};

// Splits the full path of an executable as the system reports it into folder and name without extension.
ModulePathParts SplitModulePath(TextView module_path);

}  // namespace corvanta
