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
    // KEY_READ: the tool's keys live under HKEY_LOCAL_MACHINE, where asking for write rights as well would
    // fail for every user without administrator rights.
    static constexpr uint32_t kKeyAccess = 0x20019;
    static constexpr uint32_t kValueBufferSize = 1024;
    static constexpr char16_t kUnavailableMessage[] = u"System Information Is Unavailable At This Time";

    frmAbout(FormHost& form, Registry& registry, const AnsiCodePage& ansi, ProcessLauncher& launcher)
        : form_(form), registry_(registry), ansi_(ansi), launcher_(launcher) {}

    void BtnSysInfo_Click() { StartSysInfo(); }

    // Starts the System Information tool found through the registry, or says that it is unavailable.
    void StartSysInfo();

    // Reads one value as text: REG_SZ as its text, REG_DWORD as its value in decimal digits, any other type
    // leaves KeyVal as it was. False, with KeyVal empty, when the key or the value cannot be read (data over
    // kValueBufferSize bytes included). A value with no data at all throws corvanta::Error.
    bool GetKeyValue(RegKey KeyRoot, TextView KeyName, TextView SubKeyRef, Text& KeyVal);

  private:
    FormHost& form_;
    Registry& registry_;
    const AnsiCodePage& ansi_;
    ProcessLauncher& launcher_;
};

}  // namespace corvanta
