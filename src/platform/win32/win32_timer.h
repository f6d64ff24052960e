#pragma once

#include <windows.h>

#include <functional>

#include "platform/timer.h"
#include "platform/win32/handles.h"
#include "platform/win32/window_routing.h"

namespace corvanta::win32 {

// SetTimer on a message-only window of its own. WM_TIMER is the message loop's lowest priority, so a running
// timer never starves the thread's input, paint or posted messages.
class Win32Timer : public Timer {
  public:
    Win32Timer();
    ~Win32Timer() override;
    Win32Timer(const Win32Timer&) = delete;
    Win32Timer& operator=(const Win32Timer&) = delete;

    void Start(uint32_t delay_ms) override;
    void Stop() override;
    bool Pending() const override { return pending_; }
    void SetOnTimer(std::function<void()> handler) override { on_timer_ = std::move(handler); }

  private:
    friend LRESULT CALLBACK RoutingWindowProc<Win32Timer>(HWND, UINT, WPARAM, LPARAM);
    LRESULT HandleMessage(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam);

    UniqueHwnd window_;
    bool pending_ = false;
    std::function<void()> on_timer_;
};

}  // namespace corvanta::win32
