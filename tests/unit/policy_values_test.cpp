#include "core/policy_values.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "fakes/fake_ansi_code_page.h"
#include "fakes/fake_registry.h"

namespace corvanta {
namespace {

constexpr PolicyGroup kGroup{u"Software\\Corvanta\\Request", u"Software\\Policies\\Corvanta\\Request"};
const std::string kUserPath = "Software\\Corvanta\\Request";
const std::string kPolicyPath = "Software\\Policies\\Corvanta\\Request";

// A value is taken from the computer's policy, else the user's policy, else the user's own key; the place that
// holds it decides, even with a value too large to read. The lookup only reads (a user may not write HKLM).
TEST(PolicyGroup, FirstPlaceThatHoldsTheValueDecides) {
    using Status = RegValueRead::Status;
    const std::string big(reg::kMaxValueBytes + 1, 'x');
    const struct {
        const char* label;
        std::optional<std::string> machine_policy, user_policy, user;
        std::optional<ValueSource> source;
        std::string data;
        Status status = Status::kRead;
    } cases[] = {
        {"nowhere", {}, {}, {}, std::nullopt, ""},
        {"the user's own", {}, {}, "u", ValueSource::kUser, "u"},
        {"user policy over the user's", {}, "p", "u", ValueSource::kUserPolicy, "p"},
        {"computer policy over both", "m", "p", "u", ValueSource::kMachinePolicy, "m"},
        {"computer policy alone", "m", {}, {}, ValueSource::kMachinePolicy, "m"},
        {"an empty policy value decides", {}, "", "u", ValueSource::kUserPolicy, ""},
        {"a policy too large still decides", big, {}, "u", ValueSource::kMachinePolicy, "", Status::kTooLarge},
    };
    FakeAnsiCodePage ansi;
    for (const auto& c : cases) {
        FakeRegistry registry;
        registry.refuse_machine_writes = true;
        for (const auto& [root, path, data] : {std::tuple{reg::kHkeyLocalMachine, kPolicyPath, c.machine_policy},
                                               std::tuple{reg::kHkeyCurrentUser, kPolicyPath, c.user_policy},
                                               std::tuple{reg::kHkeyCurrentUser, kUserPath, c.user}}) {
            registry.Put(root, path, "Other", reg::kRegSz, "o");
            if (data) {
                registry.Put(root, path, "Value", reg::kRegSz, *data);
            }
        }
        const std::optional<GroupValue> found = LookUpGroupValue(registry, ansi, kGroup, u"Value");
        ASSERT_EQ(found.has_value(), c.source.has_value()) << c.label;
        if (found) {
            EXPECT_EQ(found->source, *c.source) << c.label;
            EXPECT_EQ(found->FromPolicy(), *c.source != ValueSource::kUser) << c.label;
            EXPECT_EQ(found->read.status, c.status) << c.label;
            EXPECT_EQ(found->read.value.data, c.data) << c.label;
        }
        EXPECT_EQ(registry.OpenKeyCount(), 0u) << c.label;
    }
}

// A change in any of the three places must reach the program: the watch gets all of them.
TEST(PolicyGroup, KeysToWatchAreTheThreePlaces) {
    const std::vector<RegKeyPath> keys = GroupKeys(kGroup);
    ASSERT_EQ(keys.size(), 3u);
    EXPECT_EQ(keys[0].root, reg::kHkeyLocalMachine);
    EXPECT_EQ(keys[0].path, kGroup.policy_path);
    EXPECT_EQ(keys[1].root, reg::kHkeyCurrentUser);
    EXPECT_EQ(keys[1].path, kGroup.policy_path);
    EXPECT_EQ(keys[2].root, reg::kHkeyCurrentUser);
    EXPECT_EQ(keys[2].path, kGroup.user_path);
}

}  // namespace
}  // namespace corvanta
