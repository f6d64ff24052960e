#pragma once

#include <cstdint>

#include "common/text.h"
#include "platform/ansi_code_page.h"
#include "platform/app_info.h"
#include "platform/registry.h"

namespace corvanta {

// The auto-start entry: a REG_SZ value named after the program under the machine's Run key, or under the user's
// own Run key (same path) where the user may not change the machine's.
inline constexpr RegKey kRunKeyRoot = reg::kHkeyLocalMachine;
inline constexpr RegKey kUserRunKeyRoot = reg::kHkeyCurrentUser;
inline constexpr char16_t kRunKeyPath[] = u"Software\\Microsoft\\Windows\\CurrentVersion\\Run";

// The Run entry's data: directory, "\", name, ".exe", in double quotes so that Windows cannot split a path
// with spaces at the first blank and run "C:\Program.exe" instead. A directory at a drive's root already ends
// in "\", which gives two in a row; Windows reads "C:\\Corvanta.exe" as "C:\Corvanta.exe".
Text AutoStartCommandPath(TextView directory, TextView exe_name_without_extension);

// Where a request may write the entry.
enum class AutoStartScope : uint8_t {
    // The tray menu: for all users, else for the user alone (Windows refuses the machine's key to a program
    // without elevation; every user may write their own).
    kMachineOrUser,
    // An installer, elevated: for all users only. Its user is often not the one who logs on (a deferred custom
    // action runs as LocalSystem), so an entry of its own would start nothing.
    kMachine,
};

// Which entries a removal takes.
enum class AutoStartRemoval : uint8_t {
    // The tray menu: every entry, whichever copy it names, as the check mark stands for any.
    kAny,
    // /autostart off: the machine's and the user's entry where it names this executable (quoted or not, in any
    // letter case); an entry naming another copy is left to that copy.
    kThisExecutable,
    // /uninstall-cleanup, run elevated at removal: the same, and in every user hive that is loaded, where the
    // tray menu may have written the entry of another user.
    kThisExecutableEveryUser,
};

// What became of a request, for the tray menu's message or a switch's exit code.
enum class AutoStartOutcome : uint8_t {
    kDone,              // the entries are as asked
    kWriteRefused,      // no entry could be written where the scope allows one
    kMachineEntryLeft,  // an entry for all users is left, which only an administrator may remove
    kUserEntryLeft,     // an entry under a user's own key is left: Windows refused to remove it
};

// Starting the program at logon, for the tray menu and the installer switches alike. The entries are written
// and removed through the ANSI registry functions (RegWriteString, RegDeleteValueOf) without examining their
// status codes, deliberately: the value read back afterwards decides the outcome, whatever stopped a change.
class AutoStartService {
  public:
    // run_keys sees the registry's 64-bit view on 64-bit Windows, so that the 32-bit and the 64-bit program, and
    // both packages, find the same entry. older_run_keys sees the 32-bit view there, where earlier 32-bit versions
    // made the machine's entry: Windows still starts what it names, so it counts, and it goes when the entry is
    // written anew or removed. Null on 32-bit Windows, which has one view.
    AutoStartService(Registry& run_keys, Registry* older_run_keys, const AnsiCodePage& ansi, const AppInfo& app);

    // Whether an entry starts a copy of the program at logon: a value under the machine's or the user's Run key,
    // whoever made it and whichever copy it names. An empty text does not count.
    bool Enabled();

    // Writes the entry for the running executable. With kMachineOrUser, done when an entry is there afterwards;
    // with kMachine, when the machine's entry names this executable as the ANSI API stored it (a path with
    // characters outside the code page is not taken for a failure).
    AutoStartOutcome Enable(AutoStartScope scope);

    // Removes entries; done when none of those the removal takes is left.
    AutoStartOutcome Disable(AutoStartRemoval removal);

  private:
    Text Command() const;
    // Writes the machine's entry and tells whether it now holds the command.
    bool WriteMachineEntry(const Text& command);

    Registry& run_keys_;
    Registry* older_run_keys_;
    const AnsiCodePage& ansi_;
    const AppInfo& app_;
};

}  // namespace corvanta
