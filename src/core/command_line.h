#pragma once

#include <optional>
#include <vector>

#include "common/text.h"
#include "platform/ansi_code_page.h"
#include "platform/registry.h"

namespace corvanta {

// What one start of the program is asked to do. Without arguments it runs; the switches are for installers and
// administrators and do their work without a window:
//   /exit               ends the copy running in this session, as its Exit command would
//   /autostart on|off   sets or removes the auto-start entry for this executable
//   /uninstall-cleanup  removes every auto-start entry naming this executable (machine and user)
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

// Writes the machine's auto-start entry for the executable whose quoted path is given, as the tray menu does.
// True when the entry reads back as written.
bool WriteAutoStart(Registry& registry, const AnsiCodePage& ansi, TextView quoted_exe_path);

// Deletes the program's auto-start value under the machine's and the user's Run key wherever it names this
// executable (quoted or not, in any letter case); a value naming another copy is left to that copy. True when
// no value naming it is left.
bool RemoveAutoStartEntries(Registry& registry, const AnsiCodePage& ansi, TextView quoted_exe_path);

}  // namespace corvanta
