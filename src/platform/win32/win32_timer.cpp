#include "platform/win32/win32_timer.h"

#include "platform/win32/win32_error.h"

namespace corvanta::win32 {

namespace {
constexpr wchar_t kClassName[] = L"CorvantaTimer";
constexpr UINT_PTR kTimerId = 1;
}  // namespace

Win32Timer::Win32Timer() {
    window_.Reset(CreateMessageOnlyWindow(*this, kClassName, u"Creating the timer's window"));
}

Win32Timer::~Win32Timer() {
    Stop();
    SetWindowLongPtrW(window_.Get(), GWLP_USERDATA, 0);
}

void Win32Timer::Start(uint32_t delay_ms) {
    // Below USER_TIMER_MINIMUM the system uses the minimum anyway.
    if (SetTimer(window_.Get(), kTimerId, delay_ms < USER_TIMER_MINIMUM ? USER_TIMER_MINIMUM : delay_ms, nullptr) ==
        0) {
        ThrowLastError(u"Starting a timer");
    }
    pending_ = true;
}

void Win32Timer::Stop() {
    if (pending_) {
        KillTimer(window_.Get(), kTimerId);
        pending_ = false;
    }
}

LRESULT Win32Timer::HandleMessage(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
    // A WM_TIMER already in the queue when Stop ran is not a tick any more.
    if (message == WM_TIMER && wparam == kTimerId) {
        if (pending_) {
            KillTimer(hwnd, kTimerId);
            pending_ = false;
            if (on_timer_) {
                on_timer_();
            }
        }
        return 0;
    }
    return DefWindowProcW(hwnd, message, wparam, lparam);
}

}  // namespace corvanta::win32
