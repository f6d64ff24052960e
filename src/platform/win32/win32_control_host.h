#pragma once

#include <windows.h>

#include "platform/form_host.h"
#include "platform/win32/handles.h"
#include "platform/win32/window_routing.h"

namespace corvanta::win32 {

// The tray control's own window: a hidden pop-up owned by the form, and the window the shell sends the tray
// callback to. Its window procedure only routes: WM_MOUSEMOVE (the callback message, 512) to
// UserControl_MouseMove, WM_SIZE to UserControl_Resize and the shell's "TaskbarCreated" to OnTaskbarCreated.
//
// Attach the control before setting any of its properties: attaching loads its saved properties, and the
// program has no saved design, so they start from their defaults. The host may be destroyed before or after
// the control (the control's last delete request does not need its host); while the host lives on without
// the control, Detach it first.
class Win32ControlHost : public ControlHost {
  public:
    explicit Win32ControlHost(HWND parent);
    Win32ControlHost(const Win32ControlHost&) = delete;
    Win32ControlHost& operator=(const Win32ControlHost&) = delete;
    ~Win32ControlHost() override;

    void Attach(ControlEvents& control);
    void Detach() { control_ = nullptr; }

    bool AmbientUserMode() const override { return true; }
    uintptr_t hWnd() const override { return reinterpret_cast<uintptr_t>(window_.Get()); }
    void PropertyChanged(TextView /*name*/) override {}
    float Height() const override;
    float Width() const override;
    void SetHeight(float twips) override;
    void SetWidth(float twips) override;
    float Image1Height() const override { return kImage1Twips; }
    float Image1Width() const override { return kImage1Twips; }
    float TwipsPerPixelX() const override { return static_cast<float>(twips_per_pixel_x_); }
    PictureRef LoadEmptyPicture() override;

    HWND Window() const { return window_.Get(); }

  private:
    // The face image: a 32 x 32 icon with its border.
    static constexpr float kImage1Twips = 510;

    friend LRESULT CALLBACK RoutingWindowProc<Win32ControlHost>(HWND, UINT, WPARAM, LPARAM);
    LRESULT HandleMessage(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam);
    SIZE PixelSize() const;
    void SetPixelSize(int width, int height);

    UniqueHwnd window_;
    ControlEvents* control_ = nullptr;
    int twips_per_pixel_x_ = 15;
    int twips_per_pixel_y_ = 15;
    UINT taskbar_created_ = 0;
};

}  // namespace corvanta::win32
