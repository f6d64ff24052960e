#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "contract/contract_sides.h"
#include "fakes/fake_ansi_code_page.h"
#include "fakes/fake_control_host.h"
#include "fakes/fake_shell_notify.h"
#include "tray/TrayArea.h"

#ifdef CORVANTA_HAVE_WIN32
#include <windows.h>

#include "platform/win32/win32_control_host.h"
#endif

namespace corvanta {
namespace {

// A tray control on a host, with the host's own way of being resized from outside.
struct HostBed {
    std::shared_ptr<void> keep_alive;
    ControlHost* host = nullptr;
    TrayArea* tray = nullptr;
};

using HostKind = contract::Side<HostBed>;

template <typename Host>
struct Parts {
    template <typename... Args>
    explicit Parts(Args&&... args) : host(std::forward<Args>(args)...) {
        host.Attach(tray);
    }
    Host host;
    FakeShellNotify shell;
    FakeAnsiCodePage ansi;
    TrayArea tray{host, shell, ansi};
};

std::vector<HostKind> Kinds() {
    std::vector<HostKind> kinds{{"Fake", [] {
                                     auto parts = std::make_shared<Parts<FakeControlHost>>();
                                     return HostBed{parts, &parts->host, &parts->tray};
                                 }}};
#ifdef CORVANTA_HAVE_WIN32
    kinds.push_back({"Win32", []() -> HostBed {
                         if (std::getenv("DISPLAY") == nullptr) {
                             return {};
                         }
                         auto parts = std::make_shared<Parts<win32::Win32ControlHost>>(nullptr);
                         return HostBed{parts, &parts->host, &parts->tray};
                     }});
#endif
    return kinds;
}

class ControlHostContract : public ::testing::TestWithParam<HostKind> {
  protected:
    void SetUp() override {
        bed = GetParam().make();
        if (bed.host == nullptr) {
            GTEST_SKIP() << "no display: no windows can be created";
        }
    }
    HostBed bed;
};

// The host calls the resize handler back while a size is being set; the control ends the same size as its
// face image whatever was asked.
TEST_P(ControlHostContract, SizeSnapsBackToTheFaceImage) {
    ControlHost& host = *bed.host;
    for (float twips : {1000.0f, 15.0f, 7200.0f}) {
        host.SetHeight(twips);
        EXPECT_EQ(host.Height(), host.Image1Height()) << "height set to " << twips;
        host.SetWidth(twips);
        EXPECT_EQ(host.Width(), host.Image1Width()) << "width set to " << twips;
    }
    EXPECT_EQ(host.Image1Height(), 510);
}

TEST_P(ControlHostContract, RunTimeHostServices) {
    EXPECT_TRUE(bed.host->AmbientUserMode());
    EXPECT_NE(bed.host->hWnd(), 0u);
    const PictureRef empty = bed.host->LoadEmptyPicture();
    ASSERT_NE(empty, nullptr);
    EXPECT_EQ(empty->Handle(), 0u);
    EXPECT_EQ(bed.host->TwipsPerPixelX(), 15) << "a 96-dpi screen";
}

INSTANTIATE_TEST_SUITE_P(Hosts, ControlHostContract, ::testing::ValuesIn(Kinds()), contract::SideName());

#ifdef CORVANTA_HAVE_WIN32
// The shell's callback (message 512 with the mouse message in lParam) reaches the control's window through the
// message queue and comes out as the control's events, the middle button and unknown numbers giving none.
TEST(Win32ControlHost, TrayCallbacksBecomeEvents) {
    if (std::getenv("DISPLAY") == nullptr) {
        GTEST_SKIP() << "no display: no windows can be created";
    }
    Parts<win32::Win32ControlHost> parts(nullptr);
    std::vector<std::string> events;
    parts.tray.MouseMove = [&] { events.push_back("MouseMove"); };
    parts.tray.MouseDown = [&](int16_t& Button) { events.push_back("MouseDown " + std::to_string(Button)); };
    parts.tray.MouseUp = [&](int16_t& Button) { events.push_back("MouseUp " + std::to_string(Button)); };
    parts.tray.DblClick = [&] { events.push_back("DblClick"); };

    const HWND window = parts.host.Window();
    // wParam carries the icon's uID: any value, including ones whose bits look like mouse-key flags.
    for (UINT mouse_message : {0x207u, 0x200u, 0x201u, 0x202u, 0x203u, 0x204u, 0x205u, 0x206u, 0x208u, 0x209u}) {
        ASSERT_TRUE(PostMessageW(window, WM_MOUSEMOVE, 0xFFFF, static_cast<LPARAM>(mouse_message)));
    }
    const std::vector<std::string> expected{"MouseMove",   "MouseDown 1", "MouseUp 1", "DblClick",
                                            "MouseDown 2", "MouseUp 2",   "DblClick"};
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    MSG msg;
    while (std::chrono::steady_clock::now() < deadline) {
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            DispatchMessageW(&msg);
        }
        if (events.size() >= expected.size()) {
            break;
        }
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 50, QS_ALLINPUT);
    }
    EXPECT_EQ(events, expected);
}
#endif

}  // namespace
}  // namespace corvanta
