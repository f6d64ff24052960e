#pragma once

#include "platform/environment.h"

namespace corvanta::win32 {

// GetEnvironmentVariableW over the process's environment block.
class Win32Environment : public Environment {
  public:
    std::optional<Text> Variable(TextView name) const override;
};

}  // namespace corvanta::win32
