// Windows side of the performance benchmark (scripts/benchmark). Timestamps are QueryPerformanceCounter
// values in 100 ns units, which the benchmark maps onto Linux's clock by the "clock" command. Answers go to
// stdout, one line each.
//
//     bench_helper.exe target   a window that takes the focus and records every WM_CHAR with its time;
//                               commands on stdin, one a line:
//                                 clock        -> "clock T"
//                                 notify N     -> "reached N T" once N characters arrived (T: the Nth's time)
//                                 status       -> "status COUNT T_LAST FOCUSED KEYS" (KEYS: key messages
//                                                 seen, WM_KEYDOWN/UP and their SYS forms)
//                                 dump         -> "dump COUNT HEX" (every character so far, 4 hex digits each)
//                                 quit
//                               prints "ready" once its window has the focus
//     bench_helper.exe inject   types every block read from stdin (ASCII) with the program's own keystroke
//                               sender, as the program does with a block from the serial line; prints
//                               "sent BYTES T_BEFORE T_AFTER" around each SendInput
//     bench_helper.exe floor    the cheapest typist: every byte read from stdin as one Unicode packet, one
//                               SendInput per block; prints as inject does
//     bench_helper.exe tray MS  prints "watching", then waits up to MS ms for an icon in Wine's stand-alone
//                               tray and prints "tray T"
//
// Exit status: 0 done, 1 failed or timed out, 2 bad arguments.

#include <windows.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "../e2e/helpers/test_window.h"
#include "core/keystroke_plan.h"
#include "platform/win32/win32_keystroke_sender.h"

namespace {

constexpr UINT kNotifyMessage = WM_APP + 1;
constexpr UINT kStatusMessage = WM_APP + 2;
constexpr UINT kDumpMessage = WM_APP + 3;
constexpr UINT_PTR kRefocusTimer = 1;

int64_t Now100ns() {
    static const int64_t frequency = [] {
        LARGE_INTEGER f{};
        QueryPerformanceFrequency(&f);
        return f.QuadPart;
    }();
    LARGE_INTEGER counter{};
    QueryPerformanceCounter(&counter);
    // Wine counts at 10 MHz already; elsewhere split the division so the product cannot overflow.
    return counter.QuadPart / frequency * 10'000'000 + counter.QuadPart % frequency * 10'000'000 / frequency;
}

std::mutex g_output_mutex;

void PrintLine(const std::string& line) {
    std::lock_guard lock(g_output_mutex);
    const std::string bytes = line + "\n";
    DWORD written = 0;
    WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
}

// Reads stdin line by line; false at its end.
class LineReader {
  public:
    bool Next(std::string& line) {
        for (;;) {
            const size_t end = pending_.find('\n');
            if (end != std::string::npos) {
                line = pending_.substr(0, end);
                pending_.erase(0, end + 1);
                return true;
            }
            char chunk[256];
            DWORD count = 0;
            if (!ReadFile(GetStdHandle(STD_INPUT_HANDLE), chunk, sizeof(chunk), &count, nullptr) || count == 0) {
                return false;
            }
            pending_.append(chunk, count);
        }
    }

  private:
    std::string pending_;
};

// --- target ---------------------------------------------------------------------------------------------------

struct Record {
    int64_t time;
    wchar_t unit;
};

std::vector<Record> g_records;  // owned by the window's thread
size_t g_key_messages = 0;
size_t g_notify_at = 0;
bool g_ready = false;

void CheckNotify() {
    if (g_notify_at != 0 && g_records.size() >= g_notify_at) {
        PrintLine("reached " + std::to_string(g_notify_at) + " " + std::to_string(g_records[g_notify_at - 1].time));
        g_notify_at = 0;
    }
}

void KeepFocus(HWND window) {
    if (TakeFocus(window, window) && !g_ready) {
        g_ready = true;
        PrintLine("ready");
    }
}

LRESULT CALLBACK TargetProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_CHAR:
            // The time comes first: it is the moment the window saw the key.
            g_records.push_back({Now100ns(), static_cast<wchar_t>(wParam)});
            CheckNotify();
            return 0;
        case WM_KEYDOWN:
        case WM_KEYUP:
        case WM_SYSKEYDOWN:
        case WM_SYSKEYUP:
            ++g_key_messages;
            return DefWindowProcW(window, message, wParam, lParam);
        case kNotifyMessage:
            g_notify_at = static_cast<size_t>(wParam);
            CheckNotify();
            return 0;
        case kStatusMessage: {
            const int64_t last = g_records.empty() ? 0 : g_records.back().time;
            const bool focused = GetForegroundWindow() == window && GetFocus() == window;
            PrintLine("status " + std::to_string(g_records.size()) + " " + std::to_string(last) + " " +
                      (focused ? "1" : "0") + " " + std::to_string(g_key_messages));
            return 0;
        }
        case kDumpMessage: {
            std::string line = "dump " + std::to_string(g_records.size()) + " ";
            line.reserve(line.size() + g_records.size() * 4);
            char hex[8];
            for (const Record& record : g_records) {
                std::snprintf(hex, sizeof(hex), "%04x", static_cast<unsigned>(record.unit));
                line += hex;
            }
            PrintLine(line);
            return 0;
        }
        case WM_TIMER:
            KeepFocus(window);
            return 0;
        case WM_DESTROY:
            PostQuitMessage(0);
            return 0;
        default:
            return DefWindowProcW(window, message, wParam, lParam);
    }
}

int RunTarget() {
    g_records.reserve(1 << 20);
    HWND window = CreateTargetWindow(L"CorvantaBenchTarget", TargetProc, L"Corvanta benchmark target", 320, 120);
    if (window == nullptr) {
        return 1;
    }
    SetTimer(window, kRefocusTimer, 100, nullptr);
    KeepFocus(window);

    // Commands arrive on their own thread so the window's thread only ever waits for messages; the clock is
    // answered there at once, the rest by the window's thread, which owns the records.
    std::thread commands([window] {
        LineReader reader;
        std::string line;
        while (reader.Next(line)) {
            if (!line.empty() && line.back() == '\r') {
                line.pop_back();
            }
            if (line == "clock") {
                PrintLine("clock " + std::to_string(Now100ns()));
            } else if (line.rfind("notify ", 0) == 0) {
                PostMessageW(window, kNotifyMessage, static_cast<WPARAM>(std::strtoull(line.c_str() + 7, nullptr, 10)),
                             0);
            } else if (line == "status") {
                PostMessageW(window, kStatusMessage, 0, 0);
            } else if (line == "dump") {
                PostMessageW(window, kDumpMessage, 0, 0);
            } else if (line == "quit") {
                break;
            } else {
                PrintLine("error unknown command: " + line);
            }
        }
        PostMessageW(window, WM_CLOSE, 0, 0);
    });

    RunMessageLoop();
    commands.detach();  // it may still wait in ReadFile; the process ends now
    return 0;
}

// --- inject ---------------------------------------------------------------------------------------------------

// The next block the benchmark wrote to stdin, as text; false at its end.
bool ReadBlock(corvanta::Text& text) {
    char buffer[4096];
    DWORD count = 0;
    if (!ReadFile(GetStdHandle(STD_INPUT_HANDLE), buffer, sizeof(buffer), &count, nullptr) || count == 0) {
        return false;
    }
    text.clear();
    for (DWORD i = 0; i < count; ++i) {
        text += static_cast<char16_t>(static_cast<unsigned char>(buffer[i]));  // the benchmark sends ASCII
    }
    return true;
}

int RunInject() {
    corvanta::win32::Win32KeystrokeSender keys;
    corvanta::Text text;
    while (ReadBlock(text)) {
        const int64_t before = Now100ns();
        const corvanta::SendResult result = keys.SendKeys(text);
        const int64_t after = Now100ns();
        if (result.accepted != result.events) {
            PrintLine("refused " + std::to_string(result.events - result.accepted));
        }
        PrintLine("sent " + std::to_string(text.size()) + " " + std::to_string(before) + " " + std::to_string(after));
    }
    return 0;
}

// A relay with nothing but the injection itself: no layout, no modifiers, two events a character.
int RunFloor() {
    corvanta::Text text;
    std::vector<INPUT> inputs;
    while (ReadBlock(text)) {
        inputs.assign(text.size() * 2, INPUT{});
        for (size_t i = 0; i < text.size(); ++i) {
            for (size_t up = 0; up < 2; ++up) {
                INPUT& input = inputs[i * 2 + up];
                input.type = INPUT_KEYBOARD;
                input.ki.wScan = text[i];
                input.ki.dwFlags = KEYEVENTF_UNICODE | (up ? KEYEVENTF_KEYUP : 0);
            }
        }
        const int64_t before = Now100ns();
        const UINT accepted = SendInput(static_cast<UINT>(inputs.size()), inputs.data(), sizeof(INPUT));
        const int64_t after = Now100ns();
        if (accepted != inputs.size()) {
            PrintLine("refused " + std::to_string(inputs.size() - accepted));
        }
        PrintLine("sent " + std::to_string(text.size()) + " " + std::to_string(before) + " " + std::to_string(after));
    }
    return 0;
}

// --- tray -----------------------------------------------------------------------------------------------------

bool TrayIconShown() {
    for (HWND tray = FindWindowExW(nullptr, nullptr, L"__winex11_standalone_tray", nullptr); tray != nullptr;
         tray = FindWindowExW(nullptr, tray, L"__winex11_standalone_tray", nullptr)) {
        for (HWND icon = FindWindowExW(tray, nullptr, L"__winex11_tray_icon", nullptr); icon != nullptr;
             icon = FindWindowExW(tray, icon, L"__winex11_tray_icon", nullptr)) {
            if (IsWindowVisible(icon)) {
                return true;
            }
        }
    }
    return false;
}

int RunTray(DWORD timeout_ms) {
    const ULONGLONG deadline = GetTickCount64() + timeout_ms;
    PrintLine("watching");
    while (GetTickCount64() < deadline) {
        if (TrayIconShown()) {
            PrintLine("tray " + std::to_string(Now100ns()));
            return 0;
        }
        // Fine enough for a start that takes hundreds of ms, coarse enough not to slow that start down.
        Sleep(2);
    }
    return 1;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    const std::wstring mode = argc > 1 ? argv[1] : L"";
    if (mode == L"target" && argc == 2) {
        return RunTarget();
    }
    if (mode == L"inject" && argc == 2) {
        return RunInject();
    }
    if (mode == L"floor" && argc == 2) {
        return RunFloor();
    }
    if (mode == L"tray" && argc == 3) {
        return RunTray(static_cast<DWORD>(_wtoi(argv[2])));
    }
    PrintLine("usage: bench_helper target | inject | floor | tray TIMEOUT_MS");
    return 2;
}
