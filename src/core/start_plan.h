#pragma once

#include <cstdint>
#include <string_view>

#include "core/command_line.h"

namespace corvanta {

// Who started this copy of the program, and in which Windows session.
struct StartPlace {
    bool local_system = false;  // the LocalSystem account (S-1-5-18), as deployment tools install
    uint32_t session_id = 1;    // 0 is the services' session, which has no user's desktop
};

// What a start does before it opens anything.
struct StartPlan {
    bool proceed = false;           // false: end at once, silently
    bool register_restart = false;  // ask Windows to start this copy again after an installer closed it
};

// The tray program belongs on a user's desktop: started as LocalSystem or in session 0 (a deployment tool's
// launch), it would hold the port unseen and the user's own copy would find it busy. The installer's switches
// run wherever the installer runs them.
StartPlan PlanStart(StartCommand command, const StartPlace& place);

// How a start tells of a failure, decided from its arguments alone (the command line after the program's name, as
// WinMain gets it) before anything can fail. The tray program, started without arguments, has a user to read a
// message box. Any argument makes a switch, or a mistyped one, which an installer may run as LocalSystem in session
// 0: nobody there can answer a box, and the installation would wait for it for ever. It ends with exit code 1.
enum class FailureReport : uint8_t { kMessageBox, kExitCode };
FailureReport FailureReportFor(std::string_view arguments);

}  // namespace corvanta
