#pragma once

#include <functional>
#include <optional>
#include <vector>

#include "common/text.h"
#include "core/settings_model.h"
#include "platform/registry.h"
#include "platform/registry_watch.h"

namespace corvanta {

// The Output and Request values as they stand: read at start and again after every change under their keys, and
// handed on each time. Values that were not used are named in one message, at start and after a change that
// refuses something new.
class SettingsReload {
  public:
    // The services outlive the reload. `apply` takes the settings and returns what of them could not be put to use
    // (a hotkey another program holds), which is named with the refused values; `tell` shows a message to the user.
    SettingsReload(Registry& registry,
                   ValueContext context,
                   RegistryWatch& watch,
                   std::function<std::vector<RefusedValue>(const ProgramSettings&)> apply,
                   std::function<void(TextView message)> tell);

    // Watches the keys, then reads the values and hands them on. The message naming the refused values, if any,
    // is the caller's to show where it fits (start-up shows it after the port's).
    std::optional<Text> Start();

  private:
    // Reads and hands on the values; whether the refused ones differ from last time.
    bool Load();
    void OnChange();

    Registry& registry_;
    ValueContext context_;
    RegistryWatch& watch_;
    std::function<std::vector<RefusedValue>(const ProgramSettings&)> apply_;
    std::function<void(TextView)> tell_;
    std::vector<RefusedValue> refused_;
};

}  // namespace corvanta
