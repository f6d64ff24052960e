#pragma once

#include <windows.h>

#include "core/serial_control.h"
#include "core/settings_model.h"
#include "platform/ansi_code_page.h"
#include "platform/dialogs.h"
#include "platform/process_launcher.h"
#include "platform/registry.h"
#include "platform/settings_store.h"
#include "platform/spooler.h"

namespace corvanta::win32 {

// The "CommPort Properties", About and Output Settings dialogs over the program's services, which must outlive it.
class Win32Dialogs : public Dialogs {
  public:
    Win32Dialogs(HINSTANCE instance,
                 SerialControl& comm,
                 SettingsStore& store,
                 Spooler& spooler,
                 Registry& registry,
                 const AnsiCodePage& ansi,
                 ProcessLauncher& launcher,
                 ValueContext context)
        : instance_(instance),
          comm_(comm),
          store_(store),
          spooler_(spooler),
          registry_(registry),
          ansi_(ansi),
          launcher_(launcher),
          context_(context) {}

    void ShowProperties() override;
    void ShowAbout() override;
    void ShowOutputSettings() override;
    bool BringOpenDialogToFront() override;

  private:
    HINSTANCE instance_;
    SerialControl& comm_;
    SettingsStore& store_;
    Spooler& spooler_;
    Registry& registry_;
    const AnsiCodePage& ansi_;
    ProcessLauncher& launcher_;
    ValueContext context_;
};

}  // namespace corvanta::win32
