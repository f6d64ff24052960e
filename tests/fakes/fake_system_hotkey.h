#pragma once

#include <functional>
#include <map>
#include <optional>

#include "platform/system_hotkey.h"

namespace corvanta {

class FakeSystemHotkey;

// The session's table of hotkeys, as RegisterHotKey keeps it: each combination has at most one holder, a
// registrant of ours or another program.
class FakeHotkeyBoard {
  public:
    // The user presses the combination: its holder's handler runs (what the message loop would do). False when
    // none of ours holds it.
    bool Press(const Hotkey& hotkey);
    // Another program takes the combination.
    void HoldElsewhere(const Hotkey& hotkey) { holders[hotkey] = nullptr; }

    // Each held combination and its holder, nullptr for another program.
    std::map<Hotkey, FakeSystemHotkey*> holders;
};

// One registrant on the board.
class FakeSystemHotkey : public SystemHotkey {
  public:
    explicit FakeSystemHotkey(FakeHotkeyBoard& board) : board_(board) {}
    ~FakeSystemHotkey() override { Unregister(); }
    FakeSystemHotkey(const FakeSystemHotkey&) = delete;
    FakeSystemHotkey& operator=(const FakeSystemHotkey&) = delete;

    void Register(const Hotkey& hotkey) override;
    void Unregister() override;
    void SetOnPressed(std::function<void()> handler) override { on_pressed_ = std::move(handler); }

    // What this registrant holds.
    const std::optional<Hotkey>& Held() const { return held_; }

  private:
    friend class FakeHotkeyBoard;

    FakeHotkeyBoard& board_;
    std::optional<Hotkey> held_;
    std::function<void()> on_pressed_;
};

}  // namespace corvanta
