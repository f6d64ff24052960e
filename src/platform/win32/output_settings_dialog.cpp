#include "platform/win32/output_settings_dialog.h"

#include <commctrl.h>

#include <string>
#include <vector>

#include "config/frmOutputSettings.h"
#include "core/hotkey_names.h"
#include "platform/win32/dialog_window.h"
#include "platform/win32/win32_error.h"

namespace corvanta::win32 {

namespace {

namespace id = output_settings_id;

constexpr int kWhatGroup = 1290;
constexpr int kHowGroup = 1291;
constexpr int kRequestGroup = 1292;
constexpr int kTryGroup = 1293;
constexpr int kTryLabel = 1280;
constexpr int kTryResultLabel = 1282;

// Twips: each group is a column of rows, a label and then the field's control (a list and its edit box side by side).
constexpr int kMargin = 120;
constexpr int kGroupWidth = 4560;
constexpr int kColumnGap = 120;
constexpr int kGroupTitle = 300;
constexpr int kRowPitch = 390;
constexpr int kRowHeight = 315;
constexpr int kLabelLeft = 120;
constexpr int kLabelWidth = 1680;
constexpr int kControlLeft = 1860;
constexpr int kControlWidth = 2580;
constexpr int kListWidth = 1440;
constexpr int kButtonWidth = 1125;
constexpr int kButtonHeight = 345;
constexpr int kVisibleEntries = 12;

constexpr DWORD kLabelStyle = SS_LEFT | SS_CENTERIMAGE;
constexpr DWORD kEditStyle = ES_AUTOHSCROLL | WS_BORDER | WS_TABSTOP;
constexpr DWORD kListStyle = CBS_DROPDOWNLIST | WS_VSCROLL | WS_TABSTOP;

struct Column {
    int left;
    int top;
};

// Appends a group box and the rows of `fields` that belong to `group`; returns the bottom of the box.
int AddGroup(std::vector<DialogControl>& controls,
             std::vector<Text>& labels,
             const std::vector<Field>& fields,
             FieldGroup group,
             int group_id,
             const char16_t* title,
             Column at) {
    size_t rows = 0;
    for (const Field& field : fields) {
        rows += field.group == group ? 1 : 0;
    }
    const int height = kGroupTitle + static_cast<int>(rows) * kRowPitch + 60;
    controls.push_back({group_id, WC_BUTTONW, title, BS_GROUPBOX, {at.left, at.top, kGroupWidth, height}});
    int top = at.top + kGroupTitle;
    for (size_t i = 0; i < fields.size(); ++i) {
        const Field& field = fields[i];
        if (field.group != group) {
            continue;
        }
        labels.push_back(field.label);
        controls.push_back({id::FieldLabel(i),
                            WC_STATICW,
                            labels.back().c_str(),
                            kLabelStyle,
                            {at.left + kLabelLeft, top, kLabelWidth, kRowHeight}});
        const int left = at.left + kControlLeft;
        if (field.kind != FieldKind::kList) {
            controls.push_back(
                {id::FieldControl(i), WC_EDITW, u"", kEditStyle, {left, top, kControlWidth, kRowHeight}});
        } else if (!field.TakesText(static_cast<int>(field.choices.size()) - 1)) {
            controls.push_back(
                {id::FieldControl(i), WC_COMBOBOXW, u"", kListStyle, {left, top, kControlWidth, kRowHeight}});
        } else {
            controls.push_back(
                {id::FieldControl(i), WC_COMBOBOXW, u"", kListStyle, {left, top, kListWidth, kRowHeight}});
            controls.push_back({id::FieldText(i),
                                WC_EDITW,
                                u"",
                                kEditStyle,
                                {left + kListWidth + 90, top, kControlWidth - kListWidth - 90, kRowHeight}});
        }
        top += kRowPitch;
    }
    return at.top + height;
}

struct Layout {
    DialogLayout dialog;
    std::vector<Text> labels;  // the captions the layout points into
};

void MakeLayout(const std::vector<Field>& fields, Layout& layout) {
    std::vector<DialogControl>& controls = layout.dialog.controls;
    layout.labels.reserve(fields.size());
    const int left = kMargin;
    const int right = kMargin + kGroupWidth + kColumnGap;
    int left_bottom =
        AddGroup(controls, layout.labels, fields, FieldGroup::kWhat, kWhatGroup, u"What is typed", {left, 60});
    // The Try box under what it tries.
    const int try_top = left_bottom + 90;
    const int try_height = kGroupTitle + 2 * kRowPitch + 60;
    controls.push_back({kTryGroup, WC_BUTTONW, u"Try a sample", BS_GROUPBOX, {left, try_top, kGroupWidth, try_height}});
    int top = try_top + kGroupTitle;
    controls.push_back(
        {kTryLabel, WC_STATICW, u"&Try (received):", kLabelStyle, {left + kLabelLeft, top, kLabelWidth, kRowHeight}});
    controls.push_back(
        {id::kTrySample, WC_EDITW, u"", kEditStyle, {left + kControlLeft, top, kControlWidth, kRowHeight}});
    top += kRowPitch;
    controls.push_back({kTryResultLabel,
                        WC_STATICW,
                        u"Typed:",
                        kLabelStyle | SS_NOPREFIX,
                        {left + kLabelLeft, top, kLabelWidth, kRowHeight}});
    controls.push_back({id::kTryResult,
                        WC_EDITW,
                        u"",
                        ES_AUTOHSCROLL | ES_READONLY | WS_BORDER,
                        {left + kControlLeft, top, kControlWidth, kRowHeight}});
    left_bottom = try_top + try_height;

    int right_bottom =
        AddGroup(controls, layout.labels, fields, FieldGroup::kHow, kHowGroup, u"How it is typed", {right, 60});
    right_bottom = AddGroup(controls, layout.labels, fields, FieldGroup::kRequest, kRequestGroup, u"Asking the device",
                            {right, right_bottom + 90});

    const int width = right + kGroupWidth + kMargin;
    const int buttons_top = std::max(left_bottom, right_bottom) + 150;
    controls.push_back({id::kPolicyNote,
                        WC_STATICW,
                        u"",
                        SS_LEFT | SS_NOPREFIX,
                        {left, buttons_top + 45, width - 2 * kMargin - 2 * kButtonWidth - 240, kRowHeight}});
    controls.push_back({id::kOk,
                        WC_BUTTONW,
                        u"OK",
                        BS_DEFPUSHBUTTON | WS_TABSTOP,
                        {width - kMargin - 2 * kButtonWidth - 120, buttons_top, kButtonWidth, kButtonHeight}});
    controls.push_back({id::kCancel,
                        WC_BUTTONW,
                        u"Cancel",
                        BS_PUSHBUTTON | WS_TABSTOP,
                        {width - kMargin - kButtonWidth, buttons_top, kButtonWidth, kButtonHeight}});
    layout.dialog.title = kOutputSettingsTitle;
    layout.dialog.client_width = width;
    layout.dialog.client_height = buttons_top + kButtonHeight + kMargin;
    layout.dialog.default_id = id::kOk;
    layout.dialog.focus_id = id::FieldControl(0);
}

Text WindowText(HWND window) {
    const int length = GetWindowTextLengthW(window);
    std::wstring text(static_cast<size_t>(length) + 1, L'\0');
    const int got = GetWindowTextW(window, text.data(), length + 1);
    return FromWide(text.c_str(), static_cast<size_t>(got > 0 ? got : 0));
}

bool IsModifierKey(WPARAM key) {
    switch (key) {
        case VK_SHIFT:
        case VK_CONTROL:
        case VK_MENU:
        case VK_LWIN:
        case VK_RWIN:
        case VK_LSHIFT:
        case VK_RSHIFT:
        case VK_LCONTROL:
        case VK_RCONTROL:
        case VK_LMENU:
        case VK_RMENU:
            return true;
        default:
            return false;
    }
}

bool Down(int key) {
    return (GetKeyState(key) & 0x8000) != 0;
}

// The hotkey box takes the combination pressed and shows its canonical name; Backspace or Delete alone empties
// it. Tab, Enter and Esc stay the dialog's, and the box takes no typed characters.
LRESULT CALLBACK HotkeyBoxProc(HWND box, UINT message, WPARAM wparam, LPARAM lparam, UINT_PTR, DWORD_PTR) {
    switch (message) {
        case WM_KEYDOWN:
        case WM_SYSKEYDOWN: {
            if (IsModifierKey(wparam)) {
                return 0;
            }
            Hotkey hotkey;
            hotkey.key = static_cast<uint32_t>(wparam);
            hotkey.modifiers = (Down(VK_MENU) ? MOD_ALT : 0u) | (Down(VK_CONTROL) ? MOD_CONTROL : 0u) |
                               (Down(VK_SHIFT) ? MOD_SHIFT : 0u) | (Down(VK_LWIN) || Down(VK_RWIN) ? MOD_WIN : 0u);
            const bool clear = hotkey.modifiers == 0 && (wparam == VK_BACK || wparam == VK_DELETE);
            const Text name = clear ? Text() : FormatHotkey(hotkey);
            SetWindowTextW(box, Wide(name));
            SendMessageW(box, EM_SETSEL, static_cast<WPARAM>(name.size()), static_cast<LPARAM>(name.size()));
            return 0;
        }
        case WM_CHAR:
        case WM_SYSCHAR:
        case WM_PASTE:
        case WM_CUT:
        case WM_CLEAR:
            return 0;
        default:
            return DefSubclassProc(box, message, wparam, lparam);
    }
}

class Win32OutputSettingsView : public OutputSettingsView {
  public:
    Win32OutputSettingsView(DialogWindow& dialog, const std::vector<corvanta::Field>& fields)
        : dialog_(dialog), fields_(fields) {}

    void ShowField(size_t field,
                   const std::vector<Text>& choices,
                   const FieldState& state,
                   bool policy,
                   bool text_enabled) override {
        HWND control = dialog_.Item(id::FieldControl(field));
        if (fields_[field].kind == FieldKind::kList) {
            SendMessageW(control, CB_RESETCONTENT, 0, 0);
            for (const Text& choice : choices) {
                SendMessageW(control, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(Wide(choice)));
            }
            SendMessageW(control, CB_SETCURSEL, static_cast<WPARAM>(state.choice), 0);
            if (HWND text = GetDlgItem(dialog_.hWnd(), id::FieldText(field))) {
                SetWindowTextW(text, Wide(state.text));
                EnableWindow(text, text_enabled ? TRUE : FALSE);
            }
        } else {
            SetWindowTextW(control, Wide(state.text));
        }
        EnableWindow(control, policy ? FALSE : TRUE);
        EnableWindow(dialog_.Item(id::FieldLabel(field)), policy ? FALSE : TRUE);
    }

    void EnableFieldText(size_t field, bool enabled) override {
        if (HWND text = GetDlgItem(dialog_.hWnd(), id::FieldText(field))) {
            EnableWindow(text, enabled ? TRUE : FALSE);
        }
    }

    FieldState Field(size_t field) const override {
        FieldState state;
        HWND control = dialog_.Item(id::FieldControl(field));
        if (fields_[field].kind == FieldKind::kList) {
            const LRESULT chosen = SendMessageW(control, CB_GETCURSEL, 0, 0);
            state.choice = chosen == CB_ERR ? -1 : static_cast<int>(chosen);
            if (HWND text = GetDlgItem(dialog_.hWnd(), id::FieldText(field))) {
                state.text = WindowText(text);
            }
        } else {
            state.text = WindowText(control);
        }
        return state;
    }

    void FocusField(size_t field) override {
        HWND text = GetDlgItem(dialog_.hWnd(), id::FieldText(field));
        HWND target = text != nullptr && IsWindowEnabled(text) ? text : dialog_.Item(id::FieldControl(field));
        SendMessageW(dialog_.hWnd(), WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(target), TRUE);
    }

    Text TrySample() const override { return WindowText(dialog_.Item(id::kTrySample)); }
    void SetTryResult(TextView text) override { SetWindowTextW(dialog_.Item(id::kTryResult), Wide(Text(text))); }
    void SetPolicyNote(TextView text) override { SetWindowTextW(dialog_.Item(id::kPolicyNote), Wide(Text(text))); }

  private:
    DialogWindow& dialog_;
    const std::vector<corvanta::Field>& fields_;
};

}  // namespace

void ShowOutputSettingsDialog(HINSTANCE instance, Registry& registry, const ValueContext& context) {
    if (BringOpenDialogToFront()) {
        return;
    }
    // The layout needs the fields (their groups, and which lists take text); the form loads its own, the same.
    const std::vector<Field> fields = MakeFields({});
    Layout layout;
    MakeLayout(fields, layout);
    DialogWindow dialog(instance, layout.dialog);
    for (size_t i = 0; i < fields.size(); ++i) {
        dialog.WidenToText(id::FieldLabel(i));
        if (fields[i].kind == FieldKind::kList) {
            dialog.FitDropDown(id::FieldControl(i), kRowHeight, kVisibleEntries);
        }
        if (fields[i].kind == FieldKind::kHotkey &&
            !SetWindowSubclass(dialog.Item(id::FieldControl(i)), &HotkeyBoxProc, 1, 0)) {
            ThrowLastError(u"Preparing the hotkey box");
        }
    }
    DialogFormHost host(instance, dialog);
    Win32OutputSettingsView view(dialog, fields);
    frmOutputSettings form(view, {registry, context, host, [&dialog] { dialog.Unload(); }});

    bool loading = true;
    dialog.OnCommand = [&form](int command) {
        if (command == id::kOk) {
            form.cmdOK_Click();
        } else if (command == id::kCancel) {
            form.cmdCancel_Click();
        }
    };
    dialog.OnNotify = [&](int control, int code) {
        if (loading) {
            return;
        }
        if (control == id::kTrySample && code == EN_CHANGE) {
            form.txtTry_Change();
            return;
        }
        for (size_t i = 0; i < fields.size(); ++i) {
            const bool list_changed = control == id::FieldControl(i) && code == CBN_SELCHANGE;
            const bool text_changed =
                (control == id::FieldControl(i) || control == id::FieldText(i)) && code == EN_CHANGE;
            if (list_changed || text_changed) {
                form.Field_Change(i);
            }
        }
    };
    dialog.ShowModal([&] {
        // Form_Load
        dialog.CentreOnScreen();
        form.Form_Load();
        loading = false;
    });
}

}  // namespace corvanta::win32
