#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "fakes/fake_keystroke_sender.h"
#include "platform/keystroke_sender.h"

#ifdef CORVANTA_HAVE_WIN32
#include <windows.h>

#include "contract/message_loop_win32.h"
#include "platform/win32/win32_error.h"
#include "platform/win32/win32_focus_window.h"
#include "platform/win32/win32_keystroke_sender.h"
#endif

namespace corvanta {
namespace {

using namespace std::chrono_literals;

// The senders the contract holds for, by name.
std::unique_ptr<KeystrokeSender> MakeSender(const std::string& name) {
#ifdef CORVANTA_HAVE_WIN32
    if (name == "Win32") {
        return std::make_unique<win32::Win32KeystrokeSender>();
    }
#endif
    EXPECT_EQ(name, "Fake");
    return std::make_unique<FakeKeystrokeSender>();
}

std::vector<std::string> SenderNames() {
#ifdef CORVANTA_HAVE_WIN32
    return {"Fake", "Win32"};
#else
    return {"Fake"};
#endif
}

class KeystrokeSenderContract : public testing::TestWithParam<std::string> {};

// An empty text needs no events; a text the system takes is accepted whole.
TEST_P(KeystrokeSenderContract, ReportsEventsAndAcceptance) {
    const auto sender = MakeSender(GetParam());
    const SendResult none = sender->SendKeys(u"");
    EXPECT_EQ(none.events, 0u);
    EXPECT_EQ(none.accepted, 0u);
    for (const KeyMode mode : {KeyMode::kLayout, KeyMode::kUnicode, KeyMode::kScanCode}) {
        sender->SetKeyMode(mode);
        const SendResult typed = sender->SendKeys(u"ab");
        EXPECT_GT(typed.events, 0u) << "mode " << static_cast<int>(mode);
        EXPECT_EQ(typed.accepted, typed.events) << "mode " << static_cast<int>(mode);
    }
}

INSTANTIATE_TEST_SUITE_P(AllSenders,
                         KeystrokeSenderContract,
                         testing::ValuesIn(SenderNames()),
                         [](const testing::TestParamInfo<std::string>& param) { return param.param; });

#ifdef CORVANTA_HAVE_WIN32

// A key message as the target window saw it.
struct KeyMessage {
    UINT message;
    WPARAM virtual_key;
    UINT scan_code;
};

// A visible top-level window of this process with a multi-line edit that has the keyboard focus: what the
// sender types arrives here through the real input queue. One per process, never destroyed: destroying a
// visible window makes Wine wait two seconds for a window manager that is not there.
class EditTarget {
  public:
    static EditTarget& Get() {
        static EditTarget* target = new EditTarget();
        return *target;
    }

    // Empties the edit and gives it the focus again; false if it does not get it.
    bool Reset() {
        SetWindowTextW(edit_, L"");
        key_messages.clear();
        chars.clear();
        SetForegroundWindow(frame_);
        SetFocus(edit_);
        return PumpUntil([&] { return GetForegroundWindow() == frame_ && GetFocus() == edit_; });
    }

    Text Contents() const {
        std::wstring buffer(static_cast<size_t>(GetWindowTextLengthW(edit_)) + 1, L'\0');
        const int length = GetWindowTextW(edit_, buffer.data(), static_cast<int>(buffer.size()));
        return win32::FromWide(buffer.data(), static_cast<size_t>(length));
    }

    // Runs this thread's messages until done() holds or the deadline passes; returns done().
    static bool PumpUntil(const std::function<bool()>& done, std::chrono::milliseconds deadline = 5s) {
        return test::PumpUntil(done, deadline);
    }

    static inline std::vector<KeyMessage> key_messages;
    static inline std::vector<WPARAM> chars;

  private:
    EditTarget() {
        const HINSTANCE instance = GetModuleHandleW(nullptr);
        WNDCLASSW window_class{};
        window_class.lpfnWndProc = DefWindowProcW;
        window_class.hInstance = instance;
        window_class.lpszClassName = L"CorvantaKeystrokeTarget";
        if (RegisterClassW(&window_class) == 0) {
            win32::ThrowLastError(u"RegisterClassW");
        }
        frame_ = CreateWindowExW(0, window_class.lpszClassName, L"Keystroke target", WS_OVERLAPPEDWINDOW, 40, 40, 480,
                                 240, nullptr, nullptr, instance, nullptr);
        if (frame_ == nullptr) {
            win32::ThrowLastError(u"CreateWindowExW(frame)");
        }
        edit_ = CreateWindowExW(0, L"EDIT", L"", WS_CHILD | WS_VISIBLE | ES_MULTILINE | ES_AUTOVSCROLL | ES_WANTRETURN,
                                0, 0, 460, 200, frame_, nullptr, instance, nullptr);
        if (edit_ == nullptr) {
            win32::ThrowLastError(u"CreateWindowExW(EDIT)");
        }
        edit_procedure_ = reinterpret_cast<WNDPROC>(
            SetWindowLongPtrW(edit_, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&EditTarget::RecordKeys)));
        ShowWindow(frame_, SW_SHOW);
    }

    static LRESULT CALLBACK RecordKeys(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
        if (message == WM_KEYDOWN || message == WM_KEYUP) {
            key_messages.push_back({message, wparam, static_cast<UINT>((lparam >> 16) & 0x1FF)});
        } else if (message == WM_CHAR) {
            chars.push_back(wparam);
        }
        return CallWindowProcW(edit_procedure_, window, message, wparam, lparam);
    }

    HWND frame_ = nullptr;
    HWND edit_ = nullptr;
    static inline WNDPROC edit_procedure_ = nullptr;
};

bool AnyModifierDown() {
    for (int key : {VK_SHIFT, VK_CONTROL, VK_MENU}) {
        if ((GetKeyState(key) & 0x8000) != 0 || (GetAsyncKeyState(key) & 0x8000) != 0) {
            return true;
        }
    }
    return false;
}

// A thread that is not the target's, running what it is given, like the program's own thread. It has its
// message queue from the start: under Wine a thread's key state follows only the changes made after that.
class SendingThread {
  public:
    SendingThread() {
        thread_ = std::thread([this] {
            MSG message;
            PeekMessageW(&message, nullptr, 0, 0, PM_NOREMOVE);
            std::unique_lock lock(mutex_);
            started_ = true;
            changed_.notify_all();
            for (;;) {
                changed_.wait(lock, [&] { return task_ || stop_; });
                if (!task_) {
                    return;
                }
                task_();
                task_ = nullptr;
                changed_.notify_all();
            }
        });
        std::unique_lock lock(mutex_);
        changed_.wait(lock, [&] { return started_; });
    }
    ~SendingThread() {
        {
            const std::lock_guard lock(mutex_);
            stop_ = true;
        }
        changed_.notify_all();
        thread_.join();
    }

    void Run(std::function<void()> task) {
        std::unique_lock lock(mutex_);
        task_ = std::move(task);
        changed_.notify_all();
        changed_.wait(lock, [&] { return !task_; });
    }

  private:
    std::mutex mutex_;
    std::condition_variable changed_;
    std::function<void()> task_;
    bool started_ = false;
    bool stop_ = false;
    std::thread thread_;
};

class Win32KeystrokeSenderTyping : public testing::Test {
  protected:
    void SetUp() override {
        if (std::getenv("DISPLAY") == nullptr) {
            GTEST_SKIP() << "no display to type into";
        }
        ASSERT_TRUE(EditTarget::Get().Reset()) << "the edit never got the focus";
    }

    // Sends each text in turn from the sending thread; waits for the edit to show the expectation and finds no
    // modifier left down.
    void ExpectTyped(const std::vector<Text>& texts, const Text& expected, KeyMode mode = KeyMode::kLayout) {
        std::string input = "mode " + std::to_string(static_cast<int>(mode)) + " ";
        win32::Win32KeystrokeSender sender;
        sender.SetKeyMode(mode);
        for (const Text& text : texts) {
            input.append("[").append(ToUtf8(text)).append("]");
            SendResult result;
            sending_.Run([&] { result = sender.SendKeys(text); });
            EXPECT_EQ(result.accepted, result.events) << "input: " << input;
        }
        EditTarget& target = EditTarget::Get();
        EXPECT_TRUE(EditTarget::PumpUntil([&] { return target.Contents() == expected; }))
            << "input: " << input << "\nexpected: " << ToUtf8(expected) << "\ngot: " << ToUtf8(target.Contents());
        EXPECT_FALSE(AnyModifierDown()) << "input: " << input;
    }

    SendingThread sending_;
};

TEST_F(Win32KeystrokeSenderTyping, DigitsAndEnter) {
    ExpectTyped({u"12345\r"}, u"12345\r\n");
}

TEST_F(Win32KeystrokeSenderTyping, NotationCharactersArriveLiterally) {
    ExpectTyped({u"a+b^c%d~e{f}g[h](i) ABC xyz"}, u"a+b^c%d~e{f}g[h](i) ABC xyz");
}

// Every mode types the same text; scan codes reach the target as the layout's keys.
TEST_F(Win32KeystrokeSenderTyping, KeyModes) {
    for (const KeyMode mode : {KeyMode::kUnicode, KeyMode::kScanCode}) {
        ASSERT_TRUE(EditTarget::Get().Reset());
        ExpectTyped({u"aB1! \u00E9{x}\tZ\r"}, u"aB1! \u00E9{x}\tZ\r\n", mode);
    }
}

// A key the user holds while a text comes would change it: Shift into capitals, Ctrl and Alt into shortcuts
// (Ctrl+A selects all) and menu keys. It is lifted for the text and still down after it.
TEST_F(Win32KeystrokeSenderTyping, HeldModifiersDoNotChangeTheText) {
    const auto key = [](WORD virtual_key, bool up) {
        INPUT input{};
        input.type = INPUT_KEYBOARD;
        input.ki.wVk = virtual_key;
        input.ki.wScan = static_cast<WORD>(MapVirtualKeyW(virtual_key, MAPVK_VK_TO_VSC));
        input.ki.dwFlags = (up ? KEYEVENTF_KEYUP : 0) |
                           (virtual_key == VK_RCONTROL || virtual_key == VK_RMENU ? KEYEVENTF_EXTENDEDKEY : 0);
        return SendInput(1, &input, sizeof(INPUT)) == 1;
    };
    for (const WORD held : {WORD{VK_LSHIFT}, WORD{VK_RCONTROL}, WORD{VK_LMENU}}) {
        ASSERT_TRUE(EditTarget::Get().Reset());
        ASSERT_TRUE(key(held, false));
        win32::Win32KeystrokeSender sender;
        SendResult result;
        sending_.Run([&] { result = sender.SendKeys(u"ab1A\u00E9\r"); });
        EXPECT_EQ(result.accepted, result.events) << "held " << held;
        EditTarget& target = EditTarget::Get();
        EXPECT_TRUE(EditTarget::PumpUntil([&] { return target.Contents() == u"ab1A\u00E9\r\n"; }))
            << "held " << held << ", got: " << ToUtf8(target.Contents());
        EXPECT_NE(GetAsyncKeyState(held) & 0x8000, 0) << "the user's key " << held << " was not given back";
        ASSERT_TRUE(key(held, true));
        EXPECT_TRUE(EditTarget::PumpUntil([] { return !AnyModifierDown(); })) << "held " << held;
    }
}

// Also inside a run of capitals, whose Shift stays down across the Unicode packets.
TEST_F(Win32KeystrokeSenderTyping, CharactersWithoutAKey) {
    ExpectTyped({u"\u00E9\u20AC\u4E2D\u03A9", u"A\u00E9B\U0001F600C"}, u"\u00E9\u20AC\u4E2D\u03A9A\u00E9B\U0001F600C");
}

// The text is final: each CR and each LF is one Enter, also where they meet, in one text or across two.
TEST_F(Win32KeystrokeSenderTyping, EachCrAndEachLfIsOneLineBreak) {
    ExpectTyped({u"x\ry\nz\r\n", u"\r", u"\n!"}, u"x\r\ny\r\nz\r\n\r\n\r\n\r\n!");
}

TEST_F(Win32KeystrokeSenderTyping, TabAndBackspace) {
    ExpectTyped({u"a\tb", u"cd\be"}, u"a\tbce");
}

// A control character handed over was kept on purpose (the GS separators of GS1 codes): the target gets it as
// its character, never as a Ctrl-combination, which would select all (Ctrl+A) or fire a shortcut.
TEST_F(Win32KeystrokeSenderTyping, ControlCharactersAreTypedAsThemselves) {
    const Text text =
        u"a\x1D"
        u"b\x04"
        u"c\x01";
    win32::Win32KeystrokeSender sender;
    SendResult result;
    sending_.Run([&] { result = sender.SendKeys(text); });
    EXPECT_EQ(result.accepted, result.events);
    const std::vector<WPARAM> expected(text.begin(), text.end());
    EXPECT_TRUE(EditTarget::PumpUntil([&] { return EditTarget::chars == expected; }))
        << EditTarget::chars.size() << " characters arrived";
    for (const KeyMessage& message : EditTarget::key_messages) {
        EXPECT_NE(message.virtual_key, static_cast<WPARAM>(VK_CONTROL)) << "Ctrl was pressed";
    }
    EXPECT_FALSE(AnyModifierDown());
}

TEST_F(Win32KeystrokeSenderTyping, SurrogatePair) {
    ExpectTyped({u"<\U0001F600>"}, u"<\U0001F600>");
}

// Caps Lock on would swap the case of letters typed by their keys. The sender learns of the toggle on its own
// thread, without touching the target's input.
TEST_F(Win32KeystrokeSenderTyping, CapsLockDoesNotChangeCase) {
    const auto caps_lock_on = [] { return (GetKeyState(VK_CAPITAL) & 1) != 0; };
    const auto toggle_caps_lock = [] {
        INPUT inputs[2] = {};
        inputs[0].type = inputs[1].type = INPUT_KEYBOARD;
        inputs[0].ki.wVk = inputs[1].ki.wVk = VK_CAPITAL;
        inputs[1].ki.dwFlags = KEYEVENTF_KEYUP;
        SendInput(2, inputs, sizeof(INPUT));
    };
    toggle_caps_lock();
    ASSERT_TRUE(EditTarget::PumpUntil(caps_lock_on)) << "Caps Lock did not come on";
    ExpectTyped({u"aB1"}, u"aB1");
    toggle_caps_lock();
    EXPECT_TRUE(EditTarget::PumpUntil([&] { return !caps_lock_on(); })) << "Caps Lock stayed on";
}

// The edit that has the focus belongs to this process: what would be typed now would go to the program itself,
// which does not run above itself. The description is the frame's caption, not the edit's contents.
TEST_F(Win32KeystrokeSenderTyping, FocusWindowKnowsItsOwnWindowHasTheFocus) {
    ExpectTyped({u"typed"}, u"typed");
    const win32::Win32FocusWindow focus;
    EXPECT_TRUE(focus.IsOwnWindow());
    EXPECT_FALSE(focus.ElevatedAboveUs());
    EXPECT_EQ(ToUtf8(focus.Description()), "Keystroke target");
}

// Programs that read key messages see the real keys with their scan codes, Shift included, not only packets;
// capitals in a row share one press of Shift.
TEST_F(Win32KeystrokeSenderTyping, KeysCarryScanCodes) {
    ExpectTyped({u"aAA"}, u"aAA");
    const UINT scan_a = MapVirtualKeyW('A', MAPVK_VK_TO_VSC);
    const UINT scan_shift = MapVirtualKeyW(VK_SHIFT, MAPVK_VK_TO_VSC);
    ASSERT_NE(scan_a, 0u);
    const std::vector<std::pair<UINT, WPARAM>> expected = {
        {WM_KEYDOWN, 'A'}, {WM_KEYUP, 'A'},   {WM_KEYDOWN, VK_SHIFT}, {WM_KEYDOWN, 'A'},
        {WM_KEYUP, 'A'},   {WM_KEYDOWN, 'A'}, {WM_KEYUP, 'A'},        {WM_KEYUP, VK_SHIFT}};
    const std::vector<KeyMessage>& seen = EditTarget::key_messages;
    ASSERT_EQ(seen.size(), expected.size());
    for (size_t i = 0; i < seen.size(); ++i) {
        EXPECT_EQ(seen[i].message, expected[i].first) << "message " << i;
        EXPECT_EQ(seen[i].virtual_key, expected[i].second) << "message " << i;
        EXPECT_EQ(seen[i].scan_code, seen[i].virtual_key == VK_SHIFT ? scan_shift : scan_a) << "message " << i;
    }
}

#endif

}  // namespace
}  // namespace corvanta
