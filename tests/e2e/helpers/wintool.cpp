// Looks at and pokes other programs' windows for the end-to-end tests; answers on stdout in UTF-8, one line
// per item, windows as decimal handles.
//
//     wintool.exe find TITLE            top-level windows titled TITLE: "HWND CLASS VISIBLE"
//     wintool.exe texts HWND            the window's own text and its children's: "CLASS<TAB>TEXT"
//     wintool.exe click HWND TEXT       presses the child button labelled TEXT (without its '&')
//     wintool.exe tooltips              the text of every visible tooltip window
//     wintool.exe trayicons             the icons of Wine's stand-alone tray: "HWND LEFT TOP RIGHT BOTTOM"
//     wintool.exe post HWND MSG WPARAM LPARAM
//
// Exit status: 0 done, 1 nothing found, 2 bad arguments.

#include <windows.h>

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

}  // namespace

int wmain(int argc, wchar_t** argv) {
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
    PrintLine(
        L"usage: wintool find TITLE | texts HWND | click HWND TEXT | tooltips | trayicons | post HWND MSG WPARAM "
        L"LPARAM");
    return 2;
}
