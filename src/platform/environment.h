#pragma once

#include <optional>

#include "common/text.h"

namespace corvanta {

// The process's environment variables, looked up by name as Windows does: case does not matter.
class Environment {
  public:
    virtual ~Environment() = default;

    // The variable's value, or nothing when it is not set.
    virtual std::optional<Text> Variable(TextView name) const = 0;
};

}  // namespace corvanta
