#include <gtest/gtest.h>

#include <string_view>

#include "core/start_plan.h"

namespace corvanta {
namespace {

// The tray program runs only on a user's desktop, and only it asks to come back after an installer closed it;
// the installer's switches run as LocalSystem and in session 0 alike, and never come back.
TEST(StartPlan, RunsTheTrayProgramOnlyOnAUsersDesktop) {
    using C = StartCommand;
    struct {
        const char* label;
        StartCommand command;
        bool local_system;
        uint32_t session;
        bool proceed;
        bool register_restart;
    } cases[] = {
        {"a user's start", C::kRun, false, 1, true, true},
        {"a user's start in a remote session", C::kRun, false, 7, true, true},
        {"a deployment tool's launch as LocalSystem", C::kRun, true, 0, false, false},
        {"LocalSystem on a user's desktop", C::kRun, true, 1, false, false},
        {"another account in session 0", C::kRun, false, 0, false, false},
        {"/exit from the installer as LocalSystem", C::kExit, true, 0, true, false},
        {"/exit by a user", C::kExit, false, 1, true, false},
        {"/autostart on as LocalSystem", C::kAutoStartOn, true, 0, true, false},
        {"/autostart off by a user", C::kAutoStartOff, false, 1, true, false},
        {"/uninstall-cleanup as LocalSystem", C::kUninstallCleanup, true, 0, true, false},
    };
    for (const auto& c : cases) {
        const StartPlan plan = PlanStart(c.command, {.local_system = c.local_system, .session_id = c.session});
        EXPECT_EQ(plan.proceed, c.proceed) << c.label;
        EXPECT_EQ(plan.register_restart, c.register_restart) << c.label;
    }
}

// Only the tray program, started without arguments, tells of a failure in a message box; a start with any argument
// may be an installer's switch in session 0, where a box would hold up the installation, and ends with exit code 1.
TEST(StartPlan, OnlyTheTrayProgramShowsAFailureInABox) {
    using R = FailureReport;
    const struct {
        std::string_view arguments;
        FailureReport report;
    } cases[] = {
        {"", R::kMessageBox},
        {"  \t ", R::kMessageBox},
        {"/autostart on", R::kExitCode},
        {"/autostart off", R::kExitCode},
        {"/uninstall-cleanup", R::kExitCode},
        {"/exit", R::kExitCode},
        {"-EXIT", R::kExitCode},
        {" /exit ", R::kExitCode},
        {"/autostart maybe", R::kExitCode},
        {"\"\"", R::kExitCode},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(FailureReportFor(c.arguments), c.report) << "arguments [" << c.arguments << "]";
    }
}

}  // namespace
}  // namespace corvanta
