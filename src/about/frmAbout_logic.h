#pragma once

#include <cstdint>

#include "common/text.h"
#include "platform/ansi_code_page.h"
#include "platform/form_host.h"
#include "platform/process_launcher.h"
#include "platform/registry.h"

namespace corvanta {

// The About dialog's behaviour: the System Information launcher. Its window routes BtnSysInfo_Click here.
class frmAbout {
  public:
    static constexpr char16_t kUnavailableMessage[] = u"System Information Is Unavailable At This Time";

    frmAbout(FormHost& form, Registry& registry, const AnsiCodePage& ansi, ProcessLauncher& launcher)
        : form_(form), registry_(registry), ansi_(ansi), launcher_(launcher) {}

    void BtnSysInfo_Click() { StartSysInfo(); }

    // Starts the System Information tool found through the registry, or says that it is unavailable.
    void StartSysInfo();

    // Reads one value (through ReadRegValue, whose key is opened for reading only: the tool's keys live under
    // HKEY_LOCAL_MACHINE, which every user may read) as text: REG_SZ as its text less one trailing NUL,
    // REG_DWORD as its value in decimal digits, any other type leaves KeyVal as it was. False, with KeyVal
    // empty, when the value is missing or too large to read. A value with no data at all throws corvanta::Error.
    bool GetKeyValue(RegKey KeyRoot, TextView KeyName, TextView SubKeyRef, Text& KeyVal);

  private:
    FormHost& form_;
    Registry& registry_;
    const AnsiCodePage& ansi_;
    ProcessLauncher& launcher_;
};

}  // namespace corvanta
