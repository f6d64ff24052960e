#include "core/settings_reload.h"

#include <utility>

namespace corvanta {

SettingsReload::SettingsReload(Registry& registry,
                               ValueContext context,
                               RegistryWatch& watch,
                               std::function<std::vector<RefusedValue>(const ProgramSettings&)> apply,
                               std::function<void(TextView message)> tell)
    : registry_(registry), context_(context), watch_(watch), apply_(std::move(apply)), tell_(std::move(tell)) {}

std::optional<Text> SettingsReload::Start() {
    // Watched first, so that no change slips in between the read and the watch.
    watch_.Watch(SettingsKeys(), [this] { OnChange(); });
    Load();
    return refused_.empty() ? std::nullopt : std::optional(RefusalMessage(refused_));
}

bool SettingsReload::Load() {
    SettingsRead read = ReadSettings(registry_, context_);
    for (RefusedValue& unused : apply_(read.settings)) {
        read.refused.push_back(std::move(unused));
    }
    const bool news = refused_ != read.refused;
    refused_ = std::move(read.refused);
    return news;
}

void SettingsReload::OnChange() {
    // A change that refuses nothing new says nothing.
    if (Load() && !refused_.empty()) {
        tell_(RefusalMessage(refused_));
    }
}

}  // namespace corvanta
