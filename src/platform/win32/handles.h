#pragma once

#include <windows.h>

#include <utility>

namespace corvanta::win32 {

// Owns a kernel handle. NULL and INVALID_HANDLE_VALUE both mean "none"; closing twice is harmless.
class UniqueHandle {
  public:
    UniqueHandle() = default;
    explicit UniqueHandle(HANDLE handle) : handle_(handle) {}
    UniqueHandle(const UniqueHandle&) = delete;
    UniqueHandle& operator=(const UniqueHandle&) = delete;
    UniqueHandle(UniqueHandle&& other) noexcept : handle_(std::exchange(other.handle_, nullptr)) {}
    UniqueHandle& operator=(UniqueHandle&& other) noexcept {
        if (this != &other) {
            Reset(std::exchange(other.handle_, nullptr));
        }
        return *this;
    }
    ~UniqueHandle() { Reset(); }

    HANDLE Get() const { return handle_; }
    bool Valid() const { return handle_ != nullptr && handle_ != INVALID_HANDLE_VALUE; }
    void Reset(HANDLE handle = nullptr) {
        if (Valid()) {
            CloseHandle(handle_);
        }
        handle_ = handle;
    }

  private:
    HANDLE handle_ = nullptr;
};

// Owns an open registry key.
class UniqueHkey {
  public:
    UniqueHkey() = default;
    explicit UniqueHkey(HKEY key) : key_(key) {}
    UniqueHkey(const UniqueHkey&) = delete;
    UniqueHkey& operator=(const UniqueHkey&) = delete;
    UniqueHkey(UniqueHkey&& other) noexcept : key_(std::exchange(other.key_, nullptr)) {}
    ~UniqueHkey() { Reset(); }

    HKEY Get() const { return key_; }
    HKEY* Receive() {
        Reset();
        return &key_;
    }
    void Reset() {
        if (key_ != nullptr) {
            RegCloseKey(key_);
            key_ = nullptr;
        }
    }

  private:
    HKEY key_ = nullptr;
};

// Owns a menu that is not attached to a window.
class UniqueHmenu {
  public:
    UniqueHmenu() = default;
    explicit UniqueHmenu(HMENU menu) : menu_(menu) {}
    UniqueHmenu(const UniqueHmenu&) = delete;
    UniqueHmenu& operator=(const UniqueHmenu&) = delete;
    ~UniqueHmenu() { Reset(); }

    HMENU Get() const { return menu_; }
    void Reset(HMENU menu = nullptr) {
        if (menu_ != nullptr) {
            DestroyMenu(menu_);
        }
        menu_ = menu;
    }

  private:
    HMENU menu_ = nullptr;
};

// Owns a window; destroys it unless it is already gone.
class UniqueHwnd {
  public:
    UniqueHwnd() = default;
    explicit UniqueHwnd(HWND hwnd) : hwnd_(hwnd) {}
    UniqueHwnd(const UniqueHwnd&) = delete;
    UniqueHwnd& operator=(const UniqueHwnd&) = delete;
    ~UniqueHwnd() { Reset(); }

    HWND Get() const { return hwnd_; }
    void Reset(HWND hwnd = nullptr) {
        if (hwnd_ != nullptr && IsWindow(hwnd_)) {
            DestroyWindow(hwnd_);
        }
        hwnd_ = hwnd;
    }

  private:
    HWND hwnd_ = nullptr;
};

// Owns a registration for device notifications.
class UniqueDeviceNotify {
  public:
    UniqueDeviceNotify() = default;
    UniqueDeviceNotify(const UniqueDeviceNotify&) = delete;
    UniqueDeviceNotify& operator=(const UniqueDeviceNotify&) = delete;
    ~UniqueDeviceNotify() { Reset(); }

    HDEVNOTIFY Get() const { return notify_; }
    void Reset(HDEVNOTIFY notify = nullptr) {
        if (notify_ != nullptr) {
            UnregisterDeviceNotification(notify_);
        }
        notify_ = notify;
    }

  private:
    HDEVNOTIFY notify_ = nullptr;
};

}  // namespace corvanta::win32
