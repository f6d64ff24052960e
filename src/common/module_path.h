#pragma once

#include "common/text.h"

namespace corvanta {

struct ModulePathParts {
    Text path;
    Text exe_name;
};

// Splits the full path of an executable as the system reports it into folder and name without extension.
ModulePathParts SplitModulePath(TextView module_path);

}  // namespace corvanta
