#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "fakes/fake_ansi_code_page.h"
#include "fakes/fake_control_host.h"
#include "fakes/fake_picture.h"
#include "fakes/fake_shell_notify.h"
#include "tray/TrayArea.h"
#include "tray/memory_property_bag.h"

namespace corvanta {
namespace {

// The shell at logon: every request fails until the taskbar is up.
class LateShell : public ShellNotify {
  public:
    bool NotifyIcon(uint32_t message, const NotifyIconData& data) override {
        return up && tray.NotifyIcon(message, data);
    }
    bool ShowBalloon(const Balloon& balloon) override { return up && tray.ShowBalloon(balloon); }
    bool up = true;
    FakeShellNotify tray;
};

struct TrayRig {
    TrayRig() { host.Attach(tray); }

    void Show() {
        tray.SetIcon(MakeFakePicture(0x4321));
        tray.SetToolTip(u"Corvanta");
        tray.SetVisible(true);
    }

    // Explorer ended and came back: the new shell holds none of the old icons and broadcasts "TaskbarCreated".
    void RestartShell() {
        shell.tray.icons.clear();
        tray.OnTaskbarCreated();
    }

    // The one icon in the tray must be the program's, under the identifier the control now uses.
    void ExpectOneProgramIcon(const std::string& when) {
        ASSERT_EQ(shell.tray.icons.size(), 1u) << when;
        const auto& [key, icon] = *shell.tray.icons.begin();
        EXPECT_EQ(key.first, host.hwnd) << when;
        EXPECT_EQ(key.second, tray.NotifyData().uID) << when;
        EXPECT_EQ(icon.hIcon, 0x4321u) << when;
        EXPECT_EQ(icon.tip, "Corvanta") << when;
        EXPECT_EQ(icon.callback_message, kTrayCallbackMessage) << when;
    }

    FakeControlHost host;
    LateShell shell;
    FakeAnsiCodePage ansi;
    TrayArea tray{host, shell, ansi};
};

class TrayRecoveryTest : public ::testing::Test, protected TrayRig {};

TEST_F(TrayRecoveryTest, AShownIconComesBackAfterEveryShellRestart) {
    Show();
    for (int restart = 1; restart <= 3; ++restart) {
        RestartShell();
        ExpectOneProgramIcon("after shell restart " + std::to_string(restart));
    }
    // Requests after the re-add reach the new icon, and a balloon leaves it as it was.
    EXPECT_TRUE(tray.ShowBalloon(u"Corvanta", u"No reply from COM1", BalloonIcon::kWarning));
    ExpectOneProgramIcon("after a balloon");
    EXPECT_EQ(shell.tray.icons.begin()->second.balloons.size(), 1u);
    tray.SetToolTip(u"Other");
    EXPECT_EQ(shell.tray.icons.begin()->second.tip, "Other");
}

TEST_F(TrayRecoveryTest, ABroadcastWhileTheIconIsThereLeavesOneIcon) {
    Show();
    tray.OnTaskbarCreated();
    tray.OnTaskbarCreated();
    ExpectOneProgramIcon("after two broadcasts to a shell that kept the icon");
}

TEST_F(TrayRecoveryTest, AnAddRefusedAtLogonSucceedsWhenTheTaskbarComes) {
    shell.up = false;
    Show();
    ASSERT_TRUE(shell.tray.icons.empty());
    EXPECT_FALSE(tray.ShowBalloon(u"Corvanta", u"COM1 is not open", BalloonIcon::kWarning));
    shell.up = true;
    tray.OnTaskbarCreated();
    ExpectOneProgramIcon("after the taskbar came up");
}

// No icon may appear for a control whose icon is not meant to be in the tray, and no balloon goes out for one.
TEST(TrayRecovery, NoIconAppearsUnlessShown) {
    const struct {
        const char* state;
        std::function<void(TrayRig&)> enter;
    } kStates[] = {
        {"never shown", [](TrayRig&) {}},
        {"shown, then hidden",
         [](TrayRig& t) {
             t.Show();
             t.tray.SetVisible(false);
         }},
        {"shown, then the icon set to nothing",
         [](TrayRig& t) {
             t.Show();
             t.tray.SetIcon(nullptr);
         }},
        {"shown, then terminated",
         [](TrayRig& t) {
             t.Show();
             t.tray.UserControl_Terminate();
         }},
        {"shown in a form designer",
         [](TrayRig& t) {
             t.host.user_mode = false;
             t.Show();
         }},
        {"Visible loaded from saved data, never added",
         [](TrayRig& t) {
             MemoryPropertyBag saved;
             saved.WriteBool(u"Visible", true, false);
             t.tray.UserControl_ReadProperties(saved);
         }},
    };
    for (const auto& state : kStates) {
        TrayRig t;
        state.enter(t);
        EXPECT_FALSE(t.tray.ShowBalloon(u"Corvanta", u"COM1 is not open", BalloonIcon::kWarning)) << state.state;
        t.RestartShell();
        EXPECT_TRUE(t.shell.tray.icons.empty()) << state.state;
    }
}

}  // namespace
}  // namespace corvanta
