#pragma once

#include "core/start_plan.h"

namespace corvanta::win32 {

// The account this process runs as and its Windows session.
StartPlace CurrentStartPlace();

// Asks Windows to start the program again, without arguments, when an installer's Restart Manager closes it.
// Not after a crash, a hang or a reboot: auto-start covers the next logon, and a second copy would only say
// that one is running already.
void RegisterForRestart();

}  // namespace corvanta::win32
