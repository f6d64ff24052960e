#include "platform/win32/win32_system_hotkey.h"

#include "platform/win32/win32_error.h"

namespace corvanta::win32 {
namespace {

constexpr wchar_t kClassName[] = L"CorvantaHotkey";
constexpr int kHotkeyId = 1;

}  // namespace

Win32SystemHotkey::Win32SystemHotkey() {
    window_.Reset(CreateMessageOnlyWindow(*this, kClassName, u"Creating the hotkey's window"));
}

Win32SystemHotkey::~Win32SystemHotkey() {
    Unregister();
    SetWindowLongPtrW(window_.Get(), GWLP_USERDATA, 0);
}

void Win32SystemHotkey::Register(const Hotkey& hotkey) {
    // Letting go and taking it again would give another program a moment to take it.
    if (held_ == hotkey) {
        return;
    }
    Unregister();
    if (!RegisterHotKey(window_.Get(), kHotkeyId, hotkey.modifiers | MOD_NOREPEAT, hotkey.key)) {
        const DWORD code = GetLastError();
        Error error = SystemError(u"Registering the hotkey", code);
        if (code == ERROR_HOTKEY_ALREADY_REGISTERED) {
            throw HotkeyTakenError(error.Description());
        }
        throw error;
    }
    held_ = hotkey;
}

void Win32SystemHotkey::Unregister() {
    if (held_) {
        // Deliberately unchecked: a refusal means the system holds nothing for the window any more.
        UnregisterHotKey(window_.Get(), kHotkeyId);
        held_.reset();
    }
}

LRESULT Win32SystemHotkey::HandleMessage(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
    // A press queued before an Unregister is not a press of anything held.
    if (message == WM_HOTKEY && wparam == kHotkeyId) {
        if (held_ && on_pressed_) {
            on_pressed_();
        }
        return 0;
    }
    return DefWindowProcW(hwnd, message, wparam, lparam);
}

}  // namespace corvanta::win32
