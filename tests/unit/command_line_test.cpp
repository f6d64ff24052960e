#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "core/command_line.h"
#include "fakes/fake_ansi_code_page.h"
#include "fakes/fake_app_info.h"
#include "fakes/fake_registry.h"

namespace corvanta {
namespace {

// Installers call these switches; a near miss must not start the tray program or do another switch's work.
TEST(StartCommandLine, ParsesSwitches) {
    using C = StartCommand;
    struct {
        std::vector<Text> arguments;
        std::optional<StartCommand> expected;
    } cases[] = {
        {{}, C::kRun},
        {{u"/exit"}, C::kExit},
        {{u"-EXIT"}, C::kExit},
        {{u"/autostart", u"on"}, C::kAutoStartOn},
        {{u"/AutoStart", u"OFF"}, C::kAutoStartOff},
        {{u"/uninstall-cleanup"}, C::kUninstallCleanup},
        {{u"/autostart"}, std::nullopt},
        {{u"/autostart", u"yes"}, std::nullopt},
        {{u"/exit", u"now"}, std::nullopt},
        {{u"exit"}, std::nullopt},
        {{u"/"}, std::nullopt},
        {{u"/uninstall"}, std::nullopt},
    };
    for (const auto& c : cases) {
        std::string shown;
        for (const Text& a : c.arguments) {
            shown += "[" + ToUtf8(a) + "]";
        }
        EXPECT_EQ(ParseStartCommand(c.arguments), c.expected) << "arguments " << shown;
    }
}

const std::string kRun = "Software\\Microsoft\\Windows\\CurrentVersion\\Run";
const std::string kOurs = "\"C:\\Program Files\\Corvanta\\Corvanta.exe\"";
const std::string kHiveRun = "S-1-5-21-1001\\" + kRun;

// Each switch makes its own request, and its exit code tells the installer whether the work was done: 1 where
// Windows refused it (no administrator rights), never a success that did not happen.
TEST(StartCommandLine, AutoStartSwitchesAndTheirExitCodes) {
    using C = StartCommand;
    const struct {
        C command;
        bool no_rights;
        int exit_code;
        bool machine_after;     // the machine's entry
        bool other_user_after;  // the entry in another user's hive
    } cases[] = {
        {C::kAutoStartOn, false, 0, true, true},        {C::kAutoStartOn, true, 1, false, true},
        {C::kAutoStartOff, false, 0, false, true},      {C::kAutoStartOff, true, 1, true, true},
        {C::kUninstallCleanup, false, 0, false, false}, {C::kUninstallCleanup, true, 1, true, true},
    };
    for (const auto& c : cases) {
        const std::string label =
            "command " + std::to_string(static_cast<int>(c.command)) + (c.no_rights ? ", no rights" : ", elevated");
        FakeRegistry registry;
        FakeRegistry older;
        FakeAnsiCodePage ansi;
        FakeAppInfo app;
        AutoStartService auto_start(registry, &older, ansi, app);
        if (c.command != C::kAutoStartOn) {
            registry.Put(reg::kHkeyLocalMachine, kRun, "Corvanta", reg::kRegSz, kOurs + '\0');
        }
        registry.Put(reg::kHkeyUsers, kHiveRun, "Corvanta", reg::kRegSz, kOurs + '\0');
        registry.refuse_machine_writes = c.no_rights;
        EXPECT_EQ(RunAutoStartSwitch(c.command, auto_start), c.exit_code) << label;
        EXPECT_EQ(registry.Get(reg::kHkeyLocalMachine, kRun, "Corvanta").has_value(), c.machine_after) << label;
        EXPECT_EQ(registry.Get(reg::kHkeyUsers, kHiveRun, "Corvanta").has_value(), c.other_user_after) << label;
    }
}

}  // namespace
}  // namespace corvanta
