#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "contract/contract_sides.h"
#include "core/hotkey_names.h"
#include "fakes/fake_system_hotkey.h"
#include "platform/system_hotkey.h"

#ifdef CORVANTA_HAVE_WIN32
#include <windows.h>

#include <chrono>

#include "contract/message_loop_win32.h"
#include "platform/win32/win32_system_hotkey.h"
#endif

namespace corvanta {
namespace {

// A session's hotkeys: registrants made on it, and a keyboard to press combinations with.
class HotkeyBed {
  public:
    virtual ~HotkeyBed() = default;
    virtual std::unique_ptr<SystemHotkey> MakeRegistrant() = 0;
    // Presses the combination (modifiers down, the key down and up, modifiers up).
    virtual void Press(const Hotkey& hotkey) = 0;
    // Runs the message loop until done() holds or a deadline passes; returns done().
    virtual bool PumpUntil(const std::function<bool()>& done) = 0;
};

class FakeBed : public HotkeyBed {
  public:
    std::unique_ptr<SystemHotkey> MakeRegistrant() override { return std::make_unique<FakeSystemHotkey>(board_); }
    void Press(const Hotkey& hotkey) override { board_.Press(hotkey); }
    bool PumpUntil(const std::function<bool()>& done) override { return done(); }

  private:
    FakeHotkeyBoard board_;
};

#ifdef CORVANTA_HAVE_WIN32
// Presses go through SendInput: the system matches injected keys against hotkeys as it does typed ones (Wine
// too, with or without a focused window).
class Win32Bed : public HotkeyBed {
  public:
    std::unique_ptr<SystemHotkey> MakeRegistrant() override { return std::make_unique<win32::Win32SystemHotkey>(); }
    void Press(const Hotkey& hotkey) override {
        const struct {
            uint32_t bit;
            WORD key;
        } modifiers[] = {{MOD_CONTROL, VK_CONTROL}, {MOD_ALT, VK_MENU}, {MOD_SHIFT, VK_SHIFT}, {MOD_WIN, VK_LWIN}};
        std::vector<INPUT> inputs;
        const auto add = [&inputs](WORD key, bool up) {
            INPUT input{};
            input.type = INPUT_KEYBOARD;
            input.ki.wVk = key;
            input.ki.dwFlags = up ? KEYEVENTF_KEYUP : 0;
            inputs.push_back(input);
        };
        for (const auto& modifier : modifiers) {
            if ((hotkey.modifiers & modifier.bit) != 0) {
                add(modifier.key, false);
            }
        }
        add(static_cast<WORD>(hotkey.key), false);
        add(static_cast<WORD>(hotkey.key), true);
        for (const auto& modifier : modifiers) {
            if ((hotkey.modifiers & modifier.bit) != 0) {
                add(modifier.key, true);
            }
        }
        ASSERT_EQ(SendInput(static_cast<UINT>(inputs.size()), inputs.data(), sizeof(INPUT)), inputs.size())
            << "SendInput: error " << GetLastError();
    }
    bool PumpUntil(const std::function<bool()>& done) override {
        return test::PumpUntil(done, std::chrono::seconds(10));
    }
};
#endif

using BedSide = contract::Side<std::shared_ptr<HotkeyBed>>;

std::vector<BedSide> Sides() {
    std::vector<BedSide> sides{{"Fake", [] { return std::shared_ptr<HotkeyBed>(std::make_shared<FakeBed>()); }}};
#ifdef CORVANTA_HAVE_WIN32
    sides.push_back({"Win32", [] { return std::shared_ptr<HotkeyBed>(std::make_shared<Win32Bed>()); }});
#endif
    return sides;
}

Hotkey Named(TextView name) {
    return ParseHotkey(name).value();
}

class SystemHotkeyContract : public ::testing::TestWithParam<BedSide> {
  protected:
    void SetUp() override {
        bed = GetParam().make();
        ours = bed->MakeRegistrant();
        ours->SetOnPressed([this] { ++presses; });
        theirs = bed->MakeRegistrant();
        theirs->SetOnPressed([this] { ++their_presses; });
        sentinel = bed->MakeRegistrant();
        sentinel->SetOnPressed([this] { ++sentinel_presses; });
        sentinel->Register(kSentinel);
    }

    // Presses `other`, then `held`, then the sentinel's combination; once the sentinel's press has come, the two
    // before it have been handled too. Returns how many of the two raised our handler.
    int PressesOf(const Hotkey& held, const Hotkey& other) {
        const int before = presses;
        const int sentinel_before = sentinel_presses;
        bed->Press(other);
        bed->Press(held);
        bed->Press(kSentinel);
        EXPECT_TRUE(bed->PumpUntil([&] { return sentinel_presses > sentinel_before; })) << "the sentinel's press";
        return presses - before;
    }

    static constexpr Hotkey kSentinel{hotkey_mod::kControl | hotkey_mod::kAlt | hotkey_mod::kShift, 0x87};  // F24

    std::shared_ptr<HotkeyBed> bed;
    std::unique_ptr<SystemHotkey> ours;
    std::unique_ptr<SystemHotkey> theirs;
    std::unique_ptr<SystemHotkey> sentinel;
    int presses = 0;
    int their_presses = 0;
    int sentinel_presses = 0;
};

// The held combination raises the handler once per press, and the same key with other modifiers does not; each
// modifier counts.
TEST_P(SystemHotkeyContract, ThePressOfTheHeldCombinationRaisesTheHandler) {
    const struct {
        const char16_t* held;
        const char16_t* other;
    } cases[] = {
        {u"F9", u"Shift+F9"},
        {u"Ctrl+Shift+W", u"Ctrl+W"},
        {u"Alt+F10", u"F10"},
        {u"Win+F8", u"F8"},
    };
    for (const auto& c : cases) {
        const Hotkey held = Named(c.held);
        ours->Register(held);
        EXPECT_EQ(PressesOf(held, Named(c.other)), 1) << ToUtf8(c.held) << " after " << ToUtf8(c.other);
        EXPECT_EQ(PressesOf(held, Named(u"Pause")), 1) << ToUtf8(c.held) << " a second time";
    }
    EXPECT_EQ(their_presses, 0);
}

// A combination someone else holds is refused as taken, with the system's words, and leaves nothing held; what is
// free can still be taken.
TEST_P(SystemHotkeyContract, ACombinationHeldElsewhereIsRefusedAsTaken) {
    const Hotkey taken = Named(u"Ctrl+Shift+F12");
    theirs->Register(taken);
    ours->Register(Named(u"F11"));
    try {
        ours->Register(taken);
        ADD_FAILURE() << "the second registration of Ctrl+Shift+F12 was accepted";
    } catch (const HotkeyTakenError& e) {
        const std::string description = e.what();
        EXPECT_EQ(description.rfind("Registering the hotkey: ", 0), 0u) << description;
        EXPECT_GT(description.size(), 30u) << description;
    }
    bed->Press(taken);
    EXPECT_TRUE(bed->PumpUntil([&] { return their_presses == 1; }));
    // F11, held before the refusal, went: the other side can take it.
    EXPECT_NO_THROW(theirs->Register(Named(u"F11")));
    ours->Register(Named(u"Alt+F11"));
    EXPECT_EQ(PressesOf(Named(u"Alt+F11"), taken), 1);
    EXPECT_EQ(their_presses, 1);
}

// A registrant holds one combination: a new one replaces it, Unregister and the registrant's end let it go, and
// registering what it holds again changes nothing.
TEST_P(SystemHotkeyContract, ReplacingAndUnregisteringLetTheCombinationGo) {
    const Hotkey first = Named(u"Ctrl+F5");
    const Hotkey second = Named(u"Ctrl+F6");
    ours->Register(first);
    EXPECT_NO_THROW(ours->Register(first));
    EXPECT_EQ(PressesOf(first, second), 1);
    ours->Register(second);
    EXPECT_EQ(PressesOf(second, first), 1);
    EXPECT_NO_THROW(theirs->Register(first));
    ours->Unregister();
    ours->Unregister();
    EXPECT_NO_THROW(theirs->Register(second));

    std::unique_ptr<SystemHotkey> passing = bed->MakeRegistrant();
    passing->Register(Named(u"Ctrl+F7"));
    passing.reset();
    EXPECT_NO_THROW(ours->Register(Named(u"Ctrl+F7")));
}

INSTANTIATE_TEST_SUITE_P(Sides, SystemHotkeyContract, ::testing::ValuesIn(Sides()), contract::SideName());

}  // namespace
}  // namespace corvanta
