#include "platform/win32/window_routing.h"

#include <algorithm>
#include <vector>

#include "platform/win32/win32_error.h"

namespace corvanta::win32 {

namespace {

// The windows of the UI thread, which is the only one with windows, that take the dialog keys.
std::vector<HWND>& DialogKeyWindows() {
    static std::vector<HWND> windows;
    return windows;
}

}  // namespace

void RegisterWindowClass(HINSTANCE instance, const wchar_t* name, WNDPROC procedure) {
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof(wc);
    wc.lpfnWndProc = procedure;
    wc.hInstance = instance;
    wc.lpszClassName = name;
    if (RegisterClassExW(&wc) == 0 && GetLastError() != ERROR_CLASS_ALREADY_EXISTS) {
        ThrowLastError(u"Registering a window class");
    }
}

HWND CreateMessageOnlyWindow(const wchar_t* class_name, WNDPROC procedure, void* owner, TextView operation) {
    const HINSTANCE instance = GetModuleHandleW(nullptr);
    RegisterWindowClass(instance, class_name, procedure);
    const HWND hwnd = CreateWindowExW(0, class_name, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, instance, owner);
    if (hwnd == nullptr) {
        ThrowLastError(operation);
    }
    return hwnd;
}

void TakeDialogKeys(HWND window) {
    if (std::find(DialogKeyWindows().begin(), DialogKeyWindows().end(), window) == DialogKeyWindows().end()) {
        DialogKeyWindows().push_back(window);
    }
}

void StopDialogKeys(HWND window) {
    std::erase(DialogKeyWindows(), window);
}

bool HandleDialogKeys(MSG& msg) {
    for (HWND window : DialogKeyWindows()) {
        if (msg.hwnd == window || IsChild(window, msg.hwnd)) {
            return IsDialogMessageW(window, &msg) != FALSE;
        }
    }
    return false;
}

}  // namespace corvanta::win32
