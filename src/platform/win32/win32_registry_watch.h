#pragma once

#include <windows.h>

#include <atomic>
#include <functional>
#include <thread>
#include <vector>

#include "platform/registry_watch.h"
#include "platform/win32/handles.h"
#include "platform/win32/window_routing.h"

namespace corvanta::win32 {

// RegNotifyChangeKeyValue on a thread of its own, which posts each change to a message-only window of the UI
// thread. A key that does not exist yet is watched through its nearest existing parent, with its sub-keys.
class Win32RegistryWatch : public RegistryWatch {
  public:
    Win32RegistryWatch();
    ~Win32RegistryWatch() override;
    Win32RegistryWatch(const Win32RegistryWatch&) = delete;
    Win32RegistryWatch& operator=(const Win32RegistryWatch&) = delete;

    void Watch(std::vector<RegKeyPath> keys, std::function<void()> on_change) override;

  private:
    friend LRESULT CALLBACK RoutingWindowProc<Win32RegistryWatch>(HWND, UINT, WPARAM, LPARAM);
    LRESULT HandleMessage(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam);
    void StopThread();
    // The thread's body: arms one notification per key and waits for them or for the stop event.
    void Run(std::vector<RegKeyPath> keys);

    UniqueHwnd window_;
    UniqueHandle stop_;
    UniqueHandle armed_;  // set by the thread once its first notifications are armed
    std::thread thread_;
    std::function<void()> on_change_;
    // A change is posted and not handled yet: later ones until then need no message of their own.
    std::atomic<bool> change_posted_{false};
};

}  // namespace corvanta::win32
