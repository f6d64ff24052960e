#pragma once

#include <optional>
#include <vector>

#include "common/text.h"
#include "core/auto_start.h"

namespace corvanta {

// What one start of the program is asked to do. Without arguments it runs; the switches are for installers and
// administrators and do their work without a window:
//   /exit               ends the copy running in this session, as its Exit command would
//   /autostart on|off   sets or removes the auto-start entry for this executable
//   /uninstall-cleanup  removes every auto-start entry naming this executable (machine, user, every loaded user)
enum class StartCommand { kRun, kExit, kAutoStartOn, kAutoStartOff, kUninstallCleanup };

// The arguments after the program's name. Switches start with "/" or "-" and match without regard to case;
// anything else, or a switch with extra words, gives nullopt.
std::optional<StartCommand> ParseStartCommand(const std::vector<Text>& arguments);

// The line a user reads when the arguments were not understood.
inline constexpr char16_t kStartCommandUsage[] =
    u"Corvanta knows these options:\r\n"
    u"  /exit - ends the running Corvanta\r\n"
    u"  /autostart on | off - starts Corvanta with Windows, or no longer\r\n"
    u"  /uninstall-cleanup - removes every auto-start entry of this Corvanta.exe";

// Carries out /autostart on, /autostart off or /uninstall-cleanup: 0 when done, 1 when the work could not be done
// (without administrator rights, say), for the installer that ran it.
int RunAutoStartSwitch(StartCommand command, AutoStartService& auto_start);

}  // namespace corvanta
