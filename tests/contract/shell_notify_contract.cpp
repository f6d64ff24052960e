#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "contract/contract_sides.h"
#include "fakes/fake_ansi_code_page.h"
#include "fakes/fake_control_host.h"
#include "fakes/fake_picture.h"
#include "fakes/fake_shell_notify.h"
#include "platform/shell_notify.h"
#include "tray/TrayArea.h"

#ifdef CORVANTA_HAVE_WIN32
#include <windows.h>

#include "contract/message_loop_win32.h"
#include "platform/win32/win32_control_host.h"
#include "platform/win32/win32_shell_notify.h"
#endif

namespace corvanta {
namespace {

// A shell to ask and a window to register icons under.
struct ShellBed {
    std::shared_ptr<void> keep_alive;
    ShellNotify* shell = nullptr;
    uintptr_t hwnd = 0;
    uintptr_t icon = 0;
};

using ShellKind = contract::Side<ShellBed>;  // an empty bed means: not available here

ShellBed MakeFakeBed() {
    auto shell = std::make_shared<FakeShellNotify>();
    return ShellBed{shell, shell.get(), 0x10203, 0x4321};
}

#ifdef CORVANTA_HAVE_WIN32
// Under Wine the tray lives in the desktop process, which may still be starting: wait for its window.
bool WaitForTheShellsTray() {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(15);
    while (FindWindowW(L"Shell_TrayWnd", nullptr) == nullptr) {
        if (std::chrono::steady_clock::now() > deadline) {
            return false;
        }
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 50, QS_ALLINPUT);
    }
    return true;
}

ShellBed MakeWin32Bed() {
    if (std::getenv("DISPLAY") == nullptr || !WaitForTheShellsTray()) {
        return {};
    }
    struct Parts {
        win32::Win32ControlHost host{nullptr};
        win32::Win32ShellNotify shell;
    };
    auto parts = std::make_shared<Parts>();
    return ShellBed{parts, &parts->shell, parts->host.hWnd(),
                    reinterpret_cast<uintptr_t>(LoadIconW(nullptr, reinterpret_cast<LPCWSTR>(IDI_APPLICATION)))};
}
#endif

std::vector<ShellKind> Kinds() {
    std::vector<ShellKind> kinds{{"Fake", MakeFakeBed}};
#ifdef CORVANTA_HAVE_WIN32
    kinds.push_back({"Win32", MakeWin32Bed});
#endif
    return kinds;
}

NotifyIconData Record(const ShellBed& bed, uint32_t id, const char* tip) {
    NotifyIconData data{};
    data.cbSize = sizeof(NotifyIconData);
    data.hWnd = bed.hwnd;
    data.uID = id;
    data.uFlags = notify::kFlagMessage | notify::kFlagIcon | notify::kFlagTip;
    data.uCallbackMessage = 512;
    data.hIcon = bed.icon;
    std::memset(data.szTip, ' ', sizeof(data.szTip));
    std::memcpy(data.szTip, tip, std::strlen(tip) + 1);
    return data;
}

class ShellNotifyContract : public ::testing::TestWithParam<ShellKind> {
  protected:
    void SetUp() override {
        bed = GetParam().make();
        if (bed.shell == nullptr) {
            GTEST_SKIP() << "no display: the shell's tray is not available";
        }
    }
    void TearDown() override {
        // Leave no icon behind for the next case, whatever the case did.
        if (bed.shell != nullptr) {
            for (uint32_t id : used_ids) {
                bed.shell->NotifyIcon(notify::kDelete, Record(bed, id, ""));
            }
        }
    }
    bool Send(uint32_t message, const NotifyIconData& data) {
        used_ids.push_back(data.uID);
        return bed.shell->NotifyIcon(message, data);
    }

    ShellBed bed;
    std::vector<uint32_t> used_ids;
};

// What the tray control relies on: an icon lives under its (hWnd, uID) pair from its add to its delete; a
// request for a pair that has no icon is refused, and so is a second add of a pair that has one.
TEST_P(ShellNotifyContract, AnIconLivesUnderItsPairFromAddToDelete) {
    struct Step {
        const char* what;
        uint32_t message;
        uint32_t id;
        bool expected;
    };
    const Step steps[] = {
        {"modify before any add", notify::kModify, 4101, false},
        {"delete before any add", notify::kDelete, 4101, false},
        {"add", notify::kAdd, 4101, true},
        {"second add of the same pair", notify::kAdd, 4101, false},
        {"add under another uID", notify::kAdd, 4102, true},
        {"modify the tip", notify::kModify, 4101, true},
        {"delete", notify::kDelete, 4101, true},
        {"modify after the delete", notify::kModify, 4101, false},
        {"delete again", notify::kDelete, 4101, false},
        {"the other icon is still there", notify::kModify, 4102, true},
        {"delete the other", notify::kDelete, 4102, true},
    };
    for (const Step& step : steps) {
        EXPECT_EQ(Send(step.message, Record(bed, step.id, "Corvanta")), step.expected) << step.what;
    }
}

// The tray control's tip request sent before its first add: window 0, identifier 0, all else zero.
TEST_P(ShellNotifyContract, TheZeroRecordMatchesNoIcon) {
    NotifyIconData zero{};
    zero.uFlags = notify::kFlagTip;
    std::memcpy(zero.szTip, "Corvanta", 9);
    EXPECT_FALSE(bed.shell->NotifyIcon(notify::kModify, zero));
    EXPECT_FALSE(bed.shell->NotifyIcon(notify::kDelete, zero));
}

// The tray control's own records reach the shell intact: its add registers the icon under the pair it keeps,
// and its hide removes it.
TEST_P(ShellNotifyContract, TheTrayControlsRecordsAreUnderstood) {
    FakeControlHost host;
    host.hwnd = bed.hwnd;
    FakeAnsiCodePage ansi;
    TrayArea tray(host, *bed.shell, ansi);
    tray.SetIcon(MakeFakePicture(bed.icon));
    tray.SetToolTip(u"Corvanta \u00E9");
    tray.SetVisible(true);
    NotifyIconData probe = tray.NotifyData();
    used_ids.push_back(probe.uID);
    EXPECT_TRUE(bed.shell->NotifyIcon(notify::kModify, probe)) << "the add registered no icon";

    tray.SetVisible(false);
    EXPECT_FALSE(bed.shell->NotifyIcon(notify::kModify, probe)) << "the hide left the icon";
}

// A balloon goes over the icon of its pair, which stays as it was; a pair with no icon gets none. A text longer
// than the shell keeps is cut, not refused.
TEST_P(ShellNotifyContract, ABalloonNeedsTheIconOfItsPair) {
    Balloon balloon{bed.hwnd, 4301, u"Corvanta", u"No reply from COM1", BalloonIcon::kWarning};
    EXPECT_FALSE(bed.shell->ShowBalloon(balloon)) << "before the add";
    ASSERT_TRUE(Send(notify::kAdd, Record(bed, 4301, "Corvanta")));
    EXPECT_TRUE(bed.shell->ShowBalloon(balloon));
    balloon.icon = BalloonIcon::kInfo;
    balloon.title = Text(100, u'T');
    balloon.text = Text(300, u'x');
    EXPECT_TRUE(bed.shell->ShowBalloon(balloon)) << "a long title and text";
    EXPECT_TRUE(Send(notify::kModify, Record(bed, 4301, "still there")));
    EXPECT_TRUE(Send(notify::kDelete, Record(bed, 4301, "")));
    EXPECT_FALSE(bed.shell->ShowBalloon(balloon)) << "after the delete";
}

INSTANTIATE_TEST_SUITE_P(Shells, ShellNotifyContract, ::testing::ValuesIn(Kinds()), contract::SideName());

#ifdef CORVANTA_HAVE_WIN32
bool RunningUnderWine() {
    const HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
    return ntdll != nullptr && GetProcAddress(ntdll, "wine_get_version") != nullptr;
}

// A visible tooltip window whose text (WM_GETTEXT, which the system carries across processes) is `text`.
bool BalloonWindowShows(const std::wstring& text) {
    for (HWND window = nullptr; (window = FindWindowExW(nullptr, window, L"tooltips_class32", nullptr)) != nullptr;) {
        wchar_t shown[512] = {};
        DWORD_PTR length = 0;
        if (IsWindowVisible(window) &&
            SendMessageTimeoutW(window, WM_GETTEXT, 512, reinterpret_cast<LPARAM>(shown), SMTO_ABORTIFHUNG, 1000,
                                &length) != 0 &&
            text == shown) {
            return true;
        }
    }
    return false;
}

// What Wine shows: its tray's process draws the balloon as a tooltip window beside the tray, with the text (the
// title cannot be read from another process), a moment after the request. Windows 10 and later show a
// notification instead, which no window stands for.
TEST(Win32ShellNotify, UnderWineABalloonIsATooltipBesideTheTray) {
    if (!RunningUnderWine()) {
        GTEST_SKIP() << "not Wine: the system shows balloons as notifications";
    }
    const ShellBed bed = MakeWin32Bed();
    if (bed.shell == nullptr) {
        GTEST_SKIP() << "no display: the shell's tray is not available";
    }
    ASSERT_TRUE(bed.shell->NotifyIcon(notify::kAdd, Record(bed, 4401, "Corvanta")));
    const std::wstring text = L"No reply from COM1 (" + std::to_wstring(GetCurrentProcessId()) + L")";
    EXPECT_TRUE(bed.shell->ShowBalloon(
        {bed.hwnd, 4401, u"Corvanta", reinterpret_cast<const char16_t*>(text.c_str()), BalloonIcon::kWarning}));
    EXPECT_TRUE(test::PumpUntil([&] { return BalloonWindowShows(text); }, std::chrono::seconds(15)))
        << "no tooltip window shows the balloon's text";
    EXPECT_TRUE(bed.shell->NotifyIcon(notify::kDelete, Record(bed, 4401, "")));
}
#endif

}  // namespace
}  // namespace corvanta
