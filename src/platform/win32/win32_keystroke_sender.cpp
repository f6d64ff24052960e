#include "platform/win32/win32_keystroke_sender.h"

#include <windows.h>

#include <functional>
#include <vector>

#include "platform/win32/win32_focus_window.h"

namespace corvanta::win32 {
namespace {

class Win32KeyboardLayout : public KeyboardLayout {
  public:
    explicit Win32KeyboardLayout(HKL layout) : layout_(layout) {}

    std::optional<KeyCombination> KeyFor(char16_t unit) const override {
        const SHORT answer = VkKeyScanExW(static_cast<WCHAR>(unit), layout_);
        const auto virtual_key = static_cast<uint8_t>(answer & 0xFF);
        const auto shift_state = static_cast<uint8_t>((answer >> 8) & 0xFF);
        if (virtual_key == 0xFF && shift_state == 0xFF) {
            return std::nullopt;
        }
        return KeyCombination{virtual_key, shift_state};
    }

    // Only the key's unshifted meaning is known this way; asking ToUnicodeEx instead would disturb the
    // system's pending dead-key state.
    bool IsDeadKey(uint8_t virtual_key) const override {
        return (MapVirtualKeyExW(virtual_key, MAPVK_VK_TO_CHAR, layout_) & 0x80000000u) != 0;
    }

    uint16_t ScanCode(uint8_t virtual_key) const override {
        return static_cast<uint16_t>(MapVirtualKeyExW(virtual_key, MAPVK_VK_TO_VSC, layout_) & 0xFFFF);
    }

    bool IsCased(char16_t unit) const override {
        const auto c = static_cast<WCHAR>(unit);
        return IsCharUpperW(c) || IsCharLowerW(c);
    }

  private:
    HKL layout_;
};

// The thread that owns the window the keys go to; 0 when nothing is in the foreground.
DWORD TargetThread() {
    const HWND target = KeyboardTarget();
    return target == nullptr ? 0 : GetWindowThreadProcessId(target, nullptr);
}

HKL LayoutOf(DWORD thread) {
    const HKL layout = thread != 0 ? GetKeyboardLayout(thread) : nullptr;
    return layout != nullptr ? layout : GetKeyboardLayout(0);
}

// Caps Lock as the system has it: on Windows a thread with no keyboard input of its own pending (ours, unless
// our own dialog has the focus) reads the system's toggle. Never attach to the target's input to ask: that
// resets the key state it is typing our earlier keys with, and a Shift held for a capital comes up early.
bool CapsLockOn() {
    return (GetKeyState(VK_CAPITAL) & 1) != 0;
}

// The modifiers physically down now. The asynchronous state, not the thread's: ours lags behind the keyboard.
std::vector<uint8_t> HeldModifiers() {
    std::vector<uint8_t> held;
    for (const uint8_t key :
         {vkey::kLShift, vkey::kRShift, vkey::kLControl, vkey::kRControl, vkey::kLMenu, vkey::kRMenu}) {
        if ((GetAsyncKeyState(key) & 0x8000) != 0) {
            held.push_back(key);
        }
    }
    return held;
}

INPUT ToInput(const InputEvent& event, KeyMode mode) {
    INPUT input{};
    input.type = INPUT_KEYBOARD;
    KEYBDINPUT& key = input.ki;
    if (event.kind == InputEvent::Kind::Unicode) {
        key.wScan = event.code;
        key.dwFlags = KEYEVENTF_UNICODE;
    } else {
        // The virtual key decides, the scan code is there for programs that read it from lParam; in scan-code
        // mode the scan code decides and Windows ignores wVk (Wine 8 still reads it, so it stays). A key
        // without a scan code cannot go as one.
        const bool by_scan_code = mode == KeyMode::kScanCode && event.code != 0;
        key.wVk = event.virtual_key;
        key.wScan = event.code;
        key.dwFlags = (event.extended ? KEYEVENTF_EXTENDEDKEY : 0) | (by_scan_code ? KEYEVENTF_SCANCODE : 0);
    }
    if (event.key_up) {
        key.dwFlags |= KEYEVENTF_KEYUP;
    }
    return input;
}

}  // namespace

SendResult Win32KeystrokeSender::SendKeys(TextView text) {
    if (text.empty()) {
        return {};
    }
    const Win32KeyboardLayout layout(LayoutOf(TargetThread()));
    // Caps Lock on would swap the case of letters typed by their keys.
    const std::vector<InputEvent> plan =
        PlanKeystrokes(text, layout, std::function<bool()>(CapsLockOn), {mode_, HeldModifiers()});
    if (plan.empty()) {
        return {};
    }
    // SendInput accepts fewer events, without saying which, when User Interface Privilege Isolation blocks
    // them (a window of higher integrity has the focus) or the desktop is locked; the caller sees the count.
    const UINT accepted = Send(plan);
    if (accepted < plan.size()) {
        // A Shift of ours left down would capitalise the user's own typing. Best effort: a system that
        // refused the keys may refuse these too, and the caller already hears of the refusal.
        Send(PlanRecovery(plan, accepted));
    }
    return {plan.size(), accepted};
}

unsigned Win32KeystrokeSender::Send(const std::vector<InputEvent>& events) const {
    if (events.empty()) {
        return 0;
    }
    std::vector<INPUT> inputs;
    inputs.reserve(events.size());
    for (const InputEvent& event : events) {
        inputs.push_back(ToInput(event, mode_));
    }
    return SendInput(static_cast<UINT>(inputs.size()), inputs.data(), sizeof(INPUT));
}

}  // namespace corvanta::win32
