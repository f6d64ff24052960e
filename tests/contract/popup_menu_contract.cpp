#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "contract/contract_sides.h"
#include "fakes/fake_popup_menu.h"
#include "platform/popup_menu.h"

#ifdef CORVANTA_HAVE_WIN32
#include <windows.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "platform/win32/handles.h"
#include "platform/win32/win32_popup_menu.h"
#endif

namespace corvanta {
namespace {

constexpr MenuItemDef kItems[] = {
    {1, u"CommPort Properties"}, {2, u"Run at Start Windows"}, {3, u"-"}, {4, u"About"}, {5, u"Exit"},
};

#ifdef CORVANTA_HAVE_WIN32
// A hidden top-level window to own the menu, as the program's main form does.
struct OwnerWindow {
    OwnerWindow() {
        window.Reset(CreateWindowExW(WS_EX_TOOLWINDOW, L"STATIC", L"CorvantaMenuTest", WS_OVERLAPPED, 0, 0, 10, 10,
                                     nullptr, nullptr, GetModuleHandleW(nullptr), nullptr));
    }
    win32::UniqueHwnd window;
};

class Win32Side : public win32::Win32PopupMenu {
  public:
    explicit Win32Side(std::unique_ptr<OwnerWindow> owner)
        : Win32PopupMenu(owner->window.Get()), owner_(std::move(owner)) {}

  private:
    std::unique_ptr<OwnerWindow> owner_;
};
#endif

using Side = contract::Side<std::unique_ptr<PopupMenu>>;

std::vector<Side> Sides() {
    std::vector<Side> sides = {{"Fake", [] { return std::make_unique<FakePopupMenu>(); }}};
#ifdef CORVANTA_HAVE_WIN32
    sides.push_back({"Win32", [] { return std::make_unique<Win32Side>(std::make_unique<OwnerWindow>()); }});
#endif
    return sides;
}

class PopupMenuContract : public ::testing::TestWithParam<Side> {};

// Check marks start cleared and each item keeps its own; the separator has no command of its own to check.
TEST_P(PopupMenuContract, CheckMarksPerItem) {
    const auto menu = GetParam().make();
    menu->Load(kItems);
    for (int id : {1, 2, 4, 5}) {
        EXPECT_FALSE(menu->Checked(id)) << "item " << id;
    }
    menu->SetChecked(2, true);
    menu->SetChecked(2, true);
    EXPECT_TRUE(menu->Checked(2));
    for (int id : {1, 4, 5}) {
        EXPECT_FALSE(menu->Checked(id)) << "item " << id << " after checking item 2";
    }
    menu->SetChecked(2, false);
    EXPECT_FALSE(menu->Checked(2));
}

// An item hidden and shown again keeps its check mark, also one set while it was hidden.
TEST_P(PopupMenuContract, HiddenItemsKeepTheirCheckMarks) {
    const auto menu = GetParam().make();
    menu->Load(kItems);
    menu->SetChecked(2, true);
    menu->SetVisible(2, false);
    menu->SetVisible(2, false);
    EXPECT_TRUE(menu->Checked(2));
    menu->SetChecked(4, true);
    menu->SetVisible(4, false);
    menu->SetChecked(4, false);
    menu->SetChecked(2, false);
    menu->SetVisible(2, true);
    menu->SetVisible(4, true);
    EXPECT_FALSE(menu->Checked(2));
    EXPECT_FALSE(menu->Checked(4));
    menu->SetChecked(4, true);
    EXPECT_TRUE(menu->Checked(4));
}

// An id the menu does not hold is an error, never a silent no-op that would leave a check mark wrong.
TEST_P(PopupMenuContract, UnknownItemIsAnError) {
    const auto menu = GetParam().make();
    menu->Load(kItems);
    for (int id : {0, 6, 1000}) {
        EXPECT_THROW(menu->Checked(id), Error) << "item " << id;
        EXPECT_THROW(menu->SetChecked(id, true), Error) << "item " << id;
        EXPECT_THROW(menu->SetVisible(id, false), Error) << "item " << id;
    }
}

INSTANTIATE_TEST_SUITE_P(Sides, PopupMenuContract, ::testing::ValuesIn(Sides()), contract::SideName());

#ifdef CORVANTA_HAVE_WIN32
using namespace std::chrono_literals;

struct Seen {
    bool found = false;
    bool visible = false;
    bool owner_foreground = false;
    RECT rect{};
};

// Waits for the thread's pop-up menu window (class #32768) to appear, notes what it looks like, and types keys
// into it; the menu's own modal loop reads them.
Seen DriveMenu(HWND owner, DWORD thread, const std::vector<WORD>& keys) {
    Seen seen;
    const auto deadline = std::chrono::steady_clock::now() + 10s;
    HWND menu = nullptr;
    while (std::chrono::steady_clock::now() < deadline) {
        menu = FindWindowW(L"#32768", nullptr);
        if (menu != nullptr && IsWindowVisible(menu) && GetWindowThreadProcessId(menu, nullptr) == thread) {
            break;
        }
        menu = nullptr;
        std::this_thread::sleep_for(10ms);
    }
    if (menu == nullptr) {
        PostThreadMessageW(thread, WM_CANCELMODE, 0, 0);
        return seen;
    }
    seen.found = true;
    seen.visible = IsWindowVisible(menu) != FALSE;
    seen.owner_foreground = GetForegroundWindow() == owner;
    GetWindowRect(menu, &seen.rect);
    for (WORD key : keys) {
        PostMessageW(menu, WM_KEYDOWN, key, 0);
        PostMessageW(menu, WM_KEYUP, key, 0xC0000000);
    }
    return seen;
}

// The menu is a real pop-up menu at the cursor, left edge at the cursor, with the owner in the foreground so
// that it closes when the user clicks elsewhere; the keyboard chooses items (skipping the separator), and
// Esc dismisses it with no choice.
TEST(PopupMenuWin32, ShownAtTheCursorAndChosenFrom) {
    const struct {
        const char* label;
        std::vector<WORD> keys;
        std::optional<int> chosen;
    } cases[] = {
        {"Home Return", {VK_HOME, VK_RETURN}, 1},
        {"Home Down Return", {VK_HOME, VK_DOWN, VK_RETURN}, 2},
        {"Home Down Down Return (over the separator)", {VK_HOME, VK_DOWN, VK_DOWN, VK_RETURN}, 4},
        {"End Return", {VK_END, VK_RETURN}, 5},
        {"Escape", {VK_ESCAPE}, std::nullopt},
    };
    for (const auto& c : cases) {
        OwnerWindow owner;
        ASSERT_NE(owner.window.Get(), nullptr);
        win32::Win32PopupMenu menu(owner.window.Get());
        menu.Load(kItems);
        EXPECT_EQ(GetMenuDefaultItem(menu.Handle(), FALSE, 0), static_cast<UINT>(-1)) << "no default item";
        ASSERT_TRUE(SetCursorPos(200, 150));

        Seen seen;
        std::thread driver(
            [&, thread = GetCurrentThreadId()] { seen = DriveMenu(owner.window.Get(), thread, c.keys); });
        const std::optional<int> chosen = menu.Popup(popup::kLeftAlign | popup::kRightButton);
        driver.join();

        ASSERT_TRUE(seen.found) << c.label << ": no menu window appeared";
        EXPECT_TRUE(seen.visible) << c.label;
        EXPECT_TRUE(seen.owner_foreground) << c.label;
        EXPECT_EQ(seen.rect.left, 200) << c.label;
        EXPECT_EQ(seen.rect.top, 150) << c.label;
        EXPECT_EQ(chosen, c.chosen) << c.label;
        // A menu left behind would swallow the next case's keys.
        const HWND left = FindWindowW(L"#32768", nullptr);
        EXPECT_TRUE(left == nullptr || !IsWindowVisible(left)) << c.label;
    }
}

// A hidden item is not in the menu: the keyboard passes from the item before it to the one after; shown again, it
// is back in its place.
TEST(PopupMenuWin32, HiddenItemsAreLeftOutAndComeBackInTheirPlace) {
    const struct {
        const char* label;
        std::vector<int> hidden;
        std::vector<WORD> keys;
        std::optional<int> chosen;
    } cases[] = {
        {"About hidden: Home Down Down Return", {4}, {VK_HOME, VK_DOWN, VK_DOWN, VK_RETURN}, 5},
        {"the first hidden: Home Return", {1}, {VK_HOME, VK_RETURN}, 2},
        {"hidden and shown again", {}, {VK_HOME, VK_DOWN, VK_DOWN, VK_RETURN}, 4},
    };
    for (const auto& c : cases) {
        OwnerWindow owner;
        ASSERT_NE(owner.window.Get(), nullptr);
        win32::Win32PopupMenu menu(owner.window.Get());
        menu.Load(kItems);
        for (const int id : {1, 4}) {
            menu.SetVisible(id, false);
        }
        for (const int id : {1, 4}) {
            if (std::find(c.hidden.begin(), c.hidden.end(), id) == c.hidden.end()) {
                menu.SetVisible(id, true);
            }
        }
        EXPECT_EQ(GetMenuItemCount(menu.Handle()), static_cast<int>(5 - c.hidden.size())) << c.label;
        EXPECT_EQ(GetMenuItemID(menu.Handle(), 3), c.hidden.empty() ? 4u : 5u) << c.label;
        ASSERT_TRUE(SetCursorPos(200, 150));
        Seen seen;
        std::thread driver(
            [&, thread = GetCurrentThreadId()] { seen = DriveMenu(owner.window.Get(), thread, c.keys); });
        const std::optional<int> chosen = menu.Popup(popup::kLeftAlign | popup::kRightButton);
        driver.join();
        ASSERT_TRUE(seen.found) << c.label << ": no menu window appeared";
        EXPECT_EQ(chosen, c.chosen) << c.label;
    }
}
#endif

}  // namespace
}  // namespace corvanta
