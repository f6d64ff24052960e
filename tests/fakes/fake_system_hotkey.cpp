#include "fakes/fake_system_hotkey.h"

namespace corvanta {

bool FakeHotkeyBoard::Press(const Hotkey& hotkey) {
    const auto it = holders.find(hotkey);
    if (it == holders.end() || it->second == nullptr) {
        return false;
    }
    if (it->second->on_pressed_) {
        it->second->on_pressed_();
    }
    return true;
}

void FakeSystemHotkey::Register(const Hotkey& hotkey) {
    if (held_ == hotkey) {
        return;
    }
    Unregister();
    if (board_.holders.contains(hotkey)) {
        // The text Windows gives for ERROR_HOTKEY_ALREADY_REGISTERED.
        throw HotkeyTakenError(u"Registering the hotkey: Hot key is already registered.");
    }
    board_.holders[hotkey] = this;
    held_ = hotkey;
}

void FakeSystemHotkey::Unregister() {
    if (held_) {
        board_.holders.erase(*held_);
        held_.reset();
    }
}

}  // namespace corvanta
