#include "platform/win32/win32_control_host.h"

#include <windowsx.h>

#include <cmath>
#include <memory>

#include "platform/win32/win32_error.h"
#include "platform/win32/window_routing.h"
#include "tray/memory_property_bag.h"

namespace corvanta::win32 {

namespace {

constexpr wchar_t kClassName[] = L"CorvantaTrayArea";

class EmptyPicture : public Picture {
  public:
    uintptr_t Handle() const override { return 0; }
};

// Twips per pixel as the screen's logical resolution gives it, in whole twips: 15 at 96 dpi, 12 at 120,
// 10 at 144. Whole numbers keep "pixels x twips per pixel / twips per pixel" exact in single precision.
int TwipsPerPixel(int logical_dpi) {
    return logical_dpi > 0 ? 1440 / logical_dpi : 15;
}

int ToPixels(float twips, int twips_per_pixel) {
    return static_cast<int>(std::lround(static_cast<double>(twips) / twips_per_pixel));
}

}  // namespace

Win32ControlHost::Win32ControlHost(HWND parent) {
    if (const ScopedGetDC screen(nullptr); screen.Get() != nullptr) {
        twips_per_pixel_x_ = TwipsPerPixel(GetDeviceCaps(screen.Get(), LOGPIXELSX));
        twips_per_pixel_y_ = TwipsPerPixel(GetDeviceCaps(screen.Get(), LOGPIXELSY));
    }

    HINSTANCE instance = GetModuleHandleW(nullptr);
    RegisterWindowClass(instance, kClassName, &RoutingWindowProc<Win32ControlHost>);
    // Never shown. Top-level, because the shell broadcasts "TaskbarCreated" to top-level windows only: a pop-up
    // owned by the form (a tool window, kept off the taskbar), not a child.
    HWND hwnd =
        CreateWindowExW(WS_EX_TOOLWINDOW, kClassName, L"", WS_POPUP, 0, 0, ToPixels(kImage1Twips, twips_per_pixel_x_),
                        ToPixels(kImage1Twips, twips_per_pixel_y_), parent, nullptr, instance, this);
    if (hwnd == nullptr) {
        ThrowLastError(u"Creating the tray control's window");
    }
    window_.Reset(hwnd);
    taskbar_created_ = RegisterWindowMessageW(L"TaskbarCreated");
    // An elevated process would otherwise never see the broadcast of the shell, which runs at medium integrity.
    if (taskbar_created_ != 0) {
        ChangeWindowMessageFilterEx(hwnd, taskbar_created_, MSGFLT_ALLOW, nullptr);
    }
}

Win32ControlHost::~Win32ControlHost() {
    control_ = nullptr;
    if (window_.Get() != nullptr) {
        SetWindowLongPtrW(window_.Get(), GWLP_USERDATA, 0);
    }
}

void Win32ControlHost::Attach(ControlEvents& control) {
    control_ = &control;
    MemoryPropertyBag no_saved_design;
    control.UserControl_ReadProperties(no_saved_design);
    control.UserControl_Resize();
}

SIZE Win32ControlHost::PixelSize() const {
    RECT rect{};
    if (!GetWindowRect(window_.Get(), &rect)) {
        ThrowLastError(u"Reading the tray control's size");
    }
    return SIZE{rect.right - rect.left, rect.bottom - rect.top};
}

void Win32ControlHost::SetPixelSize(int width, int height) {
    // Sends WM_SIZE, and so the control's resize handler, before it returns when the size changes.
    if (!SetWindowPos(window_.Get(), nullptr, 0, 0, width, height, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE)) {
        ThrowLastError(u"Sizing the tray control");
    }
}

float Win32ControlHost::Height() const {
    return static_cast<float>(PixelSize().cy * twips_per_pixel_y_);
}

float Win32ControlHost::Width() const {
    return static_cast<float>(PixelSize().cx * twips_per_pixel_x_);
}

void Win32ControlHost::SetHeight(float twips) {
    SetPixelSize(PixelSize().cx, ToPixels(twips, twips_per_pixel_y_));
}

void Win32ControlHost::SetWidth(float twips) {
    SetPixelSize(ToPixels(twips, twips_per_pixel_x_), PixelSize().cy);
}

PictureRef Win32ControlHost::LoadEmptyPicture() {
    return std::make_shared<EmptyPicture>();
}

LRESULT Win32ControlHost::HandleMessage(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
    if (control_ == nullptr) {
        return DefWindowProcW(hwnd, message, wparam, lparam);
    }
    switch (message) {
        case WM_MOUSEMOVE: {
            // Also the shell's tray callback: then x is the mouse message number (WM_LBUTTONUP...) and wParam the
            // icon's uID, so Button and Shift mean nothing there; the control ignores them.
            const auto button =
                static_cast<int16_t>(((wparam & MK_LBUTTON) != 0 ? 1 : 0) | ((wparam & MK_RBUTTON) != 0 ? 2 : 0) |
                                     ((wparam & MK_MBUTTON) != 0 ? 4 : 0));
            const auto shift =
                static_cast<int16_t>(((wparam & MK_SHIFT) != 0 ? 1 : 0) | ((wparam & MK_CONTROL) != 0 ? 2 : 0) |
                                     (GetKeyState(VK_MENU) < 0 ? 4 : 0));
            const auto x = static_cast<float>(GET_X_LPARAM(lparam) * twips_per_pixel_x_);
            const auto y = static_cast<float>(GET_Y_LPARAM(lparam) * twips_per_pixel_y_);
            control_->UserControl_MouseMove(button, shift, x, y);
            return 0;
        }
        case WM_SIZE:
            control_->UserControl_Resize();
            return 0;
        default:
            if (message == taskbar_created_ && taskbar_created_ != 0) {
                control_->OnTaskbarCreated();
                return 0;
            }
            return DefWindowProcW(hwnd, message, wparam, lparam);
    }
}

}  // namespace corvanta::win32
