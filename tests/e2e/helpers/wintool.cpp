// Looks at and pokes other programs' windows for the end-to-end tests; answers on stdout in UTF-8, one line
// per item, windows as decimal handles.
//
//     wintool.exe find TITLE            top-level windows titled TITLE: "HWND CLASS VISIBLE"
//     wintool.exe texts HWND            the window's own text and its children's: "CLASS<TAB>TEXT"
//     wintool.exe click HWND TEXT       presses the child button labelled TEXT (without its '&')
//     wintool.exe tooltips              the text of every visible tooltip window
//     wintool.exe trayicons             the icons of Wine's stand-alone tray: "HWND LEFT TOP RIGHT BOTTOM"
//     wintool.exe post HWND MSG WPARAM LPARAM
//     wintool.exe windows CLASS         visible top-level windows of CLASS: "HWND LEFT TOP RIGHT BOTTOM<TAB>TITLE"
//     wintool.exe items HWND            the window's children: "ID HWND CLASS LEFT TOP RIGHT BOTTOM<TAB>TEXT"
//     wintool.exe entries HWND          a combo box's or list box's entries: "INDEX SELECTED<TAB>TEXT"
//     wintool.exe droplist              the dropped list of a combo box, its visible rows on the screen:
//                                       "INDEX LEFT TOP RIGHT BOTTOM<TAB>TEXT"
//     wintool.exe foreground            the foreground window: "HWND CLASS<TAB>TITLE"
//     wintool.exe listrows HWND         a list view's rows: "INDEX SELECTED<TAB>CELL<TAB>CELL..."
//     wintool.exe enabled HWND          "1" when the window takes input, "0" when it is disabled (greyed)
//     wintool.exe move HWND LEFT TOP    moves a top-level window, as a user drags it by its title bar
//     wintool.exe refmenu X Y STOP ITEM...
//                                       shows a pop-up menu of its own at X,Y ("-" a separator, "*" before
//                                       a caption a check mark), prints its window on the screen, then its
//                                       items relative to it, as "LEFT TOP RIGHT BOTTOM" lines, and "shown";
//                                       closes it once the file STOP exists
//
// Exit status: 0 done, 1 nothing found, 2 bad arguments.

#include <windows.h>

#include <commctrl.h>

#include <cwchar>
#include <string>
#include <vector>

#include "utf8.h"

namespace {

// WriteFile, not WriteConsoleW: the test reads a pipe, and the bytes must be UTF-8 whatever the code page.
void PrintLine(const std::wstring& line) {
    std::string bytes = ToUtf8(line) + "\n";
    DWORD written = 0;
    WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
}

std::wstring ClassOf(HWND window) {
    wchar_t name[256] = {};
    GetClassNameW(window, name, 256);
    return name;
}

std::wstring TitleOf(HWND window) {
    wchar_t text[1024] = {};
    GetWindowTextW(window, text, 1024);
    return text;
}

// WM_GETTEXT is marshalled across processes, and reaches controls (tooltips, statics) whose text is
// not their internal caption.
std::wstring TextByMessage(HWND window) {
    wchar_t text[1024] = {};
    DWORD_PTR result = 0;
    if (!SendMessageTimeoutW(window, WM_GETTEXT, 1024, reinterpret_cast<LPARAM>(text), SMTO_ABORTIFHUNG, 2000,
                             &result)) {
        return TitleOf(window);
    }
    return text;
}

std::wstring RectText(const RECT& r) {
    return std::to_wstring(r.left) + L" " + std::to_wstring(r.top) + L" " + std::to_wstring(r.right) + L" " +
           std::to_wstring(r.bottom);
}

HWND ParseWindow(const wchar_t* text) {
    return reinterpret_cast<HWND>(static_cast<UINT_PTR>(wcstoull(text, nullptr, 0)));
}

std::wstring StripAccelerator(std::wstring text) {
    std::wstring out;
    for (wchar_t c : text) {
        if (c != L'&') {
            out += c;
        }
    }
    return out;
}

// A named CALLBACK, not a lambda: 32-bit enumeration callbacks must be __stdcall.
BOOL CALLBACK CollectWindow(HWND window, LPARAM found) {
    reinterpret_cast<std::vector<HWND>*>(found)->push_back(window);
    return TRUE;
}

std::vector<HWND> TopLevelWindows() {
    std::vector<HWND> windows;
    EnumWindows(CollectWindow, reinterpret_cast<LPARAM>(&windows));
    return windows;
}

std::vector<HWND> ChildWindows(HWND parent) {
    std::vector<HWND> windows;
    EnumChildWindows(parent, CollectWindow, reinterpret_cast<LPARAM>(&windows));
    return windows;
}

int Find(const std::wstring& title) {
    int count = 0;
    for (HWND window : TopLevelWindows()) {
        if (TitleOf(window) == title) {
            PrintLine(std::to_wstring(reinterpret_cast<UINT_PTR>(window)) + L" " + ClassOf(window) +
                      (IsWindowVisible(window) ? L" visible" : L" hidden"));
            ++count;
        }
    }
    return count > 0 ? 0 : 1;
}

int Texts(HWND parent) {
    if (!IsWindow(parent)) {
        return 1;
    }
    PrintLine(ClassOf(parent) + L"\t" + TitleOf(parent));
    for (HWND child : ChildWindows(parent)) {
        PrintLine(ClassOf(child) + L"\t" + TextByMessage(child));
    }
    return 0;
}

// Posted, not sent: the button's owner may be inside a modal loop, and a sent click would wait for it.
int Click(HWND parent, const std::wstring& label) {
    for (HWND child : ChildWindows(parent)) {
        if (_wcsicmp(ClassOf(child).c_str(), L"Button") == 0 && StripAccelerator(TitleOf(child)) == label) {
            return PostMessageW(child, BM_CLICK, 0, 0) ? 0 : 1;
        }
    }
    return 1;
}

int Tooltips() {
    int count = 0;
    for (HWND window : TopLevelWindows()) {
        if (_wcsicmp(ClassOf(window).c_str(), L"tooltips_class32") == 0 && IsWindowVisible(window)) {
            PrintLine(TextByMessage(window));
            ++count;
        }
    }
    return count > 0 ? 0 : 1;
}

// Without a desktop shell, Wine shows tray icons in a top-level window of its own, one child per icon.
int TrayIcons() {
    int count = 0;
    for (HWND tray : TopLevelWindows()) {
        if (ClassOf(tray) != L"__winex11_standalone_tray") {
            continue;
        }
        for (HWND icon : ChildWindows(tray)) {
            RECT r{};
            if (ClassOf(icon) != L"__winex11_tray_icon" || !IsWindowVisible(icon) || !GetWindowRect(icon, &r)) {
                continue;
            }
            PrintLine(std::to_wstring(reinterpret_cast<UINT_PTR>(icon)) + L" " + std::to_wstring(r.left) + L" " +
                      std::to_wstring(r.top) + L" " + std::to_wstring(r.right) + L" " + std::to_wstring(r.bottom));
            ++count;
        }
    }
    return count > 0 ? 0 : 1;
}

int Windows(const std::wstring& window_class) {
    int count = 0;
    for (HWND window : TopLevelWindows()) {
        RECT r{};
        if (_wcsicmp(ClassOf(window).c_str(), window_class.c_str()) == 0 && IsWindowVisible(window) &&
            GetWindowRect(window, &r)) {
            PrintLine(std::to_wstring(reinterpret_cast<UINT_PTR>(window)) + L" " + RectText(r) + L"\t" +
                      TitleOf(window));
            ++count;
        }
    }
    return count > 0 ? 0 : 1;
}

// Top-level windows of a class, hidden ones too (the program's main form is never shown).
int Forms(const std::wstring& window_class) {
    int count = 0;
    for (HWND window : TopLevelWindows()) {
        if (_wcsicmp(ClassOf(window).c_str(), window_class.c_str()) == 0) {
            PrintLine(std::to_wstring(reinterpret_cast<UINT_PTR>(window)));
            ++count;
        }
    }
    return count > 0 ? 0 : 1;
}

int Items(HWND parent) {
    if (!IsWindow(parent)) {
        return 1;
    }
    for (HWND child : ChildWindows(parent)) {
        RECT r{};
        GetWindowRect(child, &r);
        PrintLine(std::to_wstring(GetDlgCtrlID(child)) + L" " + std::to_wstring(reinterpret_cast<UINT_PTR>(child)) +
                  L" " + ClassOf(child) + L" " + RectText(r) + L"\t" + TextByMessage(child));
    }
    return 0;
}

// The text arguments of these messages are marshalled across processes for the system's own controls.
std::wstring EntryText(HWND list, bool combo, WPARAM index) {
    const UINT length_message = combo ? CB_GETLBTEXTLEN : LB_GETTEXTLEN;
    const UINT text_message = combo ? CB_GETLBTEXT : LB_GETTEXT;
    const LRESULT length = SendMessageW(list, length_message, index, 0);
    if (length < 0) {
        return L"";
    }
    std::wstring text(static_cast<size_t>(length) + 1, L'\0');
    const LRESULT got = SendMessageW(list, text_message, index, reinterpret_cast<LPARAM>(text.data()));
    text.resize(got < 0 ? 0 : static_cast<size_t>(got));
    return text;
}

int Entries(HWND list) {
    const bool combo = _wcsicmp(ClassOf(list).c_str(), L"ComboBox") == 0;
    const LRESULT count = SendMessageW(list, combo ? CB_GETCOUNT : LB_GETCOUNT, 0, 0);
    const LRESULT selected = SendMessageW(list, combo ? CB_GETCURSEL : LB_GETCURSEL, 0, 0);
    for (LRESULT i = 0; i < count; ++i) {
        PrintLine(std::to_wstring(i) + (i == selected ? L" 1\t" : L" 0\t") +
                  EntryText(list, combo, static_cast<WPARAM>(i)));
    }
    return count > 0 ? 0 : 1;
}

// A dropped combo box list is a top-level window of its own; only one can be dropped at a time.
int DropList() {
    for (HWND list : TopLevelWindows()) {
        if (_wcsicmp(ClassOf(list).c_str(), L"ComboLBox") != 0 || !IsWindowVisible(list)) {
            continue;
        }
        RECT client{};
        GetClientRect(list, &client);
        MapWindowPoints(list, nullptr, reinterpret_cast<POINT*>(&client), 2);
        const LRESULT count = SendMessageW(list, LB_GETCOUNT, 0, 0);
        const LRESULT top = SendMessageW(list, LB_GETTOPINDEX, 0, 0);
        const LRESULT height = SendMessageW(list, LB_GETITEMHEIGHT, 0, 0);
        if (count <= 0 || top < 0 || height <= 0) {
            return 1;
        }
        for (LRESULT i = top; i < count; ++i) {
            RECT row{client.left, client.top + static_cast<LONG>((i - top) * height), client.right,
                     client.top + static_cast<LONG>((i - top + 1) * height)};
            if (row.bottom > client.bottom) {
                break;
            }
            PrintLine(std::to_wstring(i) + L" " + RectText(row) + L"\t" +
                      EntryText(list, false, static_cast<WPARAM>(i)));
        }
        return 0;
    }
    return 1;
}

int Foreground() {
    HWND window = GetForegroundWindow();
    if (window == nullptr) {
        return 1;
    }
    PrintLine(std::to_wstring(reinterpret_cast<UINT_PTR>(window)) + L" " + ClassOf(window) + L"\t" + TitleOf(window));
    // The window with the keyboard focus in that window's thread, when it is another (an edit in it).
    GUITHREADINFO info{};
    info.cbSize = sizeof(info);
    if (GetGUIThreadInfo(GetWindowThreadProcessId(window, nullptr), &info) && info.hwndFocus != nullptr &&
        info.hwndFocus != window) {
        PrintLine(L"focus " + std::to_wstring(reinterpret_cast<UINT_PTR>(info.hwndFocus)) + L" " +
                  ClassOf(info.hwndFocus));
    }
    return 0;
}

// The rows of another program's list view. Its messages carry pointers, which Windows carries to no other
// process: the item and its text buffer are placed in the list's own process.
int ListRows(HWND list) {
    DWORD process_id = 0;
    GetWindowThreadProcessId(list, &process_id);
    HANDLE process = OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_READ | PROCESS_VM_WRITE, FALSE, process_id);
    if (process == nullptr) {
        return 1;
    }
    constexpr size_t kChars = 16384;
    auto* remote = static_cast<char*>(VirtualAllocEx(process, nullptr, sizeof(LVITEMW) + kChars * sizeof(wchar_t),
                                                     MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE));
    if (remote == nullptr) {
        CloseHandle(process);
        return 1;
    }
    auto* remote_text = reinterpret_cast<wchar_t*>(remote + sizeof(LVITEMW));
    const auto header = reinterpret_cast<HWND>(SendMessageW(list, LVM_GETHEADER, 0, 0));
    const LRESULT columns = header != nullptr ? SendMessageW(header, HDM_GETITEMCOUNT, 0, 0) : 1;
    const LRESULT rows = SendMessageW(list, LVM_GETITEMCOUNT, 0, 0);
    for (LRESULT row = 0; row < rows; ++row) {
        const LRESULT state = SendMessageW(list, LVM_GETITEMSTATE, static_cast<WPARAM>(row), LVIS_SELECTED);
        std::wstring line = std::to_wstring(row) + ((state & LVIS_SELECTED) != 0 ? L" 1" : L" 0");
        for (LRESULT column = 0; column < columns; ++column) {
            LVITEMW item{};
            item.iSubItem = static_cast<int>(column);
            item.pszText = remote_text;
            item.cchTextMax = static_cast<int>(kChars);
            std::wstring text(kChars, L'\0');
            SIZE_T done = 0;
            LRESULT length = 0;
            if (WriteProcessMemory(process, remote, &item, sizeof(item), &done)) {
                length =
                    SendMessageW(list, LVM_GETITEMTEXTW, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(remote));
            }
            if (length <= 0 || !ReadProcessMemory(process, remote_text, text.data(),
                                                  static_cast<SIZE_T>(length) * sizeof(wchar_t), &done)) {
                length = 0;
            }
            text.resize(static_cast<size_t>(length));
            line += L"\t" + text;
        }
        PrintLine(line);
    }
    VirtualFreeEx(process, remote, 0, MEM_RELEASE);
    CloseHandle(process);
    return 0;
}

// A reference menu: another program's menu cannot be read, but it can be compared on the screen with one
// shown here with the captions it ought to have.
struct ReferenceMenu {
    HMENU menu = nullptr;
    int items = 0;
    std::wstring stop_file;
    bool printed = false;
};
ReferenceMenu g_reference;

HWND OwnMenuWindow() {
    for (HWND window : TopLevelWindows()) {
        DWORD process = 0;
        GetWindowThreadProcessId(window, &process);
        if (process == GetCurrentProcessId() && ClassOf(window) == L"#32768" && IsWindowVisible(window)) {
            return window;
        }
    }
    return nullptr;
}

void CALLBACK WatchReferenceMenu(HWND owner, UINT, UINT_PTR, DWORD) {
    HWND menu_window = OwnMenuWindow();
    if (menu_window == nullptr) {
        return;
    }
    if (!g_reference.printed) {
        RECT window{};
        GetWindowRect(menu_window, &window);
        PrintLine(RectText(window));
        for (int i = 0; i < g_reference.items; ++i) {
            RECT r{};
            GetMenuItemRect(owner, g_reference.menu, static_cast<UINT>(i), &r);
            // Printed relative to the menu's window; Wine answers in those terms already, Windows on the screen.
            if (r.left >= window.left && r.top >= window.top && (window.left != 0 || window.top != 0)) {
                OffsetRect(&r, -window.left, -window.top);
            }
            PrintLine(RectText(r));
        }
        PrintLine(L"shown");
        g_reference.printed = true;
    }
    if (GetFileAttributesW(g_reference.stop_file.c_str()) != INVALID_FILE_ATTRIBUTES) {
        EndMenu();
    }
}

int RefMenu(int x, int y, const std::wstring& stop_file, int count, wchar_t** captions) {
    HWND owner = CreateWindowExW(0, L"STATIC", L"wintool menu owner", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr,
                                 GetModuleHandleW(nullptr), nullptr);
    g_reference.menu = CreatePopupMenu();
    g_reference.items = count;
    g_reference.stop_file = stop_file;
    for (int i = 0; i < count; ++i) {
        const std::wstring caption = captions[i];
        if (caption == L"-") {
            AppendMenuW(g_reference.menu, MF_SEPARATOR, 0, nullptr);
        } else if (caption.starts_with(L"*")) {
            AppendMenuW(g_reference.menu, MF_STRING | MF_CHECKED, static_cast<UINT_PTR>(i + 1), caption.c_str() + 1);
        } else {
            AppendMenuW(g_reference.menu, MF_STRING, static_cast<UINT_PTR>(i + 1), caption.c_str());
        }
    }
    SetForegroundWindow(owner);
    SetTimer(owner, 1, 20, WatchReferenceMenu);
    TrackPopupMenu(g_reference.menu, TPM_LEFTALIGN | TPM_RETURNCMD | TPM_NONOTIFY, x, y, 0, owner, nullptr);
    DestroyMenu(g_reference.menu);
    DestroyWindow(owner);
    return g_reference.printed ? 0 : 1;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    // Rectangles in the screen's pixels, as the pictures and clicks of the tests use them, also when the screen is
    // scaled: the system scales those of a program that does not say it knows the screen's DPI.
    SetProcessDPIAware();
    std::wstring command = argc > 1 ? argv[1] : L"";
    if (command == L"find" && argc == 3) {
        return Find(argv[2]);
    }
    if (command == L"texts" && argc == 3) {
        return Texts(ParseWindow(argv[2]));
    }
    if (command == L"click" && argc == 4) {
        return Click(ParseWindow(argv[2]), argv[3]);
    }
    if (command == L"tooltips" && argc == 2) {
        return Tooltips();
    }
    if (command == L"trayicons" && argc == 2) {
        return TrayIcons();
    }
    if (command == L"post" && argc == 6) {
        auto number = [](const wchar_t* text) { return wcstoull(text, nullptr, 0); };
        return PostMessageW(ParseWindow(argv[2]), static_cast<UINT>(number(argv[3])),
                            static_cast<WPARAM>(number(argv[4])), static_cast<LPARAM>(number(argv[5])))
                   ? 0
                   : 1;
    }
    if (command == L"windows" && argc == 3) {
        return Windows(argv[2]);
    }
    if (command == L"forms" && argc == 3) {
        return Forms(argv[2]);
    }
    if (command == L"items" && argc == 3) {
        return Items(ParseWindow(argv[2]));
    }
    if (command == L"entries" && argc == 3) {
        return Entries(ParseWindow(argv[2]));
    }
    if (command == L"droplist" && argc == 2) {
        return DropList();
    }
    if (command == L"foreground" && argc == 2) {
        return Foreground();
    }
    if (command == L"move" && argc == 5) {
        return SetWindowPos(ParseWindow(argv[2]), nullptr, _wtoi(argv[3]), _wtoi(argv[4]), 0, 0,
                            SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE)
                   ? 0
                   : 1;
    }
    if (command == L"enabled" && argc == 3) {
        PrintLine(IsWindowEnabled(ParseWindow(argv[2])) ? L"1" : L"0");
        return 0;
    }
    if (command == L"listrows" && argc == 3) {
        return ListRows(ParseWindow(argv[2]));
    }
    if (command == L"refmenu" && argc > 5) {
        return RefMenu(_wtoi(argv[2]), _wtoi(argv[3]), argv[4], argc - 5, argv + 5);
    }
    PrintLine(
        L"usage: wintool find TITLE | texts HWND | click HWND TEXT | tooltips | trayicons | post HWND MSG WPARAM "
        L"LPARAM | windows CLASS | forms CLASS | items HWND | entries HWND | droplist | foreground | listrows HWND | "
        L"enabled HWND | move HWND LEFT TOP | "
        L"refmenu X Y STOP ITEM...");
    return 2;
}
