// The two dialogs on real windows, driven through their message loop as a user would: keys, clicks, closing.
#ifdef CORVANTA_HAVE_WIN32
#include <gtest/gtest.h>

#include <windows.h>

#include <chrono>
#include <cstdlib>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "about/frmAbout_logic.h"
#include "fakes/fake_ansi_code_page.h"
#include "fakes/fake_process_launcher.h"
#include "fakes/fake_registry.h"
#include "fakes/fake_settings_store.h"
#include "fakes/fake_spooler.h"
#include "fakes/simulated_serial_control.h"
#include "platform/win32/about_dialog.h"
#include "platform/win32/dialog_window.h"
#include "platform/win32/handles.h"
#include "platform/win32/properties_dialog.h"
#include "platform/win32/win32_error.h"

namespace corvanta {
namespace {

using namespace std::chrono_literals;
using win32::OpenDialogWindow;

// Stages run one after the other from a thread timer, so from inside the dialog's own modal loop (and inside a
// message box's); each is polled until it returns true. Past the deadline the open dialog is closed, so a
// dialog that ignores the script cannot hang the test.
class Script {
  public:
    using Stage = std::function<bool(HWND dialog)>;
    explicit Script(std::vector<Stage> stages)
        : stages_(std::move(stages)), deadline_(std::chrono::steady_clock::now() + 20s) {
        active_ = this;
        timer_ = SetTimer(nullptr, 0, 20, &Script::Tick);
    }
    ~Script() {
        KillTimer(nullptr, timer_);
        active_ = nullptr;
    }
    // The number of the stage that never came true, or 0 when all did.
    size_t Stuck() const { return next_ < stages_.size() ? next_ + 1 : 0; }

  private:
    static void CALLBACK Tick(HWND, UINT, UINT_PTR, DWORD) {
        Script* self = active_;
        if (self == nullptr || self->next_ >= self->stages_.size()) {
            return;
        }
        HWND dialog = OpenDialogWindow();
        if (std::chrono::steady_clock::now() > self->deadline_) {
            if (dialog != nullptr) {
                if (HWND box = GetLastActivePopup(dialog); box != dialog) {
                    PostMessageW(box, WM_CLOSE, 0, 0);
                }
                PostMessageW(dialog, WM_CLOSE, 0, 0);
            }
            return;
        }
        if (dialog != nullptr && self->stages_[self->next_](dialog)) {
            ++self->next_;
        }
    }

    static inline Script* active_ = nullptr;
    std::vector<Stage> stages_;
    size_t next_ = 0;
    std::chrono::steady_clock::time_point deadline_;
    UINT_PTR timer_ = 0;
};

void PressKey(HWND dialog, WPARAM key) {
    HWND focus = GetFocus();
    PostMessageW(focus != nullptr ? focus : dialog, WM_KEYDOWN, key, 1);
}

HWND Item(HWND dialog, int id) {
    return GetDlgItem(dialog, id);
}

Text WindowText(HWND window) {
    wchar_t text[256] = {};
    const int length = GetWindowTextW(window, text, 256);
    return win32::FromWide(text, static_cast<size_t>(length));
}

struct TextSearch {
    Text wanted;
    bool found = false;
};

BOOL CALLBACK CheckText(HWND child, LPARAM param) {
    auto* search = reinterpret_cast<TextSearch*>(param);
    search->found = search->found || WindowText(child) == search->wanted;
    return TRUE;
}

// Whether a message box shows this text (in one of its static controls).
bool BoxSays(HWND box, const Text& text) {
    TextSearch search{text};
    EnumChildWindows(box, &CheckText, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

// The message box a dialog shows, or nullptr.
HWND MessageBoxOf(HWND dialog) {
    HWND popup = GetLastActivePopup(dialog);
    return popup != dialog ? popup : nullptr;
}

// The dialog opens centred on the work area of the screen the pointer is on.
void ExpectCentred(HWND dialog) {
    POINT pointer{};
    GetCursorPos(&pointer);
    MONITORINFO monitor{};
    monitor.cbSize = sizeof(monitor);
    GetMonitorInfoW(MonitorFromPoint(pointer, MONITOR_DEFAULTTOPRIMARY), &monitor);
    RECT frame{};
    GetWindowRect(dialog, &frame);
    EXPECT_NEAR(frame.left + frame.right, monitor.rcWork.left + monitor.rcWork.right, 2);
    EXPECT_NEAR(frame.top + frame.bottom, monitor.rcWork.top + monitor.rcWork.bottom, 2);
}

// A window of another part of the program (the serial control's, say) whose posted messages must still arrive
// while a dialog is open.
class OtherWindow {
  public:
    OtherWindow() {
        WNDCLASSEXW wc{};
        wc.cbSize = sizeof(wc);
        wc.lpfnWndProc = &OtherWindow::Proc;
        wc.lpszClassName = kClass;
        RegisterClassExW(&wc);  // fails harmlessly when already registered
        window_.Reset(CreateWindowExW(0, kClass, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr, nullptr));
        received_ = 0;
    }
    void Post() const { PostMessageW(window_.Get(), WM_APP, 0, 0); }
    static int Received() { return received_; }
    static constexpr wchar_t kClass[] = L"CorvantaDialogTestOther";
    static LRESULT CALLBACK Proc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
        if (message == WM_APP) {
            ++received_;
            return 0;
        }
        return DefWindowProcW(hwnd, message, wparam, lparam);
    }

  private:
    static inline int received_ = 0;
    win32::UniqueHwnd window_;
};

class Win32Dialogs : public ::testing::Test {
  protected:
    void SetUp() override {
        if (std::getenv("DISPLAY") == nullptr) {
            GTEST_SKIP() << "no display: no windows can be created";
        }
        comm.SetPortOpen(true);
    }
    void ShowProperties() { win32::ShowPropertiesDialog(GetModuleHandleW(nullptr), comm, store, spooler, ansi); }
    void ShowAbout() { win32::ShowAboutDialog(GetModuleHandleW(nullptr), registry, ansi, launcher); }
    Text Stored(const char16_t* key) const {
        const auto found = store.values.find({u"Corvanta", u"Properties", key});
        return found == store.values.end() ? Text(u"(none)") : found->second;
    }

    SimulatedSerialControl comm;
    FakeSettingsStore store;
    FakeSpooler spooler = FakeSpooler::WithNames({"COM1:", "COM2:", "COM9:", "LPT1:"});
    FakeAnsiCodePage ansi;
    FakeRegistry registry;
    FakeProcessLauncher launcher;
};

// Enter answers OK (the changed lists are applied and stored), Esc and closing the window answer Cancel. The
// dialog opens centred with the port list focused on the live port; other windows' posted messages keep
// arriving; a second show while it is open only brings it forward.
TEST_F(Win32Dialogs, PropertiesEnterAppliesEscAndClosingChangeNothing) {
    namespace id = win32::properties_id;
    const struct {
        const char* label;
        std::function<void(HWND)> answer;
        bool applied;
    } cases[] = {
        {"Enter", [](HWND dialog) { PressKey(dialog, VK_RETURN); }, true},
        {"Esc", [](HWND dialog) { PressKey(dialog, VK_ESCAPE); }, false},
        {"closing", [](HWND dialog) { PostMessageW(dialog, WM_CLOSE, 0, 0); }, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        comm.SetPortOpen(false);
        comm.SetCommPort(1);
        comm.SetSettings(SerialControl::kInitialSettings);
        comm.SetHandshaking(SerialControl::kInitialHandshaking);
        comm.SetPortOpen(true);
        store.values.clear();
        OtherWindow other;
        HWND opened = nullptr;
        Script script({
            [&](HWND dialog) {
                opened = dialog;
                EXPECT_EQ(WindowText(dialog), u"CommPort Properties");
                EXPECT_EQ(GetFocus(), Item(dialog, id::kPort));
                EXPECT_EQ(SendMessageW(Item(dialog, id::kPort), CB_GETCURSEL, 0, 0), 0) << "COM1: preselected";
                ExpectCentred(dialog);
                ShowAbout();  // returns at once: only one dialog at a time
                EXPECT_EQ(OpenDialogWindow(), dialog);
                SendMessageW(Item(dialog, id::kSpeed), CB_SETCURSEL, 8, 0);   // 19200
                SendMessageW(Item(dialog, id::kParity), CB_SETCURSEL, 0, 0);  // Even
                SendMessageW(Item(dialog, id::kFlow), CB_SETCURSEL, 2, 0);    // RTS
                other.Post();
                return true;
            },
            [&](HWND dialog) {
                if (OtherWindow::Received() == 0) {
                    return false;
                }
                c.answer(dialog);
                return true;
            },
        });
        ShowProperties();
        EXPECT_EQ(script.Stuck(), 0u);
        EXPECT_NE(opened, nullptr);
        EXPECT_EQ(OpenDialogWindow(), nullptr);
        EXPECT_FALSE(IsWindow(opened)) << "the dialog is gone once it has unloaded";
        EXPECT_TRUE(comm.PortOpen());
        if (c.applied) {
            EXPECT_EQ(comm.Settings(), u"19200,e,8,1");
            EXPECT_EQ(comm.Handshaking(), 2);
            EXPECT_EQ(Stored(u"Settings"), u"19200,e,8,1");
            EXPECT_EQ(Stored(u"CommPort"), u"1");
            EXPECT_EQ(Stored(u"Handshaking"), u"2");
        } else {
            EXPECT_EQ(comm.Settings(), u"9600,n,8,1");
            EXPECT_EQ(comm.Handshaking(), 0);
            EXPECT_TRUE(store.values.empty());
        }
    }
}

// A port that cannot be opened: one warning owned by the dialog (which it disables, and which a tray click
// brings forward); afterwards the dialog is still open, the old port number is back and nothing is stored.
TEST_F(Win32Dialogs, PropertiesFailureKeepsTheDialogOpen) {
    namespace id = win32::properties_id;
    int boxes = 0;
    Script script({
        [&](HWND dialog) {
            SendMessageW(Item(dialog, id::kPort), CB_SETCURSEL, 2, 0);  // COM9:, which does not exist
            PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(id::kOk, BN_CLICKED), 0);
            return true;
        },
        [&](HWND dialog) {
            HWND box = MessageBoxOf(dialog);
            if (box == nullptr) {
                return false;
            }
            ++boxes;
            EXPECT_EQ(WindowText(box), u"Corvanta");
            EXPECT_TRUE(BoxSays(box, u"COM9: The system cannot find the file specified."));
            EXPECT_EQ(GetWindow(box, GW_OWNER), dialog);
            EXPECT_FALSE(IsWindowEnabled(dialog));
            EXPECT_TRUE(win32::BringOpenDialogToFront());
            EXPECT_EQ(GetForegroundWindow(), box);
            PostMessageW(box, WM_COMMAND, IDOK, 0);
            return true;
        },
        [&](HWND dialog) {
            if (MessageBoxOf(dialog) != nullptr || !IsWindowEnabled(dialog)) {
                return false;
            }
            EXPECT_EQ(comm.CommPort(), 1);
            EXPECT_FALSE(comm.PortOpen());
            PressKey(dialog, VK_ESCAPE);
            return true;
        },
    });
    ShowProperties();
    EXPECT_EQ(script.Stuck(), 0u);
    EXPECT_EQ(boxes, 1);
    EXPECT_TRUE(store.values.empty());
}

// Enter presses Ok, except while System Info... has the focus (reached by Tab), when it presses that button;
// the dialog stays open after starting the tool, and Esc closes it.
TEST_F(Win32Dialogs, AboutEnterFollowsTheFocusedButton) {
    namespace id = win32::about_id;
    const Text tool = u"C:\\Tools\\msinfo32.exe";
    registry.Put(reg::kHkeyLocalMachine, "SOFTWARE\\Microsoft\\Shared Tools\\MSINFO", "PATH", reg::kRegSz,
                 ToUtf8(tool) + '\0');
    launcher.files.insert(tool);
    const struct {
        const char* label;
        std::function<void(HWND)> first;
        size_t starts;
    } cases[] = {
        {"Enter on Ok", [](HWND dialog) { PressKey(dialog, VK_RETURN); }, 0},
        {"Tab, then Enter", [](HWND dialog) { PressKey(dialog, VK_TAB); }, 1},
        // A button pressed with the mouse and released elsewhere keeps the focus without being clicked.
        {"focus by mouse, then Enter", [](HWND dialog) { SetFocus(Item(dialog, id::kSysInfo)); }, 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        launcher.requests.clear();
        Script script({
            [&](HWND dialog) {
                EXPECT_EQ(WindowText(dialog), u"");
                EXPECT_EQ(WindowText(Item(dialog, id::kTitle)), u"Corvanta");
                EXPECT_EQ(GetFocus(), Item(dialog, id::kOk));
                ExpectCentred(dialog);
                c.first(dialog);
                return true;
            },
            [&](HWND dialog) {
                if (GetFocus() != Item(dialog, id::kSysInfo)) {
                    return false;
                }
                PressKey(dialog, VK_RETURN);
                return true;
            },
            [&](HWND dialog) {
                if (launcher.requests.empty()) {
                    return false;
                }
                PressKey(dialog, VK_ESCAPE);
                return true;
            },
        });
        ShowAbout();
        EXPECT_EQ(launcher.requests.size(), c.starts);
        EXPECT_EQ(script.Stuck(), c.starts == 0 ? 2u : 0u) << "Enter on Ok closes the dialog at once";
        EXPECT_EQ(OpenDialogWindow(), nullptr);
    }
}

// Without the tool, System Info... ends in the message, owned by the dialog, which stays open.
TEST_F(Win32Dialogs, AboutSysInfoUnavailable) {
    namespace id = win32::about_id;
    Script script({
        [&](HWND dialog) {
            PostMessageW(Item(dialog, id::kSysInfo), BM_CLICK, 0, 0);
            return true;
        },
        [&](HWND dialog) {
            HWND box = MessageBoxOf(dialog);
            if (box == nullptr) {
                return false;
            }
            EXPECT_EQ(WindowText(box), u"Corvanta");
            EXPECT_TRUE(BoxSays(box, frmAbout::kUnavailableMessage));
            EXPECT_EQ(GetWindow(box, GW_OWNER), dialog);
            PostMessageW(box, WM_COMMAND, IDOK, 0);
            return true;
        },
        [&](HWND dialog) {
            if (MessageBoxOf(dialog) != nullptr) {
                return false;
            }
            PostMessageW(dialog, WM_CLOSE, 0, 0);
            return true;
        },
    });
    ShowAbout();
    EXPECT_EQ(script.Stuck(), 0u);
    EXPECT_TRUE(launcher.requests.empty());
}

}  // namespace
}  // namespace corvanta
#endif
