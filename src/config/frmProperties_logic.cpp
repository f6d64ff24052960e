#include "config/frmProperties_logic.h"

#include <algorithm>
#include <array>
#include <utility>

#include "common/identity.h"
#include "common/serial_settings.h"
#include "config/port_list.h"
#include "config/port_settings.h"

namespace corvanta {

namespace {

constexpr std::array<const char16_t*, 16> kSpeeds = {u"110",   u"300",    u"600",    u"1200",  u"2400",  u"4800",
                                                     u"9600",  u"14400",  u"19200",  u"28800", u"38400", u"56000",
                                                     u"57600", u"115200", u"128000", u"256000"};
constexpr std::array<const char16_t*, 5> kDataBits = {u"4", u"5", u"6", u"7", u"8"};
// The first letter of each entry is the parity letter handed to the serial control.
constexpr std::array<const char16_t*, 5> kParities = {u"Even", u"Odd", u"None", u"Mark", u"Space"};
constexpr std::array<const char16_t*, 3> kStopBits = {u"1", u"1.5", u"2"};
// Position = handshaking code.
constexpr std::array<const char16_t*, 4> kFlows = {u"None", u"Xon/Xoff", u"RTS", u"XOn/RTS"};

template <size_t N>
void Refill(ComboBox& list, const std::array<const char16_t*, N>& entries) {
    list.Clear();
    for (const char16_t* entry : entries) {
        list.AddItem(entry);
    }
}

// Selects index when the list has such an entry; otherwise the list is left unselected.
void SelectIndex(ComboBox& list, int64_t index) {
    list.SetListIndex(index >= 0 && index < list.ListCount() ? static_cast<int32_t>(index) : ComboBox::kNoSelection);
}

void SelectText(ComboBox& list, std::optional<TextView> text) {
    int32_t found = ComboBox::kNoSelection;
    for (int32_t i = 0; text && found == ComboBox::kNoSelection && i < list.ListCount(); ++i) {
        if (list.List(i) == *text) {
            found = i;
        }
    }
    list.SetListIndex(found);
}

Text SelectedText(const ComboBox& list) {
    const int32_t index = list.ListIndex();
    return index == ComboBox::kNoSelection ? Text() : list.List(index);
}

// Runs one step of a procedure that goes on when a step fails; returns the failure's description.
template <typename Step>
std::optional<Text> Attempt(Step&& step) {
    try {
        std::forward<Step>(step)();
        return std::nullopt;
    } catch (const Error& error) {
        return error.Description();
    }
}

// The parity list's entry for a letter of the control's report; an upper-case letter selects nothing.
int32_t ParityIndex(char16_t letter) {
    switch (letter) {
        case u'e':
            return 0;
        case u'm':
            return 3;
        case u'n':
            return 2;
        case u'o':
            return 1;
        case u's':
            return 4;
        default:
            return ComboBox::kNoSelection;
    }
}

}  // namespace

frmProperties::frmProperties(PropertiesLists lists, PropertiesServices services)
    : lists_(lists), services_(std::move(services)) {}

void frmProperties::LoadPropertySettings() {
    // A list that cannot be filled or preselected stays as it is; the dialog must still open so the user can
    // pick a value, rather than the error ending the program.
    Attempt([&] { FillPortList(lists_.cboPort, port_kind::kSerial, services_.spooler, services_.code_page); });
    Attempt([&] { FillFixedLists(); });
    Preselect();
}

void frmProperties::FillFixedLists() {
    Refill(lists_.cboSpeed, kSpeeds);
    Refill(lists_.cboDataBits, kDataBits);
    Refill(lists_.cboParity, kParities);
    Refill(lists_.cboStopBits, kStopBits);
    Refill(lists_.cboFlow, kFlows);
}

void frmProperties::Preselect() {
    SerialControl& comm = services_.MSComm1;
    Text s;
    Attempt([&] { s = comm.Settings(); });
    // The fields are found from the end of the text: parity and data bits are one character each, and a
    // "1.5" stop-bit field moves the others two places to the left.
    const auto length = static_cast<int64_t>(s.size());
    const int64_t x = s.find(u'.') != Text::npos ? 2 : 0;
    auto char_at = [&](int64_t position) -> std::optional<TextView> {  // 1-based, like the text's columns
        if (position < 1 || position > length) {
            return std::nullopt;
        }
        return TextView(s).substr(static_cast<size_t>(position - 1), 1);
    };

    Attempt([&] {
        const int64_t speed_length = length - 6 - x;
        SelectText(lists_.cboSpeed,
                   speed_length >= 0 ? std::optional<TextView>(TextView(s).substr(0, static_cast<size_t>(speed_length)))
                                     : std::nullopt);
    });
    Attempt([&] {
        const auto parity = char_at(length - 4 - x);
        SelectIndex(lists_.cboParity, parity ? ParityIndex(parity->front()) : ComboBox::kNoSelection);
    });
    Attempt([&] { SelectText(lists_.cboDataBits, char_at(length - 2 - x)); });
    Attempt([&] {
        const auto stop_length = std::min(length, x + 1);
        SelectText(lists_.cboStopBits, TextView(s).substr(static_cast<size_t>(length - stop_length)));
    });
    Attempt([&] {
        // By name, not by position: the spooler's list need not start at COM1 nor run without gaps.
        const int16_t live = comm.CommPort();
        int32_t found = ComboBox::kNoSelection;
        for (int32_t i = 0; found == ComboBox::kNoSelection && i < lists_.cboPort.ListCount(); ++i) {
            if (CommPortNumber(lists_.cboPort.List(i)) == live) {
                found = i;
            }
        }
        lists_.cboPort.SetListIndex(found);
    });
    Attempt([&] { SelectIndex(lists_.cboFlow, comm.Handshaking()); });
}

std::optional<int16_t> frmProperties::ChosenPort() const {
    const int32_t index = lists_.cboPort.ListIndex();
    if (index == ComboBox::kNoSelection) {
        return std::nullopt;
    }
    // An entry that names no port number asks for port 0, which the serial control refuses with its reason.
    return CommPortNumber(lists_.cboPort.List(index)).value_or(int16_t{0});
}

void frmProperties::cmdOK_Click() {
    SerialControl& comm = services_.MSComm1;
    // Every step runs even after a failure; the last failure replaces earlier ones and three checkpoints
    // consult it.
    std::optional<Text> failure;
    auto step = [&failure](auto&& action) {
        if (auto description = Attempt(action)) {
            failure = std::move(description);
        }
    };

    int16_t old_port = 0;
    step([&] { old_port = comm.CommPort(); });
    // No port entry selected (the live port was not listed) keeps the live port: closing it to try a port
    // the user never chose would only lose it.
    std::optional<int16_t> chosen;
    step([&] { chosen = ChosenPort(); });
    const int16_t new_port = chosen.value_or(old_port);

    if (new_port != old_port) {
        bool reopen = false;
        bool open = false;
        step([&] { open = comm.PortOpen(); });
        if (open) {
            step([&] { comm.SetPortOpen(false); });
            reopen = true;
        }
        step([&] { comm.SetCommPort(new_port); });
        if (!failure) {
            step([&] { comm.SetPortOpen(reopen); });
        }
        if (failure) {
            ShowFailure(*failure);
            Attempt([&] { comm.SetCommPort(old_port); });
            return;
        }
    }

    step([&] {
        Text settings = TrimBlanks(SelectedText(lists_.cboSpeed));
        settings += u',';
        settings += TextView(SelectedText(lists_.cboParity)).substr(0, 1);
        settings += u',';
        settings += TrimBlanks(SelectedText(lists_.cboDataBits));
        settings += u',';
        settings += TrimBlanks(SelectedText(lists_.cboStopBits));
        comm.SetSettings(settings);
    });
    if (failure) {
        ShowFailure(*failure);
        return;
    }

    step([&] { comm.SetHandshaking(lists_.cboFlow.ListIndex()); });
    if (failure) {
        ShowFailure(*failure);
        return;
    }

    StoreSettings();
    services_.unload();
}

void frmProperties::cmdCancel_Click() {
    services_.unload();
}

void frmProperties::ShowFailure(const Text& description) {
    services_.host.MsgBox(description, msgbox::kIconExclamation | msgbox::kOkOnly, kAppTitle);
}

void frmProperties::StoreSettings() {
    // The control's own report is stored, never the dialog's text; a write that fails is skipped silently.
    SerialControl& comm = services_.MSComm1;
    SettingsStore& store = services_.store;
    Attempt([&] { store.SaveSetting(kAppTitle, kPortSection, kKeySettings, comm.Settings()); });
    Attempt([&] { store.SaveSetting(kAppTitle, kPortSection, kKeyCommPort, DecimalText(comm.CommPort())); });
    Attempt([&] { store.SaveSetting(kAppTitle, kPortSection, kKeyHandshaking, DecimalText(comm.Handshaking())); });
}

}  // namespace corvanta
