// The keystroke sender typing into a window of another program that is still taking the keys of one text when
// the next is sent, as a window is while scanned data keeps arriving. The test executable doubles as that
// program and as the sending one.

#ifdef CORVANTA_HAVE_WIN32

#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <cwchar>
#include <random>
#include <string>
#include <vector>

#include "platform/keystroke_sender.h"
#include "platform/win32/handles.h"
#include "platform/win32/win32_keystroke_sender.h"

namespace corvanta {
namespace {

using namespace std::chrono_literals;

// In the environment of a helper process: "recorder|MEMORY|PARENT" or "sender|MEMORY|PARENT".
constexpr wchar_t kHelperVariable[] = L"CORVANTA_TEST_KEYSTROKE_HELPER";
constexpr size_t kCapacity = 64 * 1024;
constexpr DWORD kSenderRefused = 3;
constexpr DWORD kSenderStalled = 4;

// What the helpers share with the test: the recorder's window once it has the focus, and every character it
// received, in order.
struct Recording {
    std::atomic<uint64_t> window;
    std::atomic<uint32_t> count;
    char16_t units[kCapacity];
};

// The text and how it is cut into sends: printable ASCII in blocks of the sizes a serial line delivers. The
// test and the sender make the same one.
struct Script {
    Text text;
    std::vector<size_t> blocks;
};

Script MakeScript() {
    constexpr size_t kTextSize = 24 * 1024;
    std::mt19937 random(20261207);
    std::uniform_int_distribution<int> printable(0x20, 0x7E);
    std::uniform_int_distribution<int> block_size(1, 64);
    Script script;
    while (script.text.size() < kTextSize) {
        script.blocks.push_back(static_cast<size_t>(block_size(random)));
        for (size_t i = 0; i < script.blocks.back(); ++i) {
            script.text += static_cast<char16_t>(printable(random));
        }
    }
    return script;
}

// A view of the shared recording; unmapped with its owner.
class RecordingView {
  public:
    RecordingView() = default;
    RecordingView(const RecordingView&) = delete;
    RecordingView& operator=(const RecordingView&) = delete;
    ~RecordingView() {
        if (recording_ != nullptr) {
            UnmapViewOfFile(recording_);
        }
    }

    bool Create(const std::wstring& name) {
        mapping_.Reset(
            CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, sizeof(Recording), name.c_str()));
        return Map();
    }
    bool Open(const std::wstring& name) {
        mapping_.Reset(OpenFileMappingW(FILE_MAP_WRITE, FALSE, name.c_str()));
        return Map();
    }
    Recording* Get() const { return recording_; }
    Recording* operator->() const { return recording_; }

  private:
    bool Map() {
        if (mapping_.Valid()) {
            recording_ = static_cast<Recording*>(MapViewOfFile(mapping_.Get(), FILE_MAP_WRITE, 0, 0, 0));
        }
        return recording_ != nullptr;
    }

    win32::UniqueHandle mapping_;
    Recording* recording_ = nullptr;
};

// Polls until done() holds; false at the deadline or once `process` ended.
template <typename Done>
bool WaitUntil(Done done, std::chrono::milliseconds deadline, HANDLE process) {
    const auto end = std::chrono::steady_clock::now() + deadline;
    while (!done()) {
        if (std::chrono::steady_clock::now() >= end || WaitForSingleObject(process, 0) != WAIT_TIMEOUT) {
            return false;
        }
        Sleep(1);
    }
    return true;
}

// --- the helper processes -------------------------------------------------------------------------------

Recording* g_recording = nullptr;
HANDLE g_parent = nullptr;

LRESULT CALLBACK RecordCharacters(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
    switch (message) {
        case WM_CHAR: {
            const uint32_t count = g_recording->count.load(std::memory_order_relaxed);
            if (count < kCapacity) {
                g_recording->units[count] = static_cast<char16_t>(wparam);
                g_recording->count.store(count + 1, std::memory_order_release);
            }
            return 0;
        }
        case WM_TIMER:
            // Ends with the test, whatever happened to it.
            if (WaitForSingleObject(g_parent, 0) != WAIT_TIMEOUT) {
                DestroyWindow(window);
                return 0;
            }
            if (GetForegroundWindow() != window) {
                SetForegroundWindow(window);
            }
            if (GetFocus() != window) {
                SetFocus(window);
            }
            if (g_recording->window.load() == 0 && GetForegroundWindow() == window && GetFocus() == window) {
                g_recording->window.store(reinterpret_cast<uintptr_t>(window));
            }
            return 0;
        case WM_DESTROY:
            PostQuitMessage(0);
            return 0;
        default:
            return DefWindowProcW(window, message, wparam, lparam);
    }
}

DWORD RunRecorder() {
    WNDCLASSW window_class{};
    window_class.lpfnWndProc = RecordCharacters;
    window_class.hInstance = GetModuleHandleW(nullptr);
    window_class.lpszClassName = L"CorvantaKeystrokeRecorder";
    if (RegisterClassW(&window_class) == 0) {
        return 1;
    }
    const HWND window =
        CreateWindowExW(0, window_class.lpszClassName, L"Keystroke recorder", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 60, 60,
                        320, 120, nullptr, nullptr, window_class.hInstance, nullptr);
    if (window == nullptr || SetTimer(window, 1, 50, nullptr) == 0) {
        return 1;
    }
    MSG message;
    while (GetMessageW(&message, nullptr, 0, 0) > 0) {
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
    return 0;
}

// Sends each block once the recorder is no more than a few hundred characters behind, so the target is always
// busy with earlier keys when a text is sent.
DWORD RunSender() {
    constexpr size_t kInFlight = 256;
    const Script script = MakeScript();
    win32::Win32KeystrokeSender sender;
    size_t sent = 0;
    for (const size_t size : script.blocks) {
        if (!WaitUntil([&] { return g_recording->count.load() + kInFlight >= sent; }, 10s, g_parent)) {
            return kSenderStalled;
        }
        const SendResult result = sender.SendKeys(TextView(script.text).substr(sent, size));
        if (result.accepted != result.events) {
            return kSenderRefused;
        }
        sent += size;
    }
    return 0;
}

// Started with the variable set, the executable runs as a helper and ends before GoogleTest's main starts.
const bool g_ran_as_helper = [] {
    wchar_t value[160];
    const DWORD length = GetEnvironmentVariableW(kHelperVariable, value, 160);
    if (length == 0 || length >= 160) {
        return false;
    }
    const std::wstring setting(value, length);
    const size_t first = setting.find(L'|');
    const size_t second = setting.rfind(L'|');
    if (first == std::wstring::npos || first == second) {
        ExitProcess(2);
    }
    RecordingView view;
    g_parent = OpenProcess(SYNCHRONIZE, FALSE, static_cast<DWORD>(std::wcstoul(value + second + 1, nullptr, 10)));
    if (g_parent == nullptr || !view.Open(setting.substr(first + 1, second - first - 1))) {
        ExitProcess(2);
    }
    g_recording = view.Get();
    const std::wstring mode = setting.substr(0, first);
    ExitProcess(mode == L"recorder" ? RunRecorder() : mode == L"sender" ? RunSender() : 2);
}();

// --- the test side ---------------------------------------------------------------------------------------

// Runs this executable as a helper; ended (at worst, killed) when the owner goes.
class HelperProcess {
  public:
    HelperProcess() = default;
    HelperProcess(const HelperProcess&) = delete;
    HelperProcess& operator=(const HelperProcess&) = delete;
    ~HelperProcess() {
        if (process_.Valid() && WaitForSingleObject(process_.Get(), 10'000) != WAIT_OBJECT_0) {
            TerminateProcess(process_.Get(), 1);
        }
    }

    void Start(const std::wstring& mode, const std::wstring& memory) {
        wchar_t path[MAX_PATH];
        ASSERT_NE(GetModuleFileNameW(nullptr, path, MAX_PATH), 0u);
        std::wstring command_line = L"\"" + std::wstring(path) + L"\" --gtest_filter=-*";
        const std::wstring setting = mode + L"|" + memory + L"|" + std::to_wstring(GetCurrentProcessId());
        SetEnvironmentVariableW(kHelperVariable, setting.c_str());
        STARTUPINFOW startup{};
        startup.cb = sizeof(startup);
        PROCESS_INFORMATION started{};
        const BOOL created =
            CreateProcessW(path, command_line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &started);
        const DWORD error = GetLastError();
        SetEnvironmentVariableW(kHelperVariable, nullptr);
        ASSERT_TRUE(created) << "CreateProcessW: " << error;
        process_.Reset(started.hProcess);
        CloseHandle(started.hThread);
    }

    HANDLE Get() const { return process_.Get(); }

    // The exit code, or STILL_ACTIVE.
    DWORD ExitCode() const {
        DWORD code = STILL_ACTIVE;
        GetExitCodeProcess(process_.Get(), &code);
        return code;
    }

  private:
    win32::UniqueHandle process_;
};

// Where two texts first differ, with some context on each side, and how many characters differ.
std::string Difference(const Text& expected, const Text& got) {
    size_t wrong = expected.size() > got.size() ? expected.size() - got.size() : got.size() - expected.size();
    size_t first = std::string::npos;
    for (size_t i = 0; i < expected.size() && i < got.size(); ++i) {
        if (expected[i] != got[i]) {
            ++wrong;
            first = std::min(first, i);
        }
    }
    first = std::min(first, std::min(expected.size(), got.size()));
    const size_t from = first < 16 ? 0 : first - 16;
    return std::to_string(wrong) + " characters wrong of " + std::to_string(expected.size()) + "; first at " +
           std::to_string(first) + ": expected \"" + ToUtf8(expected.substr(from, 32)) + "\", got \"" +
           ToUtf8(got.substr(from, 32)) + "\"";
}

// Asking about the target must not disturb the key state it types with: were a Shift held for a capital
// dropped while the next text is sent, `*` would arrive as `8`, `?` as `/`, `H` as `h`.
TEST(Win32KeystrokeSenderBusyTarget, LongPrintableTextInManySendsArrivesExact) {
    if (GetEnvironmentVariableW(L"DISPLAY", nullptr, 0) == 0) {
        GTEST_SKIP() << "no display to type into";
    }
    const std::wstring memory = L"Local\\CorvantaKeystrokeRecording" + std::to_wstring(GetCurrentProcessId());
    RecordingView recording;
    ASSERT_TRUE(recording.Create(memory)) << "shared memory: " << GetLastError();
    HelperProcess target;
    ASSERT_NO_FATAL_FAILURE(target.Start(L"recorder", memory));
    ASSERT_TRUE(WaitUntil([&] { return recording->window.load() != 0; }, 30s, target.Get()))
        << "the recorder never got the focus";
    const auto close_target = [&] {
        PostMessageW(reinterpret_cast<HWND>(static_cast<uintptr_t>(recording->window.load())), WM_CLOSE, 0, 0);
    };

    const Script script = MakeScript();
    HelperProcess sender;
    ASSERT_NO_FATAL_FAILURE(sender.Start(L"sender", memory));
    const bool complete = WaitUntil([&] { return recording->count.load() >= script.text.size(); }, 60s, target.Get());
    EXPECT_EQ(WaitForSingleObject(sender.Get(), 10'000), WAIT_OBJECT_0) << "the sender did not finish";
    EXPECT_EQ(sender.ExitCode(), 0u) << kSenderRefused << ": keystrokes refused, " << kSenderStalled
                                     << ": the target stopped taking them";
    EXPECT_TRUE(complete) << "received " << recording->count.load() << " of " << script.text.size() << " characters";
    const Text got(recording->units, recording->count.load(std::memory_order_acquire));
    EXPECT_TRUE(got == script.text) << Difference(script.text, got) << " (" << script.blocks.size() << " sends)";
    close_target();
}

}  // namespace
}  // namespace corvanta

#endif
