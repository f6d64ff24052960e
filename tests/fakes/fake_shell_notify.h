#pragma once

#include <map>
#include <string>
#include <utility>
#include <vector>

#include "platform/shell_notify.h"

namespace corvanta {

// The notification area as the shell keeps it: one icon per (hWnd, uID). An add fails when the pair is already
// there, a modify or a delete when it is not; an add or a modify sets only the parts its uFlags name.
class FakeShellNotify : public ShellNotify {
  public:
    struct Icon {
        uint32_t flags_seen = 0;  // every uFlags bit that the add and the modifies carried
        uint32_t callback_message = 0;
        uintptr_t hIcon = 0;
        std::string tip;                // szTip up to its NUL
        std::vector<Balloon> balloons;  // as the shell kept them, oldest first
    };
    struct Request {
        uint32_t message;
        NotifyIconData data;  // a copy of the record as sent
        bool result;
    };
    using Key = std::pair<uintptr_t, uint32_t>;

    bool NotifyIcon(uint32_t message, const NotifyIconData& data) override;
    bool ShowBalloon(const Balloon& balloon) override;

    // The icon of the pair, or nullptr when the tray has none.
    const Icon* Find(uintptr_t hWnd, uint32_t uID) const;

    std::map<Key, Icon> icons;
    std::vector<Request> requests;
};

}  // namespace corvanta
