#pragma once

#include <cstdint>

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

}  // namespace corvanta
