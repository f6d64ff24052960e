#pragma once

#include <windows.h>

#include <cstdint>
#include <functional>

#include "platform/form_host.h"
#include "platform/win32/handles.h"
#include "platform/win32/window_routing.h"

namespace corvanta::win32 {

// An icon known by its handle. It does not own the handle: program icons are loaded shared, and the system
// keeps a shared icon for the life of the module.
class IconPicture : public Picture {
  public:
    explicit IconPicture(HICON icon) : icon_(icon) {}
    uintptr_t Handle() const override { return reinterpret_cast<uintptr_t>(icon_); }

  private:
    HICON icon_;
};

// Loads an icon resource with LR_SHARED: the system owns the icon and frees it with the module, so nobody may
// destroy it, and the same handle can be given to the shell for the tray without a copy. Size 0 takes the
// system's default icon size. Failures throw "operation: system message".
PictureRef LoadSharedIcon(HINSTANCE instance, int id, int size, TextView operation);

// Gives a window the picture as its small and its large icon; an empty picture takes them away.
void SetWindowIcons(HWND window, const PictureRef& icon);

// Asks every main form of this program on the desktop to close, as the Exit command would, and waits up to
// timeout_ms for their processes to end. True when none is left running.
bool CloseRunningForms(DWORD timeout_ms);

// The main form: a top-level window captioned with the program title that is never shown. Being top level
// (not message-only) it receives WM_ENDSESSION and the shell's broadcasts; it is also the parent of the tray
// control's window.
class Win32FormHost : public FormHost {
  public:
    explicit Win32FormHost(HINSTANCE instance);
    Win32FormHost(const Win32FormHost&) = delete;
    Win32FormHost& operator=(const Win32FormHost&) = delete;
    ~Win32FormHost() override;

    PictureRef LoadResIcon(int id) override;
    PictureRef Icon() const override { return icon_; }
    void SetIcon(PictureRef icon) override;
    void Hide() override;
    int MsgBox(TextView prompt, uint32_t style, TextView title) override;

    HWND hWnd() const { return window_.Get(); }

    // Called when the form is asked to unload (closed, or the session ends); a handler that sets Cancel to a
    // non-zero value keeps the form. Once unloaded the message loop ends.
    std::function<void(int16_t& Cancel)> OnUnload;

    // Unloads the form now, as closing it would: OnUnload runs before this returns, and the message loop ends
    // once the current message has been handled.
    void Unload() { UnloadNow(); }

    // Dispatches messages until the form has unloaded; returns the exit code.
    int RunMessageLoop();

  private:
    friend LRESULT CALLBACK RoutingWindowProc<Win32FormHost>(HWND, UINT, WPARAM, LPARAM);
    LRESULT HandleMessage(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam);
    void UnloadNow();

    HINSTANCE instance_;
    UniqueHwnd window_;
    PictureRef icon_;
    bool unloaded_ = false;
};

}  // namespace corvanta::win32
