#pragma once

#include <cstdint>

namespace corvanta {

// The shell's notification-area request record in its ANSI, first-version form: the same fields, types and
// layout as NOTIFYICONDATAA up to szTip (88 bytes in a 32-bit build).
struct NotifyIconData {
    uint32_t cbSize;
    uintptr_t hWnd;
    uint32_t uID;
    uint32_t uFlags;
    uint32_t uCallbackMessage;
    uintptr_t hIcon;
    char szTip[64];
};

namespace notify {
constexpr uint32_t kAdd = 0;
constexpr uint32_t kModify = 1;
constexpr uint32_t kDelete = 2;

constexpr uint32_t kFlagMessage = 1;
constexpr uint32_t kFlagIcon = 2;
constexpr uint32_t kFlagTip = 4;
}  // namespace notify

// Shell_NotifyIconA: adds, modifies or deletes the icon of the pair (hWnd, uID).
class ShellNotify {
  public:
    virtual ~ShellNotify() = default;
    virtual bool NotifyIcon(uint32_t message, const NotifyIconData& data) = 0;
};

}  // namespace corvanta
