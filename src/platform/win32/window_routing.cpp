#include "platform/win32/window_routing.h"

#include "platform/win32/win32_error.h"

namespace corvanta::win32 {

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

}  // namespace corvanta::win32
