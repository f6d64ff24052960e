#include "core/policy_values.h"

#include <utility>

namespace corvanta {

std::vector<RegKeyPath> GroupKeys(const PolicyGroup& group) {
    return {{reg::kHkeyLocalMachine, group.policy_path},
            {reg::kHkeyCurrentUser, group.policy_path},
            {reg::kHkeyCurrentUser, group.user_path}};
}

std::optional<GroupValue> LookUpGroupValue(Registry& registry,
                                           const AnsiCodePage& ansi,
                                           const PolicyGroup& group,
                                           TextView value_name) {
    static constexpr ValueSource kSources[] = {ValueSource::kMachinePolicy, ValueSource::kUserPolicy,
                                               ValueSource::kUser};
    const std::vector<RegKeyPath> keys = GroupKeys(group);
    for (size_t i = 0; i < keys.size(); ++i) {
        RegValueRead read = ReadRegValue(registry, ansi, keys[i].root, keys[i].path, value_name);
        if (read.status != RegValueRead::Status::kMissing) {
            return GroupValue{kSources[i], std::move(read)};
        }
    }
    return std::nullopt;
}

}  // namespace corvanta
