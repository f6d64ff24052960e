#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <vector>

#include "contract/contract_sides.h"
#include "fakes/fake_environment.h"
#include "platform/environment.h"

#ifdef CORVANTA_HAVE_WIN32
#include <windows.h>

#include "platform/win32/win32_environment.h"
#endif

namespace corvanta {
namespace {

struct EnvironmentBed {
    std::shared_ptr<Environment> environment;
    std::function<void(const Text& name, const Text& value)> set;
};

using Side = contract::Side<EnvironmentBed>;

std::vector<Side> Sides() {
    std::vector<Side> sides = {
        {"Fake", [] {
             auto environment = std::make_shared<FakeEnvironment>();
             return EnvironmentBed{
                 environment, [environment](const Text& name, const Text& value) { environment->Set(name, value); }};
         }}};
#ifdef CORVANTA_HAVE_WIN32
    sides.push_back({"Win32", [] {
                         return EnvironmentBed{
                             std::make_shared<win32::Win32Environment>(), [](const Text& name, const Text& value) {
                                 ASSERT_NE(SetEnvironmentVariableW(reinterpret_cast<const wchar_t*>(name.c_str()),
                                                                   reinterpret_cast<const wchar_t*>(value.c_str())),
                                           FALSE);
                             }};
                     }});
#endif
    return sides;
}

class EnvironmentContract : public ::testing::TestWithParam<Side> {};

// A variable reads back as set, whatever the case of its name and however long its value; one not set is nothing.
TEST_P(EnvironmentContract, VariablesByName) {
    const EnvironmentBed bed = GetParam().make();
    const Text folder = u"C:\\Users\\Ana \u00C9lise\\\u65E5\u672C";
    const Text long_value = Text(2000, u'x') + u"\u00E9";
    bed.set(u"CORVANTA_CONTRACT_FOLDER", folder);
    bed.set(u"CORVANTA_CONTRACT_LONG", long_value);
    const struct {
        const char16_t* name;
        std::optional<Text> value;
    } cases[] = {
        {u"CORVANTA_CONTRACT_FOLDER", folder},
        {u"corvanta_contract_folder", folder},
        {u"CORVANTA_CONTRACT_LONG", long_value},
        {u"CORVANTA_CONTRACT_NOT_SET", std::nullopt},
    };
    for (const auto& c : cases) {
        const std::optional<Text> value = bed.environment->Variable(c.name);
        EXPECT_EQ(value.has_value(), c.value.has_value()) << ToUtf8(c.name);
        if (value && c.value) {
            EXPECT_EQ(ToUtf8(*value), ToUtf8(*c.value)) << ToUtf8(c.name);
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Sides, EnvironmentContract, ::testing::ValuesIn(Sides()), contract::SideName());

}  // namespace
}  // namespace corvanta
