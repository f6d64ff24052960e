#pragma once

#include <cstddef>
#include <cstdint>

#include "common/text.h"

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

// What of a balloon's title and text the shell keeps, in UTF-16 units (szInfoTitle and szInfo less the NUL).
constexpr size_t kBalloonTitleUnits = 63;
constexpr size_t kBalloonTextUnits = 255;
}  // namespace notify

enum class BalloonIcon : uint8_t { kInfo, kWarning };

// A balloon over the icon of the pair (hWnd, uID).
struct Balloon {
    uintptr_t hWnd = 0;
    uint32_t uID = 0;
    Text title;
    Text text;
    BalloonIcon icon = BalloonIcon::kInfo;
};

// Shell_NotifyIconA: adds, modifies or deletes the icon of the pair (hWnd, uID).
class ShellNotify {
  public:
    virtual ~ShellNotify() = default;
    virtual bool NotifyIcon(uint32_t message, const NotifyIconData& data) = 0;

    // Shell_NotifyIconW NIM_MODIFY with NIF_INFO alone: shows a balloon over the icon of the pair and leaves its
    // icon, tip and callback as they are. False when the pair has no icon. Title and text beyond what the shell
    // keeps are cut off.
    virtual bool ShowBalloon(const Balloon& balloon) = 0;
};

}  // namespace corvanta
