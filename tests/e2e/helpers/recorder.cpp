// A typing target for the end-to-end tests: a top-level window whose multi-line edit control takes the
// foreground and keeps the focus. After every change it rewrites OUTPUT with the edit's text in UTF-8, so a
// test waits for an expected text; OUTPUT.ready appears once the edit has the focus. With "once" it takes the
// foreground only at the start, so a test can see another program take it away.
//
//     recorder.exe OUTPUT [TITLE [once]]

#include <windows.h>

#include <commctrl.h>

#include <string>

#include "test_window.h"
#include "utf8.h"
#include "write_whole.h"

namespace {

constexpr UINT_PTR kRefocusTimer = 1;
constexpr int kEditId = 100;

HWND g_edit = nullptr;
std::wstring g_output;
bool g_readyWritten = false;
bool g_keepFocus = true;

void Record() {
    int length = GetWindowTextLengthW(g_edit);
    std::wstring text(static_cast<size_t>(length) + 1, L'\0');
    text.resize(static_cast<size_t>(GetWindowTextW(g_edit, text.data(), length + 1)));
    WriteWhole(g_output, ToUtf8(text));
}

void KeepFocus(HWND window) {
    if (TakeFocus(window, g_edit) && !g_readyWritten) {
        g_readyWritten = true;
        WriteWhole(g_output + L".ready", std::to_string(reinterpret_cast<UINT_PTR>(window)));
    }
}

// A click into the edit gives it the focus and leaves the caret at the end: what is typed after a test clicks the
// window back to the front is appended, wherever the click landed and however Wine orders its focus events.
LRESULT CALLBACK EditProc(HWND edit, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR, DWORD_PTR) {
    switch (message) {
        case WM_LBUTTONDOWN:
        case WM_LBUTTONDBLCLK:
        case WM_LBUTTONUP:
        case WM_MOUSEMOVE:
            if (message == WM_LBUTTONDOWN) {
                SetFocus(edit);
            }
            return 0;
        default:
            return DefSubclassProc(edit, message, wParam, lParam);
    }
}

LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_CREATE:
            g_edit = CreateWindowExW(
                WS_EX_CLIENTEDGE, L"EDIT", L"", WS_CHILD | WS_VISIBLE | ES_MULTILINE | ES_AUTOVSCROLL | ES_WANTRETURN,
                0, 0, 400, 200, window, reinterpret_cast<HMENU>(static_cast<INT_PTR>(kEditId)), nullptr, nullptr);
            return g_edit != nullptr && SetWindowSubclass(g_edit, EditProc, 1, 0) ? 0 : -1;
        case WM_COMMAND:
            if (LOWORD(wParam) == kEditId && HIWORD(wParam) == EN_CHANGE) {
                Record();
            }
            return 0;
        case WM_SETFOCUS:
            // As an editor's main window does: when the frame is activated (Wine's focus event may come after the
            // click's), the focus goes on to the edit, not to the frame that types nothing.
            SetFocus(g_edit);
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

    HWND window = CreateTargetWindow(L"CorvantaTestRecorder", WindowProc, title, 420, 240);
    if (window == nullptr) {
        return 1;
    }
    SetTimer(window, kRefocusTimer, 50, nullptr);
    KeepFocus(window);
    RunMessageLoop();
    return 0;
}
