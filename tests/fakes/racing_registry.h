#pragma once

#include <optional>
#include <string>

#include "fakes/fake_registry.h"

namespace corvanta {

// The fake registry, in which another program rewrites one value right after the next size-only query (a
// RegQueryValueExA without a data buffer): the moment between a two-call read's size query and its read.
class RacingRegistry : public FakeRegistry {
  public:
    void RewriteAfterSizeQuery(RegKey root, std::string path, std::string name, Value next) {
        pending_ = Rewrite{root, std::move(path), std::move(name), std::move(next)};
    }

    long RegQueryValueExA(RegKey key,
                          const std::string& value_name,
                          uint32_t* reserved,
                          uint32_t* type,
                          char* data,
                          uint32_t* size) override {
        const long result = FakeRegistry::RegQueryValueExA(key, value_name, reserved, type, data, size);
        if (data == nullptr && pending_) {
            Put(pending_->root, pending_->path, pending_->name, pending_->value.type, pending_->value.data);
            pending_.reset();
        }
        return result;
    }

  private:
    struct Rewrite {
        RegKey root;
        std::string path;
        std::string name;
        Value value;
    };
    std::optional<Rewrite> pending_;
};

}  // namespace corvanta
