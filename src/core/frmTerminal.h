#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "common/identity.h"
#include "core/auto_start.h"
#include "core/relay.h"
#include "core/request_scheduler.h"
#include "core/serial_control.h"
#include "core/settings_reload.h"
#include "platform/dialogs.h"
#include "platform/form_host.h"
#include "platform/monitor_window.h"
#include "platform/popup_menu.h"
#include "platform/settings_store.h"
#include "tray/TrayArea.h"

namespace corvanta {

// The items of the tray menu `Menu`, by id.
enum MenuItemId : int {
    mmPortSettinges = 1,
    AutoStart,
    mmLine,
    mmAbout,
    mmExit,
    mmMonitor,
    mmRequestReading,
    mmExitLine,
    mmOutputSettings
};

// "Request Reading" is shown only while there is a Command to send.
inline constexpr MenuItemDef kMenuItems[] = {
    {mmPortSettinges, u"CommPort Properties"},
    {AutoStart, u"Run at Start Windows"},
    {mmLine, u"-"},
    {mmAbout, u"About"},
    {mmMonitor, u"Monitor\u2026"},
    {mmOutputSettings, u"Output Settings\u2026"},
    {mmRequestReading, u"Request Reading"},
    {mmExitLine, u"-"},
    {mmExit, u"Exit"},
};

// What the tray menu's commands work with besides the form's own services.
struct TerminalMenuServices {
    PopupMenu& Menu;
    Dialogs& dialogs;
    MonitorWindow& monitor;
    AutoStartService& auto_start;
    // The run-time's unload of this form: raises Form_Unload right away, and the message loop ends after the
    // current message.
    std::function<void()> unload;
};

// The hidden main form: brings the port and the tray icon up, hands what the port receives to the relay, which
// types it into the focused window, tells the request scheduler how the port stands, offers the tray menu, and
// closes the port when it unloads. It owns nothing; the services outlive it.
class frmTerminal {
  public:
    frmTerminal(FormHost& form,
                SerialControl& comm,
                corvanta::TrayArea& tray,
                SettingsStore& settings,
                Relay& relay,
                RequestScheduler& requests,
                SettingsReload& values,
                TerminalMenuServices menu);
    frmTerminal(const frmTerminal&) = delete;
    frmTerminal& operator=(const frmTerminal&) = delete;

    // Start-up. A port that cannot be configured or opened does not stop it: the port stays closed, the tray
    // icon still appears, and one message box tells the user why. An absent device is waited for. Values that were
    // not used (a hotkey another program holds among them) are named in a message box of their own, after the
    // port's.
    void Form_Load();

    // The port has news: it may have opened or closed, which the request timer follows, and the relay reads it and
    // types what came.
    void MSComm1_OnComm();

    // Closes the port; Cancel is left as it is, so the unload always goes ahead.
    void Form_Unload(int16_t& Cancel);

    // Pops the menu up at the cursor, whichever button was released, and runs the chosen item's command. While
    // a dialog is open the dialog comes to the front instead: its command is still waiting for it to close.
    void TrayArea_MouseUp(int16_t& Button);

    void mmPortSettinges_Click();
    void AutoStart_Click();
    void mmAbout_Click();
    // Opens the Monitor, or brings the open one to the front: there is one at a time.
    void mmMonitor_Click();
    // The Output and Request values in a dialog; what it writes reaches the program through the registry watch.
    void mmOutputSettings_Click();
    void mmRequestReading_Click();
    // Removes the tray icon, then unloads the form, which closes the port; the process then ends by itself.
    void mmExit_Click();

    SerialControl& MSComm1;
    corvanta::TrayArea& TrayArea;
    PopupMenu& Menu;

  private:
    // The check mark of AutoStart follows what the registry holds.
    void RefreshAutoStartCheck();

    // Applies the stored port values and opens the port; the description of the first failure, if any.
    std::optional<Text> OpenPortFromStore();

    FormHost& form_;
    SettingsStore& settings_;
    Relay& relay_;
    RequestScheduler& requests_;
    SettingsReload& values_;
    Dialogs& dialogs_;
    MonitorWindow& monitor_;
    AutoStartService& auto_start_;
    std::function<void()> unload_;
};

}  // namespace corvanta
