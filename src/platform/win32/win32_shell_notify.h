#pragma once

#include "platform/shell_notify.h"

namespace corvanta::win32 {

// Shell_NotifyIconA with the record in the platform's first-version NOTIFYICONDATAA; balloons through the wide
// record, whose balloon fields the first version lacks.
class Win32ShellNotify : public ShellNotify {
  public:
    bool NotifyIcon(uint32_t message, const NotifyIconData& data) override;
    bool ShowBalloon(const Balloon& balloon) override;
};

}  // namespace corvanta::win32
