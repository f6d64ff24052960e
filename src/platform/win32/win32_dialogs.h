#pragma once

#include <windows.h>

#include "core/serial_control.h"
#include "platform/ansi_code_page.h"
#include "platform/dialogs.h"
#include "platform/process_launcher.h"
#include "platform/registry.h"
#include "platform/settings_store.h"
#include "platform/spooler.h"

namespace corvanta::win32 {

// The "CommPort Properties" and About dialogs over the program's services, which must outlive it.
class Win32Dialogs : public Dialogs {
  public:
    Win32Dialogs(HINSTANCE instance,
                 SerialControl& comm,
                 SettingsStore& store,
                 Spooler& spooler,
                 Registry& registry,
                 const AnsiCodePage& ansi,
                 ProcessLauncher& launcher)
        : instance_(instance),
          comm_(comm),
          store_(store),
          spooler_(spooler),
          registry_(registry),
          ansi_(ansi),
          launcher_(launcher) {}

    void ShowProperties() override;
    void ShowAbout() override;
    bool BringOpenDialogToFront() override;

  private:
    HINSTANCE instance_;
    SerialControl& comm_;
    SettingsStore& store_;
    Spooler& spooler_;
    Registry& registry_;
    const AnsiCodePage& ansi_;
    ProcessLauncher& launcher_;
};

}  // namespace corvanta::win32
