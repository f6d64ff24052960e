#pragma once

#include <windows.h>

#include <utility>

namespace corvanta::win32 {

// Owns one handle and gives it back with Close. NULL and INVALID_HANDLE_VALUE both mean "none": CreateFile
// fails with the one, most other calls with the other. Closing twice is harmless.
template <typename Handle, auto Close>
class UniqueOwner {
  public:
    UniqueOwner() = default;
    explicit UniqueOwner(Handle handle) : handle_(handle) {}
    UniqueOwner(const UniqueOwner&) = delete;
    UniqueOwner& operator=(const UniqueOwner&) = delete;
    UniqueOwner(UniqueOwner&& other) noexcept : handle_(other.Release()) {}
    UniqueOwner& operator=(UniqueOwner&& other) noexcept {
        if (this != &other) {
            Reset(other.Release());
        }
        return *this;
    }
    ~UniqueOwner() { Reset(); }

    Handle Get() const { return handle_; }
    bool Valid() const { return IsHandle(handle_); }
    void Reset(Handle handle = nullptr) {
        const Handle old = std::exchange(handle_, handle);
        if (old != handle && IsHandle(old)) {
            Close(old);
        }
    }
    // Gives the handle up without closing it.
    [[nodiscard]] Handle Release() { return std::exchange(handle_, nullptr); }
    // For a call that hands its new handle back through a pointer (RegCreateKeyEx); closes the one held first.
    Handle* Receive() {
        Reset();
        return &handle_;
    }

  private:
    static bool IsHandle(Handle handle) {
        return handle != nullptr && static_cast<const void*>(handle) != INVALID_HANDLE_VALUE;
    }

    Handle handle_ = nullptr;
};

// A window may already be gone, destroyed along with its owner or parent.
inline BOOL DestroyWindowIfAlive(HWND hwnd) {
    return IsWindow(hwnd) ? DestroyWindow(hwnd) : TRUE;
}

using UniqueHandle = UniqueOwner<HANDLE, &CloseHandle>;
using UniqueHkey = UniqueOwner<HKEY, &RegCloseKey>;
// A menu that is not attached to a window: an attached one goes with its window.
using UniqueHmenu = UniqueOwner<HMENU, &DestroyMenu>;
using UniqueHwnd = UniqueOwner<HWND, &DestroyWindowIfAlive>;
using UniqueDeviceNotify = UniqueOwner<HDEVNOTIFY, &UnregisterDeviceNotification>;
// A GDI object of our own making; stock objects are never given to it.
template <typename Object>
using UniqueGdi = UniqueOwner<Object, &DeleteObject>;
using UniqueFont = UniqueGdi<HFONT>;
using UniqueBitmap = UniqueGdi<HBITMAP>;
using UniqueBrush = UniqueGdi<HBRUSH>;
// A memory DC from CreateCompatibleDC.
using UniqueDc = UniqueOwner<HDC, &DeleteDC>;
// An icon loaded without LR_SHARED (an icon of a size of our choosing); shared ones are never destroyed.
using UniqueIcon = UniqueOwner<HICON, &DestroyIcon>;
// Global memory that has not been handed to the system (SetClipboardData takes it over).
using UniqueGlobal = UniqueOwner<HGLOBAL, &GlobalFree>;

// A window's device context from GetDC (the screen's for nullptr), released when the scope ends. Get() is
// nullptr when GetDC failed.
class ScopedGetDC {
  public:
    explicit ScopedGetDC(HWND window) : window_(window), dc_(GetDC(window)) {}
    ScopedGetDC(const ScopedGetDC&) = delete;
    ScopedGetDC& operator=(const ScopedGetDC&) = delete;
    ~ScopedGetDC() {
        if (dc_ != nullptr) {
            ReleaseDC(window_, dc_);
        }
    }

    HDC Get() const { return dc_; }

  private:
    HWND window_;
    HDC dc_;
};

// BeginPaint and EndPaint around the drawing of one WM_PAINT: a paint that throws still validates the region,
// or Windows would send WM_PAINT again at once, for ever.
class ScopedPaint {
  public:
    explicit ScopedPaint(HWND window) : window_(window), dc_(BeginPaint(window, &paint_)) {}
    ScopedPaint(const ScopedPaint&) = delete;
    ScopedPaint& operator=(const ScopedPaint&) = delete;
    ~ScopedPaint() { EndPaint(window_, &paint_); }

    HDC Get() const { return dc_; }

  private:
    HWND window_;
    PAINTSTRUCT paint_{};
    HDC dc_;
};

// Selects an object into a DC and puts the one it replaced back when the scope ends. Nothing happens for a
// null DC or object (WM_GETFONT answers NULL for a control in the system font).
class ScopedSelectObject {
  public:
    ScopedSelectObject(HDC dc, HGDIOBJ object)
        : dc_(dc), previous_(dc != nullptr && object != nullptr ? SelectObject(dc, object) : nullptr) {}
    ScopedSelectObject(const ScopedSelectObject&) = delete;
    ScopedSelectObject& operator=(const ScopedSelectObject&) = delete;
    ~ScopedSelectObject() {
        if (previous_ != nullptr && previous_ != HGDI_ERROR) {
            SelectObject(dc_, previous_);
        }
    }

  private:
    HDC dc_;
    HGDIOBJ previous_;
};

}  // namespace corvanta::win32
