#pragma once

#include <functional>
#include <optional>
#include <vector>

#include "common/text.h"
#include "core/output_settings.h"
#include "platform/ansi_code_page.h"
#include "platform/code_pages.h"
#include "platform/registry.h"
#include "platform/registry_watch.h"

namespace corvanta {

// The output values as they stand: read at start and again after every change under their keys, and handed on
// each time. Values that were not used are named in one message, at start and after a change that refuses
// something new.
class OutputSettingsReload {
  public:
    // The services outlive the reload. `apply` takes the settings; `tell` shows a message to the user.
    OutputSettingsReload(Registry& registry,
                         const AnsiCodePage& ansi,
                         const CodePages& code_pages,
                         RegistryWatch& watch,
                         std::function<void(const OutputSettings&)> apply,
                         std::function<void(TextView message)> tell);

    // Watches the keys, then reads the values and hands them on. The message naming the refused values, if any,
    // is the caller's to show where it fits (start-up shows it after the port's).
    std::optional<Text> Start();

  private:
    // Reads and hands on the values; whether the refused ones differ from last time.
    bool Load();
    void OnChange();

    Registry& registry_;
    const AnsiCodePage& ansi_;
    const CodePages& code_pages_;
    RegistryWatch& watch_;
    std::function<void(const OutputSettings&)> apply_;
    std::function<void(TextView)> tell_;
    std::vector<RefusedValue> refused_;
};

}  // namespace corvanta
