#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "common/text.h"
#include "core/mod1_registry.h"
#include "platform/ansi_code_page.h"
#include "platform/registry.h"
#include "platform/registry_watch.h"

namespace corvanta {

// Where a value of a policy group was found.
enum class ValueSource : uint8_t {
    kMachinePolicy,  // HKEY_LOCAL_MACHINE\<policy path>: Group Policy for every user of the computer
    kUserPolicy,     // HKEY_CURRENT_USER\<policy path>: Group Policy for this user
    kUser,           // HKEY_CURRENT_USER\<user path>: the user's own setting
};

// A group of values that a user sets and an administrator may impose by Group Policy, for the whole computer or
// for some users. A policy's value wins over the user's, the computer's over the user policy's.
struct PolicyGroup {
    const char16_t* user_path;    // below HKEY_CURRENT_USER
    const char16_t* policy_path;  // below HKEY_LOCAL_MACHINE and HKEY_CURRENT_USER
};

// A value of a group, as the place that decides it holds it.
struct GroupValue {
    ValueSource source = ValueSource::kUser;
    RegValueRead read;  // kRead or kTooLarge: a value too large to read still decides

    bool FromPolicy() const { return source != ValueSource::kUser; }
};

// The group's keys in the order they are asked (machine policy, user policy, the user's own): what a change
// watch must see.
std::vector<RegKeyPath> GroupKeys(const PolicyGroup& group);

// The value from the first of the group's keys that holds one, and which key that was; nullopt when none does.
// A policy value decides even when its content is refused: the caller falls back to the default, never to a
// value below the policy, which the administrator meant to override.
std::optional<GroupValue> LookUpGroupValue(Registry& registry,
                                           const AnsiCodePage& ansi,
                                           const PolicyGroup& group,
                                           TextView value_name);

}  // namespace corvanta
