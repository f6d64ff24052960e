#pragma once

// The typing targets' window: a visible top-level window that takes the foreground back whenever another
// program's window (a message box, the tray) takes it, so the keys typed next land in it.

#include <windows.h>

// Brings window to the foreground and gives focus (the window itself or a child) the keyboard focus, if another
// window has them; true when both are ours.
inline bool TakeFocus(HWND window, HWND focus) {
    if (GetForegroundWindow() != window) {
        SetForegroundWindow(window);
    }
    if (GetFocus() != focus) {
        SetFocus(focus);
    }
    return GetForegroundWindow() == window && GetFocus() == focus;
}

// A shown top-level window of a class of its own; nullptr when either cannot be made.
inline HWND CreateTargetWindow(const wchar_t* class_name,
                               WNDPROC procedure,
                               const wchar_t* title,
                               int width,
                               int height) {
    WNDCLASSW window_class{};
    window_class.lpfnWndProc = procedure;
    window_class.hInstance = GetModuleHandleW(nullptr);
    window_class.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
    window_class.lpszClassName = class_name;
    if (RegisterClassW(&window_class) == 0) {
        return nullptr;
    }
    return CreateWindowExW(0, class_name, title, WS_OVERLAPPEDWINDOW | WS_VISIBLE, 300, 300, width, height, nullptr,
                           nullptr, window_class.hInstance, nullptr);
}

// Dispatches the thread's messages until WM_QUIT.
inline void RunMessageLoop() {
    MSG message;
    while (GetMessageW(&message, nullptr, 0, 0) > 0) {
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
}
