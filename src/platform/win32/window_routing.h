#pragma once

#include <windows.h>

#include <exception>
#include <stdexcept>

#include "common/text.h"
#include "platform/win32/unhandled_error.h"

namespace corvanta::win32 {

// A window procedure that only routes: every message goes to Owner::HandleMessage of the object passed as
// CreateWindowEx's last argument (kept in GWLP_USERDATA; the owner clears it before the window goes). Errors
// stop here: an exception must never unwind through the system's code that called the procedure.
template <typename Owner>
LRESULT CALLBACK RoutingWindowProc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
    if (message == WM_NCCREATE) {
        const auto* create = reinterpret_cast<const CREATESTRUCTW*>(lparam);
        SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
    }
    if (auto* owner = reinterpret_cast<Owner*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA))) {
        try {
            return owner->HandleMessage(hwnd, message, wparam, lparam);
        } catch (const std::exception& error) {
            ReportUnhandledError(error);
            return 0;
        } catch (...) {
            ReportUnhandledError(std::runtime_error("An unexpected error occurred."));
            return 0;
        }
    }
    return DefWindowProcW(hwnd, message, wparam, lparam);
}

// Registers the class once per process; a second registration of the same name is not an error.
void RegisterWindowClass(HINSTANCE instance, const wchar_t* name, WNDPROC procedure);

// A message-only window routed to `owner`: it gets posted messages, timers and device notices, never input.
// Throws "operation: system message" when it cannot be made.
HWND CreateMessageOnlyWindow(const wchar_t* class_name, WNDPROC procedure, void* owner, TextView operation);

template <typename Owner>
HWND CreateMessageOnlyWindow(Owner& owner, const wchar_t* class_name, TextView operation) {
    return CreateMessageOnlyWindow(class_name, &RoutingWindowProc<Owner>, &owner, operation);
}

// A window that is no dialog but takes the dialog keys (Tab, Enter, Esc, Alt with a mnemonic) while it is open: every
// message loop of the program hands its messages to IsDialogMessage, which only the loop may call.
void TakeDialogKeys(HWND window);
void StopDialogKeys(HWND window);
// Whether the message was a dialog key of such a window and has been handled; the loop then neither translates
// nor dispatches it.
bool HandleDialogKeys(MSG& msg);

}  // namespace corvanta::win32
