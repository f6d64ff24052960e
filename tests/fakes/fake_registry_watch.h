#pragma once

#include <functional>
#include <utility>
#include <vector>

#include "platform/registry_watch.h"

namespace corvanta {

// Remembers what is watched; a test calls Change where the message loop would deliver a change.
class FakeRegistryWatch : public RegistryWatch {
  public:
    void Watch(std::vector<RegKeyPath> watched, std::function<void()> on_change) override {
        keys = std::move(watched);
        on_change_ = std::move(on_change);
    }

    void Change() {
        if (on_change_) {
            on_change_();
        }
    }

    std::vector<RegKeyPath> keys;

  private:
    std::function<void()> on_change_;
};

}  // namespace corvanta
