#include "fakes/fake_shell_notify.h"

#include <cstring>
#include <utility>

namespace corvanta {
namespace {

void Apply(FakeShellNotify::Icon& icon, const NotifyIconData& data) {
    icon.flags_seen |= data.uFlags;
    if ((data.uFlags & notify::kFlagMessage) != 0) {
        icon.callback_message = data.uCallbackMessage;
    }
    if ((data.uFlags & notify::kFlagIcon) != 0) {
        icon.hIcon = data.hIcon;
    }
    if ((data.uFlags & notify::kFlagTip) != 0) {
        // The shell never reads past the field, terminator or not.
        icon.tip.assign(data.szTip, strnlen(data.szTip, sizeof(data.szTip)));
    }
}

}  // namespace

bool FakeShellNotify::NotifyIcon(uint32_t message, const NotifyIconData& data) {
    const Key key{data.hWnd, data.uID};
    const auto it = icons.find(key);
    bool result = false;
    switch (message) {
        case notify::kAdd:
            if (it == icons.end()) {
                Apply(icons[key], data);
                result = true;
            }
            break;
        case notify::kModify:
            if (it != icons.end()) {
                Apply(it->second, data);
                result = true;
            }
            break;
        case notify::kDelete:
            if (it != icons.end()) {
                icons.erase(it);
                result = true;
            }
            break;
        default:
            break;
    }
    requests.push_back({message, data, result});
    return result;
}

bool FakeShellNotify::ShowBalloon(const Balloon& balloon) {
    const auto it = icons.find({balloon.hWnd, balloon.uID});
    if (it == icons.end()) {
        return false;
    }
    Balloon kept = balloon;
    kept.title = kept.title.substr(0, notify::kBalloonTitleUnits);
    kept.text = kept.text.substr(0, notify::kBalloonTextUnits);
    it->second.balloons.push_back(std::move(kept));
    return true;
}

const FakeShellNotify::Icon* FakeShellNotify::Find(uintptr_t hWnd, uint32_t uID) const {
    const auto it = icons.find({hWnd, uID});
    return it != icons.end() ? &it->second : nullptr;
}

}  // namespace corvanta
