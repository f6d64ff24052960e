#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "fakes/fake_ansi_code_page.h"
#include "fakes/fake_control_host.h"
#include "fakes/fake_picture.h"
#include "fakes/fake_shell_notify.h"
#include "tray/TrayArea.h"
#include "tray/memory_property_bag.h"

namespace corvanta {
namespace {

using Request = FakeShellNotify::Request;

std::string TipBytes(const NotifyIconData& data) {
    return std::string(data.szTip, sizeof(data.szTip));
}

// The 64 bytes the shell must get for a tip: the ANSI bytes, one NUL, blanks to the end.
std::string ExpectedTip(const std::string& ansi) {
    std::string tip = ansi + '\0';
    tip.resize(64, ' ');
    return tip;
}

std::vector<Text> Names(std::initializer_list<const char16_t*> names) {
    return std::vector<Text>(names.begin(), names.end());
}

class TrayAreaTest : public ::testing::Test {
  protected:
    TrayAreaTest() {
        host.Attach(tray);
        tray.MouseMove = [this] { events.push_back("MouseMove"); };
        tray.MouseDown = [this](int16_t& Button) { events.push_back("MouseDown " + std::to_string(Button)); };
        tray.MouseUp = [this](int16_t& Button) { events.push_back("MouseUp " + std::to_string(Button)); };
        tray.DblClick = [this] { events.push_back("DblClick"); };
    }

    // The start-up sequence of the main form: icon, tooltip, then shown.
    void ShowAsAtStartUp() {
        tray.SetIcon(icon);
        tray.SetToolTip(u"Corvanta");
        tray.SetVisible(true);
    }
    const Request& Last() const { return shell.requests.back(); }
    const Request& LastAdd() const {
        for (auto it = shell.requests.rbegin(); it != shell.requests.rend(); ++it) {
            if (it->message == notify::kAdd) {
                return *it;
            }
        }
        throw std::logic_error("no add was sent");
    }

    FakeControlHost host;
    FakeShellNotify shell;
    FakeAnsiCodePage ansi;
    TrayArea tray{host, shell, ansi};
    PictureRef icon = MakeFakePicture(0x4321);
    std::vector<std::string> events;
};

TEST_F(TrayAreaTest, StartUpAddsTheIconWithMessageIconAndTip) {
    ShowAsAtStartUp();

    // The tip went first to an icon that did not exist yet: window and identifier zero, refused, kept anyway.
    ASSERT_EQ(shell.requests.size(), 2u);
    EXPECT_EQ(shell.requests[0].message, notify::kModify);
    EXPECT_EQ(shell.requests[0].data.hWnd, 0u);
    EXPECT_EQ(shell.requests[0].data.uID, 0u);
    EXPECT_EQ(shell.requests[0].data.cbSize, 0u);
    EXPECT_FALSE(shell.requests[0].result);

    const NotifyIconData& add = Last().data;
    EXPECT_EQ(Last().message, notify::kAdd);
    EXPECT_EQ(add.cbSize, sizeof(NotifyIconData));
    EXPECT_EQ(add.hWnd, host.hwnd);
    EXPECT_GE(add.uID, 1u);
    EXPECT_LE(add.uID, 65535u);
    EXPECT_EQ(add.uFlags, 7u);
    EXPECT_EQ(add.uCallbackMessage, 512u);
    EXPECT_EQ(add.hIcon, 0x4321u);
    EXPECT_EQ(TipBytes(add), ExpectedTip("Corvanta"));

    const FakeShellNotify::Icon* shown = shell.Find(host.hwnd, add.uID);
    ASSERT_NE(shown, nullptr);
    EXPECT_EQ(shown->tip, "Corvanta");
    EXPECT_EQ(shown->callback_message, 512u);
    EXPECT_EQ(host.property_changes, Names({u"Icon", u"ToolTip", u"Visible"}));
}

// A balloon goes to the shown icon's pair with its title, text and icon, and the icon keeps its picture and tip.
// What is too long for the shell is cut before an ellipsis, never inside a surrogate pair.
TEST_F(TrayAreaTest, BalloonsOverTheShownIcon) {
    ShowAsAtStartUp();
    const Text ellipsis = u"\u2026";
    const Text smile = u"\U0001F600";
    const struct {
        Text title;
        Text text;
        BalloonIcon icon;
        Text shown_title;
        Text shown_text;
    } cases[] = {
        {u"Corvanta", u"No reply from COM1", BalloonIcon::kWarning, u"Corvanta", u"No reply from COM1"},
        {u"Corvanta", u"Ready", BalloonIcon::kInfo, u"Corvanta", u"Ready"},
        {Text(63, u't'), Text(255, u'x'), BalloonIcon::kInfo, Text(63, u't'), Text(255, u'x')},
        {Text(64, u't'), Text(256, u'x'), BalloonIcon::kInfo, Text(62, u't') + ellipsis, Text(254, u'x') + ellipsis},
        {u"", Text(253, u'x') + smile, BalloonIcon::kInfo, u"", Text(253, u'x') + smile},
        {u"", Text(253, u'x') + smile + u"y", BalloonIcon::kInfo, u"", Text(253, u'x') + ellipsis},
        {Text(61, u't') + smile + u"t", u"", BalloonIcon::kInfo, Text(61, u't') + ellipsis, u""},
    };
    for (const auto& c : cases) {
        const std::string label = ToUtf8(c.title) + " / " + ToUtf8(c.text);
        EXPECT_TRUE(tray.ShowBalloon(c.title, c.text, c.icon)) << label;
        const FakeShellNotify::Icon* shown = shell.Find(host.hwnd, tray.NotifyData().uID);
        ASSERT_NE(shown, nullptr) << label;
        ASSERT_FALSE(shown->balloons.empty()) << label;
        EXPECT_EQ(ToUtf8(shown->balloons.back().title), ToUtf8(c.shown_title)) << label;
        EXPECT_EQ(ToUtf8(shown->balloons.back().text), ToUtf8(c.shown_text)) << label;
        EXPECT_EQ(shown->balloons.back().icon, c.icon) << label;
        EXPECT_EQ(shown->tip, "Corvanta") << label;
        EXPECT_EQ(shown->hIcon, 0x4321u) << label;
    }
}

// An add names exactly what the control has: the message always, the icon when there is a picture (an empty
// one included, with handle 0), the tip when the text is not empty.
TEST_F(TrayAreaTest, AddFlagsFollowIconAndTip) {
    struct {
        const char* name;
        PictureRef picture;
        const char16_t* tip;
        uint32_t flags;
        uintptr_t hIcon;
    } cases[] = {
        {"nothing, no tip", nullptr, u"", 1, 0},
        {"empty picture, no tip", MakeFakePicture(0), u"", 3, 0},
        {"picture, no tip", MakeFakePicture(0x77), u"", 3, 0x77},
        {"nothing, tip", nullptr, u"x", 5, 0},
        {"picture, tip", MakeFakePicture(0x77), u"x", 7, 0x77},
    };
    for (const auto& c : cases) {
        FakeControlHost fresh_host;
        FakeShellNotify fresh_shell;
        TrayArea control(fresh_host, fresh_shell, ansi);
        if (c.picture) {
            control.SetIcon(c.picture);
        }
        if (*c.tip != u'\0') {
            control.SetToolTip(c.tip);
        }
        control.SetVisible(true);
        const Request& add = fresh_shell.requests.back();
        EXPECT_EQ(add.message, notify::kAdd) << c.name;
        EXPECT_EQ(add.data.uFlags, c.flags) << c.name;
        EXPECT_EQ(add.data.hIcon, c.hIcon) << c.name;
        EXPECT_TRUE(add.result) << c.name;
    }
}

TEST_F(TrayAreaTest, EachAddDrawsAFreshIdThatLaterRequestsUse) {
    tray.SetIcon(icon);
    std::set<uint32_t> ids;
    for (int round = 0; round < 20; ++round) {
        tray.SetVisible(true);
        const uint32_t id = LastAdd().data.uID;
        EXPECT_TRUE(id >= 1 && id <= 65535) << "round " << round << ": " << id;
        ids.insert(id);
        EXPECT_EQ(shell.icons.size(), 1u) << "round " << round;

        tray.SetToolTip(u"tip");
        tray.SetIcon(icon);
        tray.SetVisible(false);
        for (size_t i = shell.requests.size() - 3; i < shell.requests.size(); ++i) {
            EXPECT_EQ(shell.requests[i].data.uID, id) << "round " << round << ", request " << i;
            EXPECT_EQ(shell.requests[i].data.hWnd, host.hwnd) << "round " << round << ", request " << i;
            EXPECT_TRUE(shell.requests[i].result) << "round " << round << ", request " << i;
        }
        EXPECT_TRUE(shell.icons.empty()) << "round " << round;
    }
    EXPECT_GT(ids.size(), 15u);
}

// The tip is at most 63 bytes of ANSI text and a NUL, blank-padded to 64 bytes; a longer text is cut, and a
// double-byte character that does not fit whole is left out rather than split.
TEST_F(TrayAreaTest, TipEncoding) {
    // U+65E5 is 93 FA in the double-byte fake.
    const auto days = [](size_t count) {
        std::string bytes;
        for (size_t i = 0; i < count; ++i) {
            bytes += "\x93\xFA";
        }
        return bytes;
    };
    struct {
        bool double_byte;
        Text text;
        std::string ansi;
    } cases[] = {
        {false, u"", ""},
        {false, u"Corvanta", "Corvanta"},
        {false, Text(63, u'a'), std::string(63, 'a')},
        {false, Text(64, u'a'), std::string(63, 'a')},
        {false, Text(200, u'b'), std::string(63, 'b')},
        {false, u"\u00E9\u20AC", "\xE9\x80"},
        {false, u"\u4E2D", "?"},
        {true, u"a" + Text(31, u'\u65E5'), "a" + days(31)},
        {true, Text(32, u'\u65E5'), days(31)},
        {true, u"ab" + Text(31, u'\u65E5'), "ab" + days(30)},
    };
    for (const auto& c : cases) {
        ansi.double_byte = c.double_byte;
        tray.SetToolTip(c.text);
        EXPECT_EQ(TipBytes(Last().data), ExpectedTip(c.ansi))
            << "text: " << ToUtf8(c.text) << (c.double_byte ? " (double-byte)" : "");
    }
}

TEST_F(TrayAreaTest, ToolTipLosesBlanksAtBothEndsOnly) {
    struct {
        Text in;
        Text stored;
    } cases[] = {{u"  Corvanta  ", u"Corvanta"}, {u"\tCorvanta\t", u"\tCorvanta\t"}, {u"   ", u""}};
    for (const auto& c : cases) {
        tray.SetToolTip(c.in);
        EXPECT_EQ(tray.ToolTip(), c.stored) << ToUtf8(c.in);
        EXPECT_EQ(TipBytes(Last().data), ExpectedTip(ToUtf8(c.stored))) << ToUtf8(c.in);
    }
}

// The shell's callback arrives as x = mouse message number (in twips at the screen's scale). Only an exact
// 512..518 raises an event; the handler's own Button, Shift and Y never matter.
TEST_F(TrayAreaTest, MouseDecoding) {
    struct {
        float q;
        const char* event;
    } rows[] = {
        {512.0f, "MouseMove"},
        {513.0f, "MouseDown 1"},
        {514.0f, "MouseUp 1"},
        {515.0f, "DblClick"},
        {516.0f, "MouseDown 2"},
        {517.0f, "MouseUp 2"},
        {518.0f, "DblClick"},
        {519.0f, ""},
        {520.0f, ""},
        {521.0f, ""},
        {511.0f, ""},
        {522.0f, ""},
        {512.5f, ""},
        {513.001f, ""},
        {0.0f, ""},
        {-513.0f, ""},
    };
    for (float twips_per_pixel : {15.0f, 12.0f, 10.0f}) {
        host.twips_per_pixel_x = twips_per_pixel;
        for (const auto& row : rows) {
            events.clear();
            const float x = row.q * twips_per_pixel;
            tray.UserControl_MouseMove(4, 7, x, x);
            const std::vector<std::string> expected =
                *row.event != '\0' ? std::vector<std::string>{row.event} : std::vector<std::string>{};
            EXPECT_EQ(events, expected) << "q = " << row.q << " at " << twips_per_pixel << " twips per pixel";
        }
    }
}

TEST_F(TrayAreaTest, ButtonRefersToATemporary) {
    tray.MouseDown = [this](int16_t& Button) {
        events.push_back(std::to_string(Button));
        Button = 99;
    };
    for (int i = 0; i < 2; ++i) {
        tray.UserControl_MouseMove(0, 0, 513.0f * 15, 0);
        tray.UserControl_MouseMove(0, 0, 516.0f * 15, 0);
    }
    EXPECT_EQ(events, (std::vector<std::string>{"1", "2", "1", "2"}));
}

TEST_F(TrayAreaTest, MouseWithoutHandlersRaisesNothing) {
    TrayArea bare(host, shell, ansi);
    for (int message = 512; message <= 518; ++message) {
        EXPECT_NO_THROW(bare.UserControl_MouseMove(0, 0, static_cast<float>(message * 15), 0)) << message;
    }
}

TEST_F(TrayAreaTest, VisibleWithTheStoredValueDoesNothing) {
    tray.SetVisible(false);
    EXPECT_TRUE(shell.requests.empty());
    EXPECT_TRUE(host.property_changes.empty());

    ShowAsAtStartUp();
    const size_t requests = shell.requests.size();
    host.property_changes.clear();
    tray.SetVisible(true);
    EXPECT_EQ(shell.requests.size(), requests);
    EXPECT_TRUE(host.property_changes.empty());
}

TEST_F(TrayAreaTest, IconToNothingWhileShownHidesFirst) {
    ShowAsAtStartUp();
    const uint32_t first_id = LastAdd().data.uID;
    host.property_changes.clear();

    tray.SetIcon(nullptr);
    EXPECT_EQ(Last().message, notify::kDelete);
    EXPECT_TRUE(shell.icons.empty());
    EXPECT_FALSE(tray.Visible());
    EXPECT_EQ(host.property_changes, Names({u"Visible", u"Icon"}));

    tray.SetVisible(true);
    EXPECT_EQ(Last().data.uFlags, 5u);
    EXPECT_NE(Last().data.uID, first_id);
    EXPECT_EQ(shell.icons.size(), 1u);
}

TEST_F(TrayAreaTest, IconWhileHiddenIsKeptForTheNextAdd) {
    tray.SetIcon(nullptr);
    tray.SetIcon(icon);
    EXPECT_TRUE(shell.requests.empty());
    EXPECT_EQ(host.property_changes, Names({u"Icon", u"Icon"}));
    EXPECT_EQ(tray.Icon(), icon);

    tray.SetVisible(true);
    EXPECT_EQ(Last().data.hIcon, 0x4321u);
}

TEST_F(TrayAreaTest, IconWhileShownChangesTheTrayIcon) {
    ShowAsAtStartUp();
    tray.SetIcon(MakeFakePicture(0x9999));
    EXPECT_EQ(Last().message, notify::kModify);
    EXPECT_EQ(Last().data.uFlags, notify::kFlagIcon);
    EXPECT_EQ(shell.Find(host.hwnd, Last().data.uID)->hIcon, 0x9999u);
}

TEST_F(TrayAreaTest, EmptyToolTipClearsTheShownTipAndIsLeftOutOfTheNextAdd) {
    ShowAsAtStartUp();
    tray.SetToolTip(u"");
    EXPECT_EQ(Last().message, notify::kModify);
    EXPECT_EQ(Last().data.uFlags, notify::kFlagTip);
    EXPECT_EQ(Last().data.szTip[0], '\0');
    EXPECT_EQ(shell.Find(host.hwnd, Last().data.uID)->tip, "");

    tray.SetVisible(false);
    tray.SetVisible(true);
    EXPECT_EQ(Last().data.uFlags, 3u);
}

// In a form designer the flag and its notification change, but nothing reaches the tray until a hide and a
// show made at run time; modify requests in between match no icon.
TEST_F(TrayAreaTest, DesignerModeSetsTheFlagWithoutAnIcon) {
    host.user_mode = false;
    tray.SetIcon(icon);
    tray.SetVisible(true);
    EXPECT_TRUE(tray.Visible());
    EXPECT_EQ(host.property_changes, Names({u"Icon", u"Visible"}));
    EXPECT_TRUE(shell.requests.empty());

    host.user_mode = true;
    tray.SetIcon(icon);
    EXPECT_EQ(Last().message, notify::kModify);
    EXPECT_FALSE(Last().result);
    tray.SetVisible(true);
    EXPECT_TRUE(shell.icons.empty());

    tray.SetVisible(false);
    tray.SetVisible(true);
    EXPECT_EQ(shell.icons.size(), 1u);
}

TEST_F(TrayAreaTest, VisibleIsStoredBeforeAFailingHostIsAsked) {
    host.refuse_user_mode = true;
    EXPECT_THROW(tray.SetVisible(true), Error);
    EXPECT_TRUE(tray.Visible());
    EXPECT_TRUE(shell.requests.empty());
    EXPECT_TRUE(host.property_changes.empty());
}

// Whatever size the designer or the form sets, the control snaps back to its face image, height first.
TEST_F(TrayAreaTest, ResizeSnapsToTheFaceImage) {
    struct {
        char dimension;
        float twips;
    } cases[] = {{'H', 1000}, {'W', 2000}, {'H', 15}};
    for (const auto& c : cases) {
        host.size_changes.clear();
        c.dimension == 'H' ? host.SetHeight(c.twips) : host.SetWidth(c.twips);
        EXPECT_EQ(host.height, 510) << c.dimension << c.twips;
        EXPECT_EQ(host.width, 510) << c.dimension << c.twips;
        ASSERT_EQ(host.size_changes.size(), 3u) << c.dimension << c.twips;
        EXPECT_EQ(host.size_changes[1].dimension, 'H') << c.dimension << c.twips;
        EXPECT_EQ(host.size_changes[2].dimension, 'W') << c.dimension << c.twips;
    }
}

TEST_F(TrayAreaTest, SavedPropertiesRoundTripAndLeaveDefaultsOut) {
    MemoryPropertyBag bag;
    tray.UserControl_WriteProperties(bag);
    EXPECT_TRUE(bag.Values().empty());

    host.user_mode = false;
    tray.SetIcon(icon);
    tray.SetToolTip(u"Corvanta");
    tray.SetVisible(true);
    tray.UserControl_WriteProperties(bag);
    EXPECT_EQ(bag.Values().size(), 3u);

    host.user_mode = true;
    FakeShellNotify other_shell;
    TrayArea loaded(host, other_shell, ansi);
    loaded.UserControl_ReadProperties(bag);
    EXPECT_EQ(loaded.Icon(), icon);
    EXPECT_EQ(loaded.ToolTip(), u"Corvanta");
    EXPECT_TRUE(loaded.Visible());
    // Reading sends nothing: the flag is set with no icon, and showing again changes nothing.
    loaded.SetVisible(true);
    EXPECT_TRUE(other_shell.requests.empty());
}

TEST_F(TrayAreaTest, ReadPropertiesTakesTheTextAsSaved) {
    MemoryPropertyBag bag;
    bag.WriteText(u"ToolTip", u"  spaced  ", u"");
    tray.UserControl_ReadProperties(bag);
    EXPECT_EQ(tray.ToolTip(), u"  spaced  ");
    EXPECT_EQ(tray.Icon(), nullptr);
    EXPECT_FALSE(tray.Visible());
    EXPECT_TRUE(shell.requests.empty());
}

TEST_F(TrayAreaTest, InitPropertiesGivesAnEmptyPictureQuietly) {
    tray.UserControl_InitProperties();
    ASSERT_NE(tray.Icon(), nullptr);
    EXPECT_EQ(tray.Icon()->Handle(), 0u);
    EXPECT_EQ(tray.ToolTip(), u"");
    EXPECT_FALSE(tray.Visible());
    EXPECT_TRUE(shell.requests.empty());
    EXPECT_TRUE(host.property_changes.empty());
}

TEST(MemoryPropertyBag, WritingTheDefaultRemovesTheValue) {
    MemoryPropertyBag bag;
    bag.WriteBool(u"Visible", true, false);
    bag.WriteBool(u"Visible", false, false);
    EXPECT_TRUE(bag.Values().empty());
    EXPECT_TRUE(bag.ReadBool(u"Visible", true));
    bag.WriteText(u"ToolTip", u"x", u"");
    EXPECT_THROW(bag.ReadBool(u"ToolTip", false), Error);
}

// The last delete goes out exactly once per instance, whether the host calls the handler or the control is
// simply destroyed, and also when no add was ever made or a hide already removed the icon.
TEST(TrayAreaTerminate, SendsOneDeleteInAnyState) {
    FakeAnsiCodePage ansi;
    struct {
        const char* name;
        bool show;
        bool hide;
        bool explicit_terminate;
    } cases[] = {
        {"never shown, destroyed", false, false, false},
        {"never shown, terminated", false, false, true},
        {"shown, destroyed", true, false, false},
        {"shown and hidden, terminated", true, true, true},
    };
    for (const auto& c : cases) {
        FakeControlHost host;
        FakeShellNotify shell;
        auto tray = std::make_unique<TrayArea>(host, shell, ansi);
        if (c.show) {
            tray->SetVisible(true);
        }
        if (c.hide) {
            tray->SetVisible(false);
        }
        const size_t before = shell.requests.size();
        if (c.explicit_terminate) {
            tray->UserControl_Terminate();
        }
        tray.reset();
        ASSERT_EQ(shell.requests.size(), before + 1) << c.name;
        const Request& last = shell.requests.back();
        EXPECT_EQ(last.message, notify::kDelete) << c.name;
        EXPECT_EQ(last.data.hWnd, c.show ? host.hwnd : 0u) << c.name;
        EXPECT_EQ(last.result, c.show && !c.hide) << c.name;
        EXPECT_TRUE(shell.icons.empty()) << c.name;
    }
}

}  // namespace
}  // namespace corvanta
