#include <gtest/gtest.h>

#include <string>

#include "common/identity.h"
#include "core/auto_start.h"
#include "core/mod1_registry.h"
#include "fakes/fake_ansi_code_page.h"
#include "fakes/racing_registry.h"

namespace corvanta {
namespace {

const std::string kRun = "Software\\Microsoft\\Windows\\CurrentVersion\\Run";
const std::string kName = "Corvanta";

// What counts is the value as the read finds it: a value that stopped being a string reads as "", one that grew
// past the buffer too, and a shorter string reads as itself, without the blanks of the unused buffer.
TEST(RegReadStringRace, ReadsTheValueAsTheReadFindsIt) {
    struct {
        const char* label;
        FakeRegistry::Value next;
        Text expected;
    } cases[] = {
        {"now binary", {reg::kRegBinary, "\x01\x02"}, u""},
        {"now a number", {reg::kRegDword, std::string("\x2A\0\0\0", 4)}, u""},
        {"now expandable", {reg::kRegExpandSz, std::string("%A%\0", 4)}, u""},
        {"grown", {reg::kRegSz, std::string("C:\\a much longer path\\x.exe\0", 28)}, u""},
        {"shorter", {reg::kRegSz, std::string("C:\\y\0", 5)}, u"C:\\y"},
        {"shorter without NUL", {reg::kRegSz, "C:\\y"}, u"C:\\y"},
    };
    FakeAnsiCodePage ansi;
    for (const auto& c : cases) {
        RacingRegistry registry;
        registry.Put(reg::kHkeyLocalMachine, kRun, kName, reg::kRegSz, std::string("C:\\x.exe\0", 9));
        registry.RewriteAfterSizeQuery(reg::kHkeyLocalMachine, kRun, kName, c.next);
        EXPECT_EQ(RegReadString(registry, ansi, kRunKeyRoot, kRunKeyPath, kAppTitle), c.expected) << c.label;
        EXPECT_EQ(registry.OpenKeyCount(), 0u) << c.label;
    }
}

}  // namespace
}  // namespace corvanta
