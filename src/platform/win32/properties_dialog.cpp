#include "platform/win32/properties_dialog.h"

#include <commctrl.h>

#include "config/frmProperties_logic.h"
#include "platform/win32/dialog_window.h"
#include "platform/win32/win32_combo_box.h"

namespace corvanta::win32 {

namespace {

namespace id = properties_id;

constexpr int kLabelPort = 1101;
constexpr int kLabelSpeed = 1102;
constexpr int kLabelDataBits = 1103;
constexpr int kLabelParity = 1104;
constexpr int kLabelStopBits = 1105;
constexpr int kLabelFlow = 1106;

// The closed height of every list, and how many entries a dropped list shows.
constexpr int kListHeight = 315;
constexpr int kVisibleEntries = 10;

// The labels and lists sit in the frame, placed relative to it.
constexpr int kFrameLeft = 75;
constexpr int kFrameTop = 45;

DialogControl InFrame(int control_id, const wchar_t* window_class, const char16_t* caption, DWORD style, TwipsRect r) {
    return {control_id, window_class, caption, style, {kFrameLeft + r.left, kFrameTop + r.top, r.width, r.height}};
}

DialogLayout Layout() {
    constexpr DWORD kLabel = SS_LEFT | SS_NOPREFIX;
    constexpr DWORD kList = CBS_DROPDOWNLIST | WS_VSCROLL | WS_TABSTOP;
    return DialogLayout{
        u"CommPort Properties",
        4230,
        2610,
        {
            {id::kFrame, WC_BUTTONW, u"", BS_GROUPBOX, {kFrameLeft, kFrameTop, 3030, 2445}},
            InFrame(kLabelPort, WC_STATICW, u"Port:", kLabel, {120, 300, 330, 195}),
            InFrame(id::kPort, WC_COMBOBOXW, u"", kList, {120, 525, 1290, kListHeight}),
            InFrame(kLabelSpeed, WC_STATICW, u"Maximum Speed:", kLabel, {1545, 300, 1215, 195}),
            InFrame(id::kSpeed, WC_COMBOBOXW, u"", kList, {1590, 525, 1290, kListHeight}),
            InFrame(kLabelDataBits, WC_STATICW, u"Data Bits:", kLabel, {120, 990, 690, 195}),
            InFrame(id::kDataBits, WC_COMBOBOXW, u"", kList, {120, 1215, 1290, kListHeight}),
            InFrame(kLabelParity, WC_STATICW, u"Parity:", kLabel, {1590, 990, 435, 195}),
            InFrame(id::kParity, WC_COMBOBOXW, u"", kList, {1590, 1215, 1290, kListHeight}),
            InFrame(kLabelStopBits, WC_STATICW, u"Stop Bits:", kLabel, {120, 1695, 675, 195}),
            InFrame(id::kStopBits, WC_COMBOBOXW, u"", kList, {120, 1920, 1290, kListHeight}),
            InFrame(kLabelFlow, WC_STATICW, u"Flow Control:", kLabel, {1590, 1695, 915, 195}),
            InFrame(id::kFlow, WC_COMBOBOXW, u"", kList, {1590, 1920, 1290, kListHeight}),
            {id::kOk, WC_BUTTONW, u"OK", BS_DEFPUSHBUTTON | WS_TABSTOP, {3195, 135, 945, 300}},
            {id::kCancel, WC_BUTTONW, u"Cancel", BS_PUSHBUTTON | WS_TABSTOP, {3195, 495, 945, 300}},
        },
        id::kOk,
        id::kPort,
    };
}

}  // namespace

void ShowPropertiesDialog(HINSTANCE instance,
                          SerialControl& comm,
                          SettingsStore& store,
                          Spooler& spooler,
                          const AnsiCodePage& ansi) {
    if (BringOpenDialogToFront()) {
        return;
    }
    DialogWindow dialog(instance, Layout());
    for (int list : {id::kPort, id::kSpeed, id::kDataBits, id::kParity, id::kStopBits, id::kFlow}) {
        dialog.FitDropDown(list, kListHeight, kVisibleEntries);
    }
    for (int label : {kLabelPort, kLabelSpeed, kLabelDataBits, kLabelParity, kLabelStopBits, kLabelFlow}) {
        dialog.WidenToText(label);
    }
    Win32ComboBox cboPort(dialog.Item(id::kPort));
    Win32ComboBox cboSpeed(dialog.Item(id::kSpeed));
    Win32ComboBox cboDataBits(dialog.Item(id::kDataBits));
    Win32ComboBox cboParity(dialog.Item(id::kParity));
    Win32ComboBox cboStopBits(dialog.Item(id::kStopBits));
    Win32ComboBox cboFlow(dialog.Item(id::kFlow));
    DialogFormHost host(instance, dialog);
    frmProperties form(PropertiesLists{cboPort, cboSpeed, cboDataBits, cboParity, cboStopBits, cboFlow},
                       PropertiesServices{comm, store, spooler, ansi, host, [&dialog] { dialog.Unload(); }});

    dialog.OnCommand = [&form](int command) {
        if (command == id::kOk) {
            form.cmdOK_Click();
        } else if (command == id::kCancel) {
            form.cmdCancel_Click();
        }
    };
    dialog.ShowModal([&] {
        // Form_Load
        dialog.CentreOnScreen();
        form.LoadPropertySettings();
    });
}

}  // namespace corvanta::win32
