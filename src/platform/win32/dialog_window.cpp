#include "platform/win32/dialog_window.h"

#include <commctrl.h>

#include <algorithm>
#include <memory>
#include <stdexcept>
#include <string>

#include "platform/win32/unhandled_error.h"
#include "platform/win32/win32_error.h"
#include "platform/win32/win32_form_host.h"
#include "platform/win32/window_routing.h"
#include "resource.h"

namespace corvanta::win32 {

namespace {

// One dialog at a time: the program's dialogs are modal, and the tray menu asks for this one to come forward
// rather than opening another.
HWND g_open_dialog = nullptr;

// An empty dialog template: the controls are placed in pixels afterwards, not in dialog units.
struct alignas(DWORD) EmptyTemplate {
    DLGTEMPLATE header;
    WORD menu;
    WORD window_class;
    WORD title;
};

UniqueFont MessageFont() {
    NONCLIENTMETRICSW metrics{};
    metrics.cbSize = sizeof(metrics);
    if (SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof(metrics), &metrics, 0)) {
        return UniqueFont(CreateFontIndirectW(&metrics.lfMessageFont));
    }
    return UniqueFont();
}

void LoadProgramIcon(HINSTANCE instance, HWND window) {
    // Shown on the taskbar button; a host without the icon resource (a test) simply has none.
    const struct {
        WPARAM kind;
        int metric;
    } sizes[] = {{ICON_SMALL, SM_CXSMICON}, {ICON_BIG, SM_CXICON}};
    for (const auto& size : sizes) {
        const int pixels = GetSystemMetrics(size.metric);
        if (HANDLE icon = LoadImageW(instance, MAKEINTRESOURCEW(IDI_CORVANTA), IMAGE_ICON, pixels, pixels, LR_SHARED)) {
            SendMessageW(window, WM_SETICON, size.kind, reinterpret_cast<LPARAM>(icon));
        }
    }
}

}  // namespace

DialogWindow::DialogWindow(HINSTANCE instance, const DialogLayout& layout)
    : default_id_(layout.default_id), focus_id_(layout.focus_id) {
    if (const ScopedGetDC screen(nullptr); screen.Get() != nullptr) {
        dpi_x_ = GetDeviceCaps(screen.Get(), LOGPIXELSX);
        dpi_y_ = GetDeviceCaps(screen.Get(), LOGPIXELSY);
    }
    owned_font_ = MessageFont();
    font_ = owned_font_.Get() != nullptr ? owned_font_.Get() : static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT));

    // A real dialog (not a window of our own class) so that the dialog manager handles Tab, Enter, Esc and the
    // default button exactly as users know it; the modal loop stays ours.
    EmptyTemplate dialog_template{};
    dialog_template.header.style = WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME;
    dialog_template.header.dwExtendedStyle = WS_EX_APPWINDOW | WS_EX_CONTROLPARENT;
    HWND hwnd = CreateDialogIndirectParamW(instance, &dialog_template.header, nullptr, &DialogWindow::DialogProc,
                                           reinterpret_cast<LPARAM>(this));
    if (hwnd == nullptr) {
        ThrowLastError(u"Creating a dialog");
    }
    window_.Reset(hwnd);
    const Text title(layout.title);
    SetWindowTextW(hwnd, Wide(title));
    LoadProgramIcon(instance, hwnd);

    RECT frame{0, 0, PixelsX(layout.client_width), PixelsY(layout.client_height)};
    AdjustWindowRectEx(&frame, static_cast<DWORD>(GetWindowLongPtrW(hwnd, GWL_STYLE)), FALSE,
                       static_cast<DWORD>(GetWindowLongPtrW(hwnd, GWL_EXSTYLE)));
    SetWindowPos(hwnd, nullptr, 0, 0, frame.right - frame.left, frame.bottom - frame.top,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);

    // Children are linked in creation order, which is the tab order the dialog manager follows.
    try {
        CreateControls(instance, layout);
    } catch (...) {
        // The window is destroyed while this object is half built: it must not be reached from there.
        SetWindowLongPtrW(hwnd, DWLP_USER, 0);
        throw;
    }
    SendMessageW(hwnd, DM_SETDEFID, static_cast<WPARAM>(default_id_), 0);
}

void DialogWindow::CreateControls(HINSTANCE instance, const DialogLayout& layout) {
    HWND hwnd = window_.Get();
    for (const DialogControl& control : layout.controls) {
        const Text caption(control.caption);
        HWND child = CreateWindowExW(0, control.window_class, Wide(caption), WS_CHILD | WS_VISIBLE | control.style,
                                     PixelsX(control.place.left), PixelsY(control.place.top),
                                     PixelsX(control.place.width), PixelsY(control.place.height), hwnd,
                                     reinterpret_cast<HMENU>(static_cast<INT_PTR>(control.id)), instance, nullptr);
        if (child == nullptr) {
            ThrowLastError(u"Creating a dialog control");
        }
        SendMessageW(child, WM_SETFONT, reinterpret_cast<WPARAM>(font_), FALSE);
    }
}

DialogWindow::~DialogWindow() {
    if (HWND hwnd = window_.Get()) {
        if (g_open_dialog == hwnd) {
            g_open_dialog = nullptr;
        }
        SetWindowLongPtrW(hwnd, DWLP_USER, 0);
    }
}

HWND DialogWindow::Item(int id) const {
    HWND item = GetDlgItem(window_.Get(), id);
    if (item == nullptr) {
        throw Error(u"The dialog has no control " + AsciiText(std::to_string(id)) + u".");
    }
    return item;
}

HFONT DialogWindow::KeepFont(UniqueFont font) {
    kept_fonts_.push_back(std::move(font));
    return kept_fonts_.back().Get();
}

void DialogWindow::SetControlFont(int id, HFONT font) {
    SendMessageW(Item(id), WM_SETFONT, reinterpret_cast<WPARAM>(font), TRUE);
}

void DialogWindow::SetTextColour(int id, COLORREF colour) {
    text_colours_[id] = colour;
}

void DialogWindow::WidenToText(int id) {
    HWND item = Item(id);
    const int length = GetWindowTextLengthW(item);
    std::wstring text(static_cast<size_t>(length) + 1, L'\0');
    GetWindowTextW(item, text.data(), length + 1);
    SIZE extent{};
    if (const ScopedGetDC dc(item); dc.Get() != nullptr) {
        const ScopedSelectObject font(dc.Get(), reinterpret_cast<HGDIOBJ>(SendMessageW(item, WM_GETFONT, 0, 0)));
        GetTextExtentPoint32W(dc.Get(), text.c_str(), length, &extent);
    }
    RECT box{};
    GetWindowRect(item, &box);
    if (extent.cx > box.right - box.left) {
        SetWindowPos(item, nullptr, 0, 0, extent.cx + 1, box.bottom - box.top,
                     SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    }
}

void DialogWindow::FitDropDown(int id, int closed_height_twips, int entries) {
    HWND combo = Item(id);
    // A combo box sizes its closed height from the selection field's height, not from its window: adjust the
    // field by what the closed box is off.
    const int closed = PixelsY(closed_height_twips);
    RECT box{};
    GetWindowRect(combo, &box);
    const LRESULT field = SendMessageW(combo, CB_GETITEMHEIGHT, static_cast<WPARAM>(-1), 0);
    const int wanted_field = static_cast<int>(field) + closed - (box.bottom - box.top);
    if (field != CB_ERR && wanted_field > 0) {
        SendMessageW(combo, CB_SETITEMHEIGHT, static_cast<WPARAM>(-1), wanted_field);
    }
    // The window's height is the dropped height; newer common controls go by CB_SETMINVISIBLE instead.
    const LRESULT item = SendMessageW(combo, CB_GETITEMHEIGHT, 0, 0);
    const int item_height = item == CB_ERR ? closed : static_cast<int>(item);
    GetWindowRect(combo, &box);
    SetWindowPos(combo, nullptr, 0, 0, box.right - box.left, closed + entries * item_height + 2,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    SendMessageW(combo, CB_SETMINVISIBLE, static_cast<WPARAM>(entries), 0);
}

RECT WorkAreaUnderPointer() {
    POINT pointer{};
    GetCursorPos(&pointer);
    MONITORINFO monitor{};
    monitor.cbSize = sizeof(monitor);
    RECT work{};
    if (GetMonitorInfoW(MonitorFromPoint(pointer, MONITOR_DEFAULTTOPRIMARY), &monitor)) {
        work = monitor.rcWork;
    } else {
        SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
    }
    return work;
}

void DialogWindow::CentreOnScreen() {
    HWND hwnd = window_.Get();
    const RECT work = WorkAreaUnderPointer();
    RECT frame{};
    GetWindowRect(hwnd, &frame);
    const int width = frame.right - frame.left;
    const int height = frame.bottom - frame.top;
    // On a screen smaller than the dialog the title bar stays reachable.
    const int left = std::max(work.left, work.left + (work.right - work.left - width) / 2);
    const int top = std::max(work.top, work.top + (work.bottom - work.top - height) / 2);
    SetWindowPos(hwnd, nullptr, left, top, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void DialogWindow::ShowModal(const std::function<void()>& Form_Load) {
    HWND hwnd = window_.Get();
    Form_Load();
    g_open_dialog = hwnd;
    struct Unpublish {
        ~Unpublish() { g_open_dialog = nullptr; }
    } unpublish;

    // No owner is disabled: the main form is hidden, and the tray icon must still answer (it brings this
    // dialog forward) while the dialog is open.
    ShowWindow(hwnd, SW_SHOW);
    SetForegroundWindow(hwnd);
    SendMessageW(hwnd, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(Item(focus_id_)), TRUE);
    FollowFocus();

    MSG msg;
    while (!unloaded_) {
        const BOOL got = GetMessageW(&msg, nullptr, 0, 0);
        if (got == -1) {
            ThrowLastError(u"GetMessageW");
        }
        if (got == 0) {
            // The program is ending: the main loop must see the quit message too.
            PostQuitMessage(static_cast<int>(msg.wParam));
            break;
        }
        if (!IsDialogMessageW(hwnd, &msg) && !HandleDialogKeys(msg)) {
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
        FollowFocus();
    }
    ShowWindow(hwnd, SW_HIDE);
}

void DialogWindow::FollowFocus() {
    // As in every dialog, a push button that has the focus is the one Enter presses; elsewhere the default
    // button is. DM_SETDEFID also moves the default button's bold frame.
    HWND focus = GetFocus();
    if (focus == last_focus_ || !IsChild(window_.Get(), focus)) {
        return;
    }
    last_focus_ = focus;
    const LRESULT code = SendMessageW(focus, WM_GETDLGCODE, 0, 0);
    const bool push_button = (code & (DLGC_DEFPUSHBUTTON | DLGC_UNDEFPUSHBUTTON)) != 0;
    SendMessageW(window_.Get(), DM_SETDEFID, static_cast<WPARAM>(push_button ? GetDlgCtrlID(focus) : default_id_), 0);
}

INT_PTR CALLBACK DialogWindow::DialogProc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
    if (message == WM_INITDIALOG) {
        SetWindowLongPtrW(hwnd, DWLP_USER, lparam);
        return FALSE;
    }
    auto* self = reinterpret_cast<DialogWindow*>(GetWindowLongPtrW(hwnd, DWLP_USER));
    if (self == nullptr) {
        return FALSE;
    }
    // An exception must never unwind through the system's code that called us.
    try {
        return self->HandleMessage(message, wparam, lparam);
    } catch (const std::exception& error) {
        ReportUnhandledError(error);
    } catch (...) {
        ReportUnhandledError(std::runtime_error("An unexpected error occurred."));
    }
    return TRUE;
}

INT_PTR DialogWindow::HandleMessage(UINT message, WPARAM wparam, LPARAM lparam) {
    switch (message) {
        case WM_COMMAND:
            // BN_CLICKED is 0, which no combo box notification is; Esc arrives as IDCANCEL with code 0 too.
            if (HIWORD(wparam) == BN_CLICKED && OnCommand) {
                OnCommand(LOWORD(wparam));
                return TRUE;
            }
            if (lparam != 0 && OnNotify) {
                OnNotify(LOWORD(wparam), HIWORD(wparam));
                return TRUE;
            }
            return FALSE;
        case WM_CLOSE:
            if (OnCommand) {
                OnCommand(IDCANCEL);
            }
            return TRUE;
        case WM_PAINT:
            if (OnPaint) {
                const ScopedPaint paint(window_.Get());
                OnPaint(paint.Get());
                return TRUE;
            }
            return FALSE;
        case WM_CTLCOLORSTATIC: {
            const auto found = text_colours_.find(GetDlgCtrlID(reinterpret_cast<HWND>(lparam)));
            if (found == text_colours_.end()) {
                return FALSE;
            }
            HDC dc = reinterpret_cast<HDC>(wparam);
            SetTextColor(dc, found->second);
            SetBkColor(dc, GetSysColor(COLOR_BTNFACE));
            return reinterpret_cast<INT_PTR>(GetSysColorBrush(COLOR_BTNFACE));
        }
        default:
            return FALSE;
    }
}

HWND OpenDialogWindow() {
    return g_open_dialog;
}

bool BringOpenDialogToFront() {
    HWND dialog = g_open_dialog;
    if (dialog == nullptr) {
        return false;
    }
    if (IsIconic(dialog)) {
        ShowWindow(dialog, SW_RESTORE);
    }
    // While the dialog shows a message box, the box is what must come forward: the dialog is disabled.
    SetForegroundWindow(GetLastActivePopup(dialog));
    return true;
}

PictureRef DialogFormHost::LoadResIcon(int id) {
    return LoadSharedIcon(instance_, id, 0, u"Loading an icon");
}

void DialogFormHost::SetIcon(PictureRef icon) {
    icon_ = std::move(icon);
    SetWindowIcons(dialog_.hWnd(), icon_);
}

void DialogFormHost::Hide() {
    ShowWindow(dialog_.hWnd(), SW_HIDE);
}

int DialogFormHost::MsgBox(TextView prompt, uint32_t style, TextView title) {
    const Text text(prompt);
    const Text caption(title);
    const int result = MessageBoxW(dialog_.hWnd(), Wide(text), Wide(caption), style);
    if (result == 0) {
        ThrowLastError(u"MessageBoxW");
    }
    return result;
}

}  // namespace corvanta::win32
