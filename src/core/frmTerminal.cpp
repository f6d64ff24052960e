#include "core/frmTerminal.h"

#include <exception>
#include <utility>

#include "config/port_settings.h"
#include "core/app.h"

namespace corvanta {

namespace {

// The number of bytes at the end of `bytes` that start a double-byte character whose trail byte has not come
// yet (0 or 1). Trail bytes can take lead-byte values, so the block is walked from its start, which is always
// a character boundary.
size_t IncompleteTail(const AnsiCodePage& ansi, std::string_view bytes) {
    size_t i = 0;
    while (i < bytes.size()) {
        if (!ansi.IsLeadByte(static_cast<unsigned char>(bytes[i]))) {
            ++i;
        } else if (i + 1 < bytes.size()) {
            i += 2;
        } else {
            return 1;
        }
    }
    return 0;
}

}  // namespace

frmTerminal::frmTerminal(FormHost& form,
                         SerialControl& comm,
                         corvanta::TrayArea& tray,
                         SettingsStore& settings,
                         KeystrokeSender& keys,
                         AnsiCodePage& ansi)
    : MSComm1(comm), TrayArea(tray), form_(form), settings_(settings), keys_(keys), ansi_(ansi) {
    MSComm1.SetOnComm([this] { MSComm1_OnComm(); });
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
        MSComm1.SetPortOpen(true);
    } catch (const Error& error) {
        return error.Description();
    }
    return std::nullopt;
}

void frmTerminal::Form_Load() {
    form_.SetIcon(form_.LoadResIcon(kProgramIconResource));

    const std::optional<Text> port_failure = OpenPortFromStore();

    // The tray gets the form's own picture object, not a copy; Visible comes last because it adds the icon.
    TrayArea.SetIcon(form_.Icon());
    TrayArea.SetToolTip(u"Corvanta");
    TrayArea.SetVisible(true);
    form_.Hide();

    // The auto-start check mark is refreshed here, before any message box: the tray menu is live while the
    // box waits for the user.

    if (port_failure) {
        form_.MsgBox(*port_failure, msgbox::kOkOnly | msgbox::kIconExclamation, kAppTitle);
    }
}

void frmTerminal::MSComm1_OnComm() {
    // A failing read is not ours to hide: it goes to the caller. Everything after it is best effort, so that
    // one bad block never stops the relay.
    std::string bytes = MSComm1.Input();
    try {
        bytes.insert(0, std::exchange(pending_lead_, {}));
        // A double-byte character split between two reads is held back and typed whole with the next block.
        if (IncompleteTail(ansi_, bytes) != 0) {
            pending_lead_.assign(1, bytes.back());
            bytes.pop_back();
        }
        if (bytes.empty()) {
            return;
        }
        keys_.SendKeys(ansi_.ToText(bytes));
    } catch (const std::exception&) {
    }
}

void frmTerminal::Form_Unload(int16_t& /*Cancel*/) {
    // After a failed start the port was never opened; closing it again is not an error worth a message.
    if (MSComm1.PortOpen()) {
        MSComm1.SetPortOpen(false);
    }
}

}  // namespace corvanta
