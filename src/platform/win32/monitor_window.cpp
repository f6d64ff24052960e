#include "platform/win32/monitor_window.h"

#include <commctrl.h>

#include <algorithm>
#include <array>
#include <optional>
#include <string>
#include <utility>

#include "platform/win32/dialog_window.h"
#include "platform/win32/handles.h"
#include "platform/win32/win32_error.h"
#include "platform/win32/win32_row_list.h"
#include "platform/win32/window_routing.h"
#include "resource.h"

namespace corvanta::win32 {

namespace {

namespace id = monitor_id;

// The places of the controls, in pixels at 96 dpi: the margins and gaps of Windows' dialog layout.
constexpr int kMargin = 11;
constexpr int kGap = 7;
constexpr int kMinButtonWidth = 75;
constexpr int kMinControlHeight = 23;
constexpr int kMinSendBoxWidth = 120;
constexpr int kMinListHeight = 80;
constexpr int kOpeningWidth = 640;
constexpr int kOpeningHeight = 400;
constexpr int kColumnPadding = 16;

constexpr const char16_t* kColumnTitles[kColumnCount] = {u"Time", u"Received", u"Typed", u"Status"};

// The per-monitor DPI functions came with Windows 10 version 1607; before it every window has the system's DPI. They
// are looked up at run time, so that the program still starts on older Windows.
template <typename Function>
Function User32Function(const char* name) {
    const HMODULE user32 = GetModuleHandleW(L"user32.dll");
    return user32 == nullptr ? nullptr
                             : reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(user32, name)));
}

UINT SystemDpi() {
    const ScopedGetDC screen(nullptr);
    const int dpi = screen.Get() != nullptr ? GetDeviceCaps(screen.Get(), LOGPIXELSY) : 0;
    return dpi > 0 ? static_cast<UINT>(dpi) : USER_DEFAULT_SCREEN_DPI;
}

UINT WindowDpi(HWND window) {
    using GetDpiForWindowFunction = UINT(WINAPI*)(HWND);
    static const auto get_dpi = User32Function<GetDpiForWindowFunction>("GetDpiForWindow");
    const UINT dpi = get_dpi != nullptr ? get_dpi(window) : 0;
    return dpi != 0 ? dpi : SystemDpi();
}

// The system's message font for this DPI; none when the system does not say.
UniqueFont MessageFont(UINT dpi) {
    using ForDpiFunction = BOOL(WINAPI*)(UINT, UINT, PVOID, UINT, UINT);
    static const auto for_dpi = User32Function<ForDpiFunction>("SystemParametersInfoForDpi");
    NONCLIENTMETRICSW metrics{};
    metrics.cbSize = sizeof(metrics);
    if (for_dpi != nullptr && for_dpi(SPI_GETNONCLIENTMETRICS, sizeof(metrics), &metrics, 0, dpi)) {
        return UniqueFont(CreateFontIndirectW(&metrics.lfMessageFont));
    }
    if (!SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof(metrics), &metrics, 0)) {
        return UniqueFont();
    }
    metrics.lfMessageFont.lfHeight =
        MulDiv(metrics.lfMessageFont.lfHeight, static_cast<int>(dpi), static_cast<int>(SystemDpi()));
    return UniqueFont(CreateFontIndirectW(&metrics.lfMessageFont));
}

// The frame around a client area of this size at this DPI.
SIZE FrameSize(HWND window, int client_width, int client_height, UINT dpi) {
    using AdjustFunction = BOOL(WINAPI*)(LPRECT, DWORD, BOOL, DWORD, UINT);
    static const auto adjust_for_dpi = User32Function<AdjustFunction>("AdjustWindowRectExForDpi");
    RECT frame{0, 0, client_width, client_height};
    const auto style = static_cast<DWORD>(GetWindowLongPtrW(window, GWL_STYLE));
    const auto ex_style = static_cast<DWORD>(GetWindowLongPtrW(window, GWL_EXSTYLE));
    if (adjust_for_dpi == nullptr || !adjust_for_dpi(&frame, style, FALSE, ex_style, dpi)) {
        AdjustWindowRectEx(&frame, style, FALSE, ex_style);
    }
    return {frame.right - frame.left, frame.bottom - frame.top};
}

Text WindowText(HWND window) {
    const int length = GetWindowTextLengthW(window);
    std::wstring text(static_cast<size_t>(std::max(length, 0)) + 1, L'\0');
    const int copied = GetWindowTextW(window, text.data(), static_cast<int>(text.size()));
    return FromWide(text.data(), static_cast<size_t>(std::max(copied, 0)));
}

// One control of the window, in tab order: a label comes right before the control its mnemonic reaches.
struct ControlDef {
    int id;
    const wchar_t* window_class;
    const char16_t* caption;
    DWORD style;
    DWORD ex_style = 0;
};

constexpr DWORD kLabel = SS_LEFT | SS_NOPREFIX;
constexpr DWORD kButton = BS_PUSHBUTTON | BS_NOTIFY | WS_TABSTOP;

const ControlDef kControls[] = {
    {id::kRecordsLabel, WC_STATICW, u"&Records:", SS_LEFT},
    {id::kRecords, WC_LISTVIEWW, u"", LVS_REPORT | LVS_SHOWSELALWAYS | LVS_NOSORTHEADER | WS_TABSTOP, WS_EX_CLIENTEDGE},
    {id::kCopy, WC_BUTTONW, u"&Copy", kButton},
    {id::kClear, WC_BUTTONW, u"C&lear", kButton},
    {id::kSendLabel, WC_STATICW, u"Te&xt to send:", SS_LEFT},
    {id::kSendText, WC_EDITW, u"", ES_AUTOHSCROLL | WS_TABSTOP, WS_EX_CLIENTEDGE},
    {id::kSend, WC_BUTTONW, u"&Send", kButton},
    {id::kRequest, WC_BUTTONW, u"Re&quest", kButton | WS_DISABLED},
    {id::kStatus, WC_STATICW, u"", kLabel | SS_EDITCONTROL},
};

constexpr int kButtons[] = {id::kCopy, id::kClear, id::kSend, id::kRequest};

}  // namespace

// One Monitor window: its controls, their font for the window's DPI, and the logic its messages are routed to.
class MonitorForm : public MonitorView {
  public:
    MonitorForm(HINSTANCE instance, const MonitorServices& services);
    ~MonitorForm() override;
    MonitorForm(const MonitorForm&) = delete;
    MonitorForm& operator=(const MonitorForm&) = delete;

    bool IsOpen() const { return window_.Valid(); }
    HWND hWnd() const { return window_.Get(); }
    void BringToFront();

    Text SendText() const override { return WindowText(Item(id::kSendText)); }
    void SetStatus(TextView text) override;
    void EnableRequest(bool enabled) override;

    LRESULT HandleMessage(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam);

  private:
    HWND Item(int control_id) const { return GetDlgItem(window_.Get(), control_id); }
    int Px(int pixels_at_96_dpi) const { return MulDiv(pixels_at_96_dpi, static_cast<int>(dpi_), 96); }

    void CreateControls(HINSTANCE instance);
    // The font and icons for the window's DPI, given to every control.
    void TakeDpi(UINT dpi);
    void SizeColumns();
    // The places of the controls for the client area's size.
    void Layout();
    SIZE MinimumClientSize() const;
    int TextWidth(HWND control) const;
    void PlaceOnScreen();
    // As in a dialog, Enter presses the push button that has the focus, and Send while the Send box has it;
    // elsewhere (in the list) it presses nothing.
    int DefaultButton() const;
    void ShowDefaultButton();
    void Close();

    void OnCommand(int control_id, int code);
    LRESULT OnNotify(const NMHDR& header);

    // Declared before the window, so that they outlive its controls.
    UniqueFont font_;
    UniqueIcon small_icon_;
    UniqueIcon big_icon_;
    UniqueHwnd window_;
    UINT dpi_ = USER_DEFAULT_SCREEN_DPI;
    int line_height_ = 16;
    HWND saved_focus_ = nullptr;
    std::optional<Win32RowList> rows_;
    // Made once the controls exist; until then (while the window is being created) messages reach only Windows.
    std::optional<frmMonitor> logic_;
};

MonitorForm::MonitorForm(HINSTANCE instance, const MonitorServices& services) {
    // The list view is no window class of user32: the common controls register it.
    INITCOMMONCONTROLSEX classes{sizeof(classes), ICC_LISTVIEW_CLASSES | ICC_STANDARD_CLASSES};
    if (!InitCommonControlsEx(&classes)) {
        throw Error(u"Opening the Monitor: the list control of the common controls is not available.");
    }
    WNDCLASSEXW window_class{};
    window_class.cbSize = sizeof(window_class);
    window_class.lpfnWndProc = &RoutingWindowProc<MonitorForm>;
    window_class.hInstance = instance;
    window_class.hCursor = LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
    window_class.hbrBackground = reinterpret_cast<HBRUSH>(static_cast<INT_PTR>(COLOR_BTNFACE + 1));
    window_class.lpszClassName = kMonitorClassName;
    if (RegisterClassExW(&window_class) == 0 && GetLastError() != ERROR_CLASS_ALREADY_EXISTS) {
        ThrowLastError(u"Registering the Monitor's window class");
    }
    const Text title(kMonitorTitle);
    // Unowned and with a taskbar button: the program has no other window where a user would look for it.
    HWND hwnd = CreateWindowExW(WS_EX_APPWINDOW | WS_EX_CONTROLPARENT, kMonitorClassName, Wide(title),
                                WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN, CW_USEDEFAULT, CW_USEDEFAULT, kOpeningWidth,
                                kOpeningHeight, nullptr, nullptr, instance, this);
    if (hwnd == nullptr) {
        ThrowLastError(u"Opening the Monitor");
    }
    window_.Reset(hwnd);
    try {
        CreateControls(instance);
        rows_.emplace(Item(id::kRecords));
        logic_.emplace(*rows_, *this, services);
        TakeDpi(WindowDpi(hwnd));
        PlaceOnScreen();
        SizeColumns();
        logic_->Form_Load();
    } catch (...) {
        // The window goes with this half-made object: it must not be reached from there.
        SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0);
        throw;
    }
    TakeDialogKeys(hwnd);
    ShowWindow(hwnd, SW_SHOW);
    SetForegroundWindow(hwnd);
    SetFocus(Item(id::kSendText));
    ShowDefaultButton();
}

MonitorForm::~MonitorForm() {
    if (window_.Valid()) {
        // Its last messages, sent while it is destroyed, go to Windows alone: the logic goes first.
        StopDialogKeys(window_.Get());
        SetWindowLongPtrW(window_.Get(), GWLP_USERDATA, 0);
    }
}

void MonitorForm::CreateControls(HINSTANCE instance) {
    // Children are linked in creation order, which is the order Tab follows.
    for (const ControlDef& control : kControls) {
        const Text caption(control.caption);
        HWND child = CreateWindowExW(control.ex_style, control.window_class, Wide(caption),
                                     WS_CHILD | WS_VISIBLE | control.style, 0, 0, 0, 0, window_.Get(),
                                     reinterpret_cast<HMENU>(static_cast<INT_PTR>(control.id)), instance, nullptr);
        if (child == nullptr) {
            ThrowLastError(u"Opening the Monitor");
        }
    }
    HWND list = Item(id::kRecords);
    SendMessageW(list, LVM_SETEXTENDEDLISTVIEWSTYLE, 0, LVS_EX_FULLROWSELECT | LVS_EX_DOUBLEBUFFER | LVS_EX_LABELTIP);
    for (size_t column = 0; column < kColumnCount; ++column) {
        const Text title(kColumnTitles[column]);
        LVCOLUMNW definition{};
        definition.mask = LVCF_TEXT | LVCF_FMT | LVCF_SUBITEM;
        definition.fmt = LVCFMT_LEFT;
        definition.pszText = const_cast<wchar_t*>(Wide(title));
        definition.iSubItem = static_cast<int>(column);
        if (SendMessageW(list, LVM_INSERTCOLUMNW, column, reinterpret_cast<LPARAM>(&definition)) < 0) {
            throw Error(u"Opening the Monitor: the list refused its columns (not enough memory).");
        }
    }
}

void MonitorForm::TakeDpi(UINT dpi) {
    dpi_ = dpi;
    UniqueFont font = MessageFont(dpi);
    const HFONT shown = font.Valid() ? font.Get() : static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT));
    for (const ControlDef& control : kControls) {
        SendMessageW(Item(control.id), WM_SETFONT, reinterpret_cast<WPARAM>(shown), TRUE);
    }
    // The old font goes only once no control uses it.
    font_ = std::move(font);
    if (const ScopedGetDC dc(window_.Get()); dc.Get() != nullptr) {
        const ScopedSelectObject selected(dc.Get(), shown);
        TEXTMETRICW metrics{};
        if (GetTextMetricsW(dc.Get(), &metrics)) {
            line_height_ = metrics.tmHeight;
        }
    }
    // The program's icon in the sizes of the caption and of Alt+Tab at this DPI; without the resource (a test),
    // none.
    const auto load = [this](int pixels) {
        const int size = Px(pixels);
        return UniqueIcon(static_cast<HICON>(
            LoadImageW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDI_CORVANTA_APP), IMAGE_ICON, size, size, 0)));
    };
    UniqueIcon small_icon = load(16);
    UniqueIcon big_icon = load(32);
    SendMessageW(window_.Get(), WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(small_icon.Get()));
    SendMessageW(window_.Get(), WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(big_icon.Get()));
    small_icon_ = std::move(small_icon);
    big_icon_ = std::move(big_icon);
}

int MonitorForm::TextWidth(HWND control) const {
    const Text text = WindowText(control);
    SIZE extent{};
    if (const ScopedGetDC dc(control); dc.Get() != nullptr) {
        const ScopedSelectObject selected(dc.Get(), reinterpret_cast<HGDIOBJ>(SendMessageW(control, WM_GETFONT, 0, 0)));
        GetTextExtentPoint32W(dc.Get(), Wide(text), static_cast<int>(text.size()), &extent);
    }
    return extent.cx;
}

void MonitorForm::SizeColumns() {
    HWND list = Item(id::kRecords);
    // The time and the status take what their longest text needs; the received and typed columns share the rest.
    const auto needed = [list](std::initializer_list<const char16_t*> texts) {
        int widest = 0;
        for (const char16_t* text : texts) {
            widest = std::max(
                widest, static_cast<int>(SendMessageW(list, LVM_GETSTRINGWIDTHW, 0, reinterpret_cast<LPARAM>(text))));
        }
        return widest;
    };
    const int time = needed({u"Time", u"00:00:00.000"}) + Px(kColumnPadding);
    const int status =
        needed({u"Status", u"typed", u"no match", u"repeat", u"held", u"too long", u"no reply", u"waiting"}) +
        Px(kColumnPadding);
    RECT client{};
    GetClientRect(list, &client);
    const int rest = std::max(Px(200), static_cast<int>(client.right) - time - status - GetSystemMetrics(SM_CXVSCROLL));
    const std::array<int, kColumnCount> widths{time, rest * 11 / 20, rest - rest * 11 / 20, status};
    for (size_t column = 0; column < kColumnCount; ++column) {
        SendMessageW(list, LVM_SETCOLUMNWIDTH, column, MAKELPARAM(widths[column], 0));
    }
}

SIZE MonitorForm::MinimumClientSize() const {
    const int button = std::max(Px(kMinButtonWidth), [this] {
        int widest = 0;
        for (int button_id : kButtons) {
            widest = std::max(widest, TextWidth(Item(button_id)) + Px(24));
        }
        return widest;
    }());
    const int height = std::max(Px(kMinControlHeight), line_height_ + Px(9));
    const int send_row = TextWidth(Item(id::kSendLabel)) + Px(kGap) + Px(kMinSendBoxWidth) + 2 * (Px(kGap) + button);
    const int records_row = TextWidth(Item(id::kRecordsLabel)) + 2 * (Px(kGap) + button);
    return {2 * Px(kMargin) + std::max(send_row, records_row),
            2 * Px(kMargin) + 2 * height + Px(kMinListHeight) + 3 * Px(kGap) + 2 * line_height_};
}

void MonitorForm::Layout() {
    RECT client{};
    GetClientRect(window_.Get(), &client);
    const int margin = Px(kMargin);
    const int gap = Px(kGap);
    const int height = std::max(Px(kMinControlHeight), line_height_ + Px(9));
    int button = Px(kMinButtonWidth);
    for (int button_id : kButtons) {
        button = std::max(button, TextWidth(Item(button_id)) + Px(24));
    }
    const int right = std::max(static_cast<int>(client.right) - margin, margin + 2 * button + gap);
    const int status_height = 2 * line_height_;

    // Deferred, so that the controls move together without a flicker of each step.
    HDWP places = BeginDeferWindowPos(static_cast<int>(std::size(kControls)));
    const auto place = [&places, this](int control_id, int x, int y, int w, int h) {
        if (places != nullptr) {
            places = DeferWindowPos(places, Item(control_id), nullptr, x, y, std::max(w, 0), std::max(h, 0),
                                    SWP_NOZORDER | SWP_NOACTIVATE);
        }
    };
    const int label_offset = (height - line_height_) / 2;
    int y = margin;
    place(id::kRecordsLabel, margin, y + label_offset, TextWidth(Item(id::kRecordsLabel)) + Px(2), line_height_);
    place(id::kClear, right - button, y, button, height);
    place(id::kCopy, right - 2 * button - gap, y, button, height);
    const int list_top = y + height + gap;
    const int status_top = std::max(static_cast<int>(client.bottom) - margin - status_height,
                                    list_top + Px(kMinListHeight) + 2 * gap + height);
    const int send_top = status_top - gap - height;
    place(id::kRecords, margin, list_top, right - margin, send_top - gap - list_top);
    const int send_label = TextWidth(Item(id::kSendLabel)) + Px(2);
    place(id::kSendLabel, margin, send_top + label_offset, send_label, line_height_);
    place(id::kRequest, right - button, send_top, button, height);
    place(id::kSend, right - 2 * button - gap, send_top, button, height);
    const int box_left = margin + send_label + gap;
    place(id::kSendText, box_left, send_top, right - 2 * button - 2 * gap - box_left, height);
    place(id::kStatus, margin, status_top, right - margin, status_height);
    if (places != nullptr) {
        EndDeferWindowPos(places);
    }
}

void MonitorForm::PlaceOnScreen() {
    // Centred on the work area of the screen the pointer is on, and never larger than it.
    const RECT work = WorkAreaUnderPointer();
    const SIZE wanted = FrameSize(window_.Get(), Px(kOpeningWidth), Px(kOpeningHeight), dpi_);
    const int width = std::min<int>(wanted.cx, work.right - work.left);
    const int height = std::min<int>(wanted.cy, work.bottom - work.top);
    SetWindowPos(window_.Get(), nullptr, work.left + (work.right - work.left - width) / 2,
                 work.top + (work.bottom - work.top - height) / 2, width, height, SWP_NOZORDER | SWP_NOACTIVATE);
    Layout();
}

void MonitorForm::BringToFront() {
    if (IsIconic(window_.Get())) {
        ShowWindow(window_.Get(), SW_RESTORE);
    }
    SetForegroundWindow(window_.Get());
}

void MonitorForm::SetStatus(TextView text) {
    const Text shown(text);
    SetWindowTextW(Item(id::kStatus), Wide(shown));
}

void MonitorForm::EnableRequest(bool enabled) {
    HWND request = Item(id::kRequest);
    // A disabled button that had the focus would leave the keyboard nowhere.
    if (!enabled && GetFocus() == request) {
        SetFocus(Item(id::kSendText));
    }
    EnableWindow(request, enabled ? TRUE : FALSE);
}

int MonitorForm::DefaultButton() const {
    HWND focus = GetFocus();
    if (focus == Item(id::kSendText)) {
        return id::kSend;
    }
    for (int button_id : kButtons) {
        if (focus == Item(button_id)) {
            return button_id;
        }
    }
    return 0;
}

void MonitorForm::ShowDefaultButton() {
    // The button Enter would press gets the default button's frame, as in a dialog.
    const int default_id = DefaultButton();
    for (int button_id : kButtons) {
        const DWORD style = button_id == default_id ? BS_DEFPUSHBUTTON : BS_PUSHBUTTON;
        SendMessageW(Item(button_id), BM_SETSTYLE, style, TRUE);
    }
}

void MonitorForm::Close() {
    if (logic_) {
        logic_->Form_Unload();
    }
    DestroyWindow(window_.Get());
}

void MonitorForm::OnCommand(int control_id, int code) {
    if (control_id == id::kSendText && (code == EN_SETFOCUS || code == EN_KILLFOCUS)) {
        ShowDefaultButton();
        return;
    }
    if (code == BN_SETFOCUS || code == BN_KILLFOCUS) {
        ShowDefaultButton();
        return;
    }
    if (code != BN_CLICKED) {
        return;
    }
    switch (control_id) {
        case id::kSend:
            logic_->cmdSend_Click();
            break;
        case id::kRequest:
            logic_->cmdRequest_Click();
            break;
        case id::kCopy:
            logic_->cmdCopy_Click();
            break;
        case id::kClear:
            logic_->cmdClear_Click();
            break;
        case IDCANCEL:
            Close();
            break;
        default:
            // IDOK: Enter where no button is meant, as in the list.
            break;
    }
}

LRESULT MonitorForm::OnNotify(const NMHDR& header) {
    if (header.idFrom == static_cast<UINT_PTR>(id::kRecords) && header.code == LVN_KEYDOWN &&
        GetKeyState(VK_CONTROL) < 0) {
        const WORD key = reinterpret_cast<const NMLVKEYDOWN&>(header).wVKey;
        if (key == 'A') {
            logic_->SelectAll();
        } else if (key == 'C') {
            logic_->cmdCopy_Click();
        }
    }
    return 0;
}

LRESULT MonitorForm::HandleMessage(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
    if (!logic_) {
        return DefWindowProcW(hwnd, message, wparam, lparam);
    }
    switch (message) {
        case WM_COMMAND:
            OnCommand(LOWORD(wparam), HIWORD(wparam));
            return 0;
        case WM_NOTIFY:
            return OnNotify(*reinterpret_cast<const NMHDR*>(lparam));
        case DM_GETDEFID: {
            const int default_id = DefaultButton();
            return default_id != 0 ? MAKELRESULT(default_id, DC_HASDEFID) : 0;
        }
        case WM_SIZE:
            Layout();
            return 0;
        case WM_GETMINMAXINFO: {
            const SIZE minimum = MinimumClientSize();
            const SIZE frame = FrameSize(hwnd, minimum.cx, minimum.cy, dpi_);
            auto* limits = reinterpret_cast<MINMAXINFO*>(lparam);
            limits->ptMinTrackSize = {frame.cx, frame.cy};
            return 0;
        }
        case WM_DPICHANGED: {
            // Moved to a screen of another scale: the font, the columns and the places follow, in the rectangle
            // Windows suggests for the new DPI.
            const UINT old_dpi = dpi_;
            TakeDpi(HIWORD(wparam));
            HWND list = Item(id::kRecords);
            for (size_t column = 0; column < kColumnCount; ++column) {
                const auto width = static_cast<int>(SendMessageW(list, LVM_GETCOLUMNWIDTH, column, 0));
                SendMessageW(list, LVM_SETCOLUMNWIDTH, column,
                             MAKELPARAM(MulDiv(width, static_cast<int>(dpi_), static_cast<int>(old_dpi)), 0));
            }
            const auto* suggested = reinterpret_cast<const RECT*>(lparam);
            SetWindowPos(hwnd, nullptr, suggested->left, suggested->top, suggested->right - suggested->left,
                         suggested->bottom - suggested->top, SWP_NOZORDER | SWP_NOACTIVATE);
            Layout();
            return 0;
        }
        case WM_ACTIVATE:
            if (LOWORD(wparam) == WA_INACTIVE) {
                // The control with the focus gets it back when the window is active again.
                HWND focus = GetFocus();
                saved_focus_ = IsChild(hwnd, focus) ? focus : nullptr;
            } else {
                logic_->Form_Activate();
            }
            return DefWindowProcW(hwnd, message, wparam, lparam);
        case WM_SETFOCUS:
            SetFocus(saved_focus_ != nullptr && IsWindowEnabled(saved_focus_) ? saved_focus_ : Item(id::kSendText));
            return 0;
        case WM_CLOSE:
            Close();
            return 0;
        case WM_NCDESTROY:
            // The window and its controls are gone: so are the rows, and the font and icons they used.
            StopDialogKeys(hwnd);
            static_cast<void>(window_.Release());
            logic_.reset();
            rows_.reset();
            font_.Reset();
            small_icon_.Reset();
            big_icon_.Reset();
            return DefWindowProcW(hwnd, message, wparam, lparam);
        default:
            return DefWindowProcW(hwnd, message, wparam, lparam);
    }
}

Win32MonitorWindow::Win32MonitorWindow(HINSTANCE instance, MonitorServices services)
    : instance_(instance), services_(std::move(services)) {}

Win32MonitorWindow::~Win32MonitorWindow() = default;

bool Win32MonitorWindow::IsOpen() const {
    return form_ && form_->IsOpen();
}

void Win32MonitorWindow::Open() {
    if (IsOpen()) {
        BringToFront();
        return;
    }
    form_.reset();
    form_ = std::make_unique<MonitorForm>(instance_, services_);
}

void Win32MonitorWindow::BringToFront() {
    if (IsOpen()) {
        form_->BringToFront();
    }
}

HWND Win32MonitorWindow::hWnd() const {
    return IsOpen() ? form_->hWnd() : nullptr;
}

}  // namespace corvanta::win32
