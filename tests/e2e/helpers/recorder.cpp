// A typing target for the end-to-end tests: a top-level window whose multi-line edit control takes the
// foreground and keeps the focus. After every change it rewrites OUTPUT with the edit's text in UTF-8, so a
// test waits for an expected text; OUTPUT.ready appears once the edit has the focus. With "once" it takes the
// foreground only at the start, so a test can see another program take it away.
//
//     recorder.exe OUTPUT [TITLE [once]]

#include <windows.h>

#include <string>

#include "utf8.h"

namespace {

constexpr UINT_PTR kRefocusTimer = 1;
constexpr int kEditId = 100;

HWND g_edit = nullptr;
std::wstring g_output;
bool g_readyWritten = false;
bool g_keepFocus = true;

// Written beside the target and renamed over it, so a reader never sees half a text.
void WriteWhole(const std::wstring& path, const std::string& bytes) {
    std::wstring temp = path + L".tmp";
    HANDLE file = CreateFileW(temp.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return;
    }
    DWORD written = 0;
    WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    CloseHandle(file);
    MoveFileExW(temp.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING);
}

void Record() {
    int length = GetWindowTextLengthW(g_edit);
    std::wstring text(static_cast<size_t>(length) + 1, L'\0');
    text.resize(static_cast<size_t>(GetWindowTextW(g_edit, text.data(), length + 1)));
    WriteWhole(g_output, ToUtf8(text));
}

// Another program's window (a message box, the tray) may take the foreground; take it back, so the keys
// typed next land here.
void KeepFocus(HWND window) {
    if (GetForegroundWindow() != window) {
        SetForegroundWindow(window);
    }
    if (GetFocus() != g_edit) {
        SetFocus(g_edit);
    }
    if (!g_readyWritten && GetForegroundWindow() == window && GetFocus() == g_edit) {
        g_readyWritten = true;
        WriteWhole(g_output + L".ready", std::to_string(reinterpret_cast<UINT_PTR>(window)));
    }
}

LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_CREATE:
            g_edit = CreateWindowExW(
                WS_EX_CLIENTEDGE, L"EDIT", L"", WS_CHILD | WS_VISIBLE | ES_MULTILINE | ES_AUTOVSCROLL | ES_WANTRETURN,
                0, 0, 400, 200, window, reinterpret_cast<HMENU>(static_cast<INT_PTR>(kEditId)), nullptr, nullptr);
            return g_edit != nullptr ? 0 : -1;
        case WM_COMMAND:
            if (LOWORD(wParam) == kEditId && HIWORD(wParam) == EN_CHANGE) {
                Record();
            }
            return 0;
        case WM_TIMER:
            if (g_keepFocus || !g_readyWritten) {
                KeepFocus(window);
            }
            return 0;
        case WM_DESTROY:
            PostQuitMessage(0);
            return 0;
        default:
            return DefWindowProcW(window, message, wParam, lParam);
    }
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc < 2) {
        return 2;
    }
    g_output = argv[1];
    const wchar_t* title = argc > 2 ? argv[2] : L"Corvanta test recorder";
    g_keepFocus = !(argc > 3 && std::wstring(argv[3]) == L"once");
    WriteWhole(g_output, "");

    WNDCLASSW windowClass{};
    windowClass.lpfnWndProc = WindowProc;
    windowClass.hInstance = GetModuleHandleW(nullptr);
    windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
    windowClass.lpszClassName = L"CorvantaTestRecorder";
    RegisterClassW(&windowClass);
    HWND window = CreateWindowExW(0, windowClass.lpszClassName, title, WS_OVERLAPPEDWINDOW | WS_VISIBLE, 300, 300, 420,
                                  240, nullptr, nullptr, windowClass.hInstance, nullptr);
    if (window == nullptr) {
        return 1;
    }
    SetTimer(window, kRefocusTimer, 50, nullptr);
    KeepFocus(window);

    MSG message;
    while (GetMessageW(&message, nullptr, 0, 0) > 0) {
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
    return 0;
}
