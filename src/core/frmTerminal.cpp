#include "core/frmTerminal.h"

#include <utility>

#include "common/identity.h"
#include "config/port_settings.h"

namespace corvanta {

frmTerminal::frmTerminal(FormHost& form,
                         SerialControl& comm,
                         corvanta::TrayArea& tray,
                         SettingsStore& settings,
                         Relay& relay,
                         RequestScheduler& requests,
                         SettingsReload& values,
                         TerminalMenuServices menu)
    : MSComm1(comm),
      TrayArea(tray),
      Menu(menu.Menu),
      form_(form),
      settings_(settings),
      relay_(relay),
      requests_(requests),
      values_(values),
      dialogs_(menu.dialogs),
      monitor_(menu.monitor),
      auto_start_(menu.auto_start),
      unload_(std::move(menu.unload)) {
    Menu.Load(kMenuItems);
    MSComm1.SetOnComm([this] { MSComm1_OnComm(); });
    // Only the release of a button opens the menu; moves, presses and double clicks are not handled.
    TrayArea.MouseUp = [this](int16_t& Button) { TrayArea_MouseUp(Button); };
}

std::optional<Text> frmTerminal::OpenPortFromStore() {
    try {
        // Each default is the control's current value, so a first run keeps the control's own configuration
        // and writes nothing.
        MSComm1.SetCommPort(
            StoredPortNumber(ReadPortSetting(settings_, kKeyCommPort, DecimalText(MSComm1.CommPort()))));
        MSComm1.SetSettings(ReadPortSetting(settings_, kKeySettings, MSComm1.Settings()));
        MSComm1.SetHandshaking(
            StoredHandshaking(ReadPortSetting(settings_, kKeyHandshaking, DecimalText(MSComm1.Handshaking()))));
        MSComm1.SetInputLen(0);
        // A USB adapter is often plugged in after logon: an absent device is waited for, not given up.
        MSComm1.OpenOrWaitForDevice();
    } catch (const Error& error) {
        return error.Description();
    }
    return std::nullopt;
}

void frmTerminal::Form_Load() {
    form_.SetIcon(form_.LoadResIcon(kProgramIconResource));

    // Read before the port opens, so that the first bytes are already shaped; a refusal is shown below.
    const std::optional<Text> refusal = values_.Start();

    const std::optional<Text> port_failure = OpenPortFromStore();
    requests_.PortStateChanged();

    // The tray gets the form's own picture object, not a copy; Visible comes last because it adds the icon.
    TrayArea.SetIcon(form_.Icon());
    TrayArea.SetToolTip(kAppTitle);
    TrayArea.SetVisible(true);
    form_.Hide();

    // The auto-start check mark is refreshed here, before any message box: the tray menu is live while the
    // box waits for the user.
    RefreshAutoStartCheck();

    if (port_failure) {
        form_.MsgBox(*port_failure, msgbox::kOkOnly | msgbox::kIconExclamation, kAppTitle);
    }
    if (refusal) {
        form_.MsgBox(*refusal, msgbox::kOkOnly | msgbox::kIconExclamation, kAppTitle);
    }
}

void frmTerminal::MSComm1_OnComm() {
    requests_.PortStateChanged();
    relay_.Pump();
}

void frmTerminal::Form_Unload(int16_t& /*Cancel*/) {
    // After a failed start the port was never opened; closing it again is not an error worth a message. A port
    // waiting for its device is closed too, so that it cannot reopen during the shutdown.
    if (MSComm1.State() != PortState::kClosed) {
        MSComm1.SetPortOpen(false);
    }
}

void frmTerminal::TrayArea_MouseUp(int16_t& /*Button*/) {
    // A second modal show of an open dialog would fail, and a menu over it would only hide it.
    if (dialogs_.BringOpenDialogToFront()) {
        return;
    }
    Menu.SetVisible(mmRequestReading, requests_.CanRequest());
    const std::optional<int> chosen = Menu.Popup(popup::kLeftAlign | popup::kRightButton);
    if (!chosen) {
        return;
    }
    switch (*chosen) {
        case mmPortSettinges:
            mmPortSettinges_Click();
            break;
        case AutoStart:
            AutoStart_Click();
            break;
        case mmAbout:
            mmAbout_Click();
            break;
        case mmMonitor:
            mmMonitor_Click();
            break;
        case mmOutputSettings:
            mmOutputSettings_Click();
            break;
        case mmRequestReading:
            mmRequestReading_Click();
            break;
        case mmExit:
            mmExit_Click();
            break;
        default:
            break;
    }
}

void frmTerminal::mmPortSettinges_Click() {
    dialogs_.ShowProperties();
    // The dialog opens and closes the port without an OnComm: the request timer follows it here.
    requests_.PortStateChanged();
}

void frmTerminal::mmAbout_Click() {
    dialogs_.ShowAbout();
}

void frmTerminal::mmOutputSettings_Click() {
    dialogs_.ShowOutputSettings();
}

void frmTerminal::mmMonitor_Click() {
    if (monitor_.IsOpen()) {
        monitor_.BringToFront();
    } else {
        monitor_.Open();
    }
}

void frmTerminal::mmRequestReading_Click() {
    requests_.RequestReading();
}

void frmTerminal::AutoStart_Click() {
    // The check mark, not a fresh read, decides; the read-back below then shows what really happened.
    const AutoStartOutcome outcome = Menu.Checked(AutoStart) ? auto_start_.Disable(AutoStartRemoval::kAny)
                                                             : auto_start_.Enable(AutoStartScope::kMachineOrUser);
    RefreshAutoStartCheck();
    if (outcome == AutoStartOutcome::kDone) {
        return;
    }
    const Text machine_key = Text(u"HKEY_LOCAL_MACHINE\\") + kRunKeyPath;
    const Text user_key = Text(u"HKEY_CURRENT_USER\\") + kRunKeyPath;
    Text message = kAppTitle;
    if (outcome == AutoStartOutcome::kWriteRefused) {
        message += u" cannot be set to run when Windows starts: Windows refused to write its entry both under " +
                   machine_key + u" (for all users, which needs administrator rights) and under " + user_key +
                   u" (for your account, which a policy of this computer may forbid).";
    } else if (outcome == AutoStartOutcome::kMachineEntryLeft) {
        message += u" still runs when Windows starts: its entry under " + machine_key +
                   u" was made for all users, and only an administrator may remove it.";
    } else {
        message += u" still runs when Windows starts: Windows refused to remove its entry under " + user_key +
                   u" (a policy of this computer may forbid changing it).";
    }
    form_.MsgBox(message, msgbox::kOkOnly | msgbox::kIconExclamation, kAppTitle);
}

void frmTerminal::RefreshAutoStartCheck() {
    // An entry for all users, made by an administrator or by the installer, counts as much as the user's own.
    Menu.SetChecked(AutoStart, auto_start_.Enabled());
}

void frmTerminal::mmExit_Click() {
    // The icon goes first, so it never stands for a program that is already shutting down.
    TrayArea.SetVisible(false);
    unload_();
}

}  // namespace corvanta
