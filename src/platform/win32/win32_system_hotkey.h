#pragma once

#include <windows.h>

#include <functional>
#include <optional>

#include "platform/system_hotkey.h"
#include "platform/win32/handles.h"
#include "platform/win32/window_routing.h"

namespace corvanta::win32 {

// RegisterHotKey on a message-only window of its own, which WM_HOTKEY reaches from any message loop of the
// thread. MOD_NOREPEAT keeps a key held down from repeating the press.
class Win32SystemHotkey : public SystemHotkey {
  public:
    Win32SystemHotkey();
    ~Win32SystemHotkey() override;
    Win32SystemHotkey(const Win32SystemHotkey&) = delete;
    Win32SystemHotkey& operator=(const Win32SystemHotkey&) = delete;

    void Register(const Hotkey& hotkey) override;
    void Unregister() override;
    void SetOnPressed(std::function<void()> handler) override { on_pressed_ = std::move(handler); }

  private:
    friend LRESULT CALLBACK RoutingWindowProc<Win32SystemHotkey>(HWND, UINT, WPARAM, LPARAM);
    LRESULT HandleMessage(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam);

    UniqueHwnd window_;
    std::optional<Hotkey> held_;
    std::function<void()> on_pressed_;
};

}  // namespace corvanta::win32
