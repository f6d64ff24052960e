#include "core/output_settings_reload.h"

#include <utility>

namespace corvanta {

OutputSettingsReload::OutputSettingsReload(Registry& registry,
                                           const AnsiCodePage& ansi,
                                           const CodePages& code_pages,
                                           RegistryWatch& watch,
                                           std::function<void(const OutputSettings&)> apply,
                                           std::function<void(TextView message)> tell)
    : registry_(registry),
      ansi_(ansi),
      code_pages_(code_pages),
      watch_(watch),
      apply_(std::move(apply)),
      tell_(std::move(tell)) {}

std::optional<Text> OutputSettingsReload::Start() {
    // Watched first, so that no change slips in between the read and the watch.
    watch_.Watch(GroupKeys(kOutputGroup), [this] { OnChange(); });
    Load();
    return refused_.empty() ? std::nullopt : std::optional(RefusalMessage(refused_));
}

bool OutputSettingsReload::Load() {
    OutputSettingsRead read = ReadOutputSettings(registry_, ansi_, code_pages_);
    apply_(read.settings);
    const bool news = refused_ != read.refused;
    refused_ = std::move(read.refused);
    return news;
}

void OutputSettingsReload::OnChange() {
    // A change that refuses nothing new says nothing.
    if (Load() && !refused_.empty()) {
        tell_(RefusalMessage(refused_));
    }
}

}  // namespace corvanta
