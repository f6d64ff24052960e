#pragma once

#include <functional>
#include <vector>

#include "common/text.h"
#include "platform/registry.h"

namespace corvanta {

// A registry key by its root and its path below the root.
struct RegKeyPath {
    RegKey root = reg::kNoKey;
    Text path;
};

// Tells the UI thread when something below one of a few registry keys changes: a value set or deleted, the key
// created or removed. Changes close together may come as one call.
class RegistryWatch {
  public:
    virtual ~RegistryWatch() = default;

    // Starts watching the keys, those that do not exist yet included; replaces an earlier watch. Any change made
    // after Watch returns is reported. on_change runs on the UI thread from its message loop, never inside Watch.
    virtual void Watch(std::vector<RegKeyPath> keys, std::function<void()> on_change) = 0;
};

}  // namespace corvanta
