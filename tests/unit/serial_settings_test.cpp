#include "common/serial_settings.h"

#include <gtest/gtest.h>

#include <optional>

namespace corvanta {
namespace {

// A port's name as the spooler lists it or the system announces its arrival.
TEST(CommPortNumber, OnlyComFollowedByAPortNumber) {
    struct Case {
        const char16_t* name;
        std::optional<int16_t> number;
    };
    const Case cases[] = {
        {u"COM1", 1},      {u"COM1:", 1},      {u"COM12:", 12},    {u"COM255", 255}, {u"COM32767:", 32767},
        {u"COM32768", {}}, {u"COM99999:", {}}, {u"COM0", {}},      {u"COM01:", {}},  {u"COM", {}},
        {u"COM:", {}},     {u"COM1::", {}},    {u"COM 1", {}},     {u"com1", 1},     {u"COM-1", {}},
        {u"COM1a:", {}},   {u"LPT1:", {}},     {u"COM\u0661", {}}, {u"", {}},        {u"COM123456", {}},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(CommPortNumber(c.name), c.number) << ToUtf8(c.name);
    }
}

}  // namespace
}  // namespace corvanta
