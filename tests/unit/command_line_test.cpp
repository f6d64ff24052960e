#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "core/command_line.h"
#include "fakes/fake_ansi_code_page.h"
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
constexpr char16_t kExe[] = u"\"C:\\Program Files\\Corvanta\\Corvanta.exe\"";

std::string Sz(const std::string& text) {
    return text + '\0';
}

// Uninstalling removes every entry that would start the removed file, machine and user alike, and nothing else.
TEST(StartCommandLine, CleanupRemovesEntriesNamingThisExecutable) {
    struct {
        const char* label;
        RegKey root;
        std::string data;
        bool removed;
    } cases[] = {
        {"machine, quoted", reg::kHkeyLocalMachine, "\"C:\\Program Files\\Corvanta\\Corvanta.exe\"", true},
        {"user, quoted", reg::kHkeyCurrentUser, "\"C:\\Program Files\\Corvanta\\Corvanta.exe\"", true},
        {"unquoted, other case", reg::kHkeyCurrentUser, "c:\\program files\\CORVANTA\\corvanta.EXE", true},
        {"blanks around", reg::kHkeyLocalMachine, " \"C:\\Program Files\\Corvanta\\Corvanta.exe\" ", true},
        {"a portable copy", reg::kHkeyCurrentUser, "\"D:\\Tools\\Corvanta.exe\"", false},
        {"with an argument", reg::kHkeyLocalMachine, "\"C:\\Program Files\\Corvanta\\Corvanta.exe\" /x", false},
    };
    for (const auto& c : cases) {
        FakeRegistry registry;
        FakeAnsiCodePage ansi;
        registry.Put(c.root, kRun, "Corvanta", reg::kRegSz, Sz(c.data));
        registry.Put(c.root, kRun, "Other", reg::kRegSz, Sz("\"C:\\Other.exe\""));
        EXPECT_TRUE(RemoveAutoStartEntries(registry, ansi, kExe)) << c.label;
        EXPECT_EQ(!registry.Get(c.root, kRun, "Corvanta").has_value(), c.removed) << c.label;
        EXPECT_TRUE(registry.Get(c.root, kRun, "Other").has_value()) << c.label;
        EXPECT_EQ(registry.OpenKeyCount(), 0u) << c.label;
    }
}

// Without administrator rights the machine's key is denied: both switches say so instead of reporting success.
TEST(StartCommandLine, SwitchesReportWhatTheyCouldNotDo) {
    FakeRegistry registry;
    FakeAnsiCodePage ansi;
    EXPECT_TRUE(WriteAutoStart(registry, ansi, kExe));
    EXPECT_EQ(registry.Get(reg::kHkeyLocalMachine, kRun, "Corvanta"),
              (FakeRegistry::Value{reg::kRegSz, Sz(ToUtf8(kExe))}));
    registry.Put(reg::kHkeyCurrentUser, kRun, "Corvanta", reg::kRegSz, Sz(ToUtf8(kExe)));
    registry.refuse_machine_writes = true;
    EXPECT_FALSE(RemoveAutoStartEntries(registry, ansi, kExe));
    EXPECT_FALSE(registry.Get(reg::kHkeyCurrentUser, kRun, "Corvanta").has_value());
    registry.Put(reg::kHkeyLocalMachine, kRun, "Corvanta", reg::kRegSz, Sz("\"D:\\Tools\\Corvanta.exe\""));
    EXPECT_FALSE(WriteAutoStart(registry, ansi, kExe));
}

}  // namespace
}  // namespace corvanta
