#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "platform/ansi_code_page.h"
#include "platform/form_host.h"
#include "platform/keystroke_sender.h"
#include "platform/serial_control.h"
#include "platform/settings_store.h"
#include "tray/TrayArea.h"

namespace corvanta {

// The icon resource of the program: the form's icon and, through it, the tray icon.
inline constexpr int kProgramIconResource = 101;

// The hidden main form: brings the port and the tray icon up, types every block the port receives into the
// focused window, and closes the port when it unloads. It owns nothing; the services outlive it.
class frmTerminal {
  public:
    frmTerminal(FormHost& form,
                SerialControl& comm,
                corvanta::TrayArea& tray,
                SettingsStore& settings,
                KeystrokeSender& keys,
                AnsiCodePage& ansi);
    frmTerminal(const frmTerminal&) = delete;
    frmTerminal& operator=(const frmTerminal&) = delete;

    // Start-up. A port that cannot be configured or opened does not stop it: the port stays closed, the tray
    // icon still appears, and one message box tells the user why.
    void Form_Load();

    // The relay: one read of Input, converted from the ANSI code page, typed in one piece.
    void MSComm1_OnComm();

    // Closes the port; Cancel is left as it is, so the unload always goes ahead.
    void Form_Unload(int16_t& Cancel);

    SerialControl& MSComm1;
    corvanta::TrayArea& TrayArea;

  private:
    // Applies the stored port values and opens the port; the description of the first failure, if any.
    std::optional<Text> OpenPortFromStore();

    FormHost& form_;
    SettingsStore& settings_;
    KeystrokeSender& keys_;
    AnsiCodePage& ansi_;
    // A lead byte of a double-byte code page that came last in a read, waiting for its trail byte.
    std::string pending_lead_;
};

}  // namespace corvanta
