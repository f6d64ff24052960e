// Fault-test helpers for the end-to-end tests.
//
//     faulttool.exe record OUTPUT [once]
//                                      a fast typing target: a top-level window with no edit control that keeps
//                                      the focus (with "once": takes it at the start only) and records every
//                                      WM_CHAR; OUTPUT gets the text in UTF-8 (rewritten whole at most every
//                                      100 ms), OUTPUT.ready appears once it has the focus
//     faulttool.exe taskbarcreated     broadcasts the shell's "TaskbarCreated" to the top-level windows, as a
//                                      restarted Explorer does
//     faulttool.exe type COUNT BLOCK   types COUNT pseudo-random printable characters itself, BLOCK per SendInput
//                                      call (the injection path alone, for comparison); prints the seconds taken

#include <windows.h>

#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "test_window.h"
#include "utf8.h"
#include "write_whole.h"

namespace {

constexpr UINT_PTR kFlushTimer = 1;

std::wstring g_output;
std::wstring g_typed;
bool g_dirty = true;
bool g_ready = false;
bool g_keepFocus = true;
ULONGLONG g_lastWrite = 0;

void Flush() {
    g_dirty = false;
    g_lastWrite = GetTickCount64();
    WriteWhole(g_output, ToUtf8(g_typed));
}

LRESULT CALLBACK RecorderProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_CHAR:
            g_typed.push_back(static_cast<wchar_t>(wParam));
            g_dirty = true;
            // WM_TIMER only comes when the queue is empty: under a flood of keys the file is written from here.
            if (GetTickCount64() - g_lastWrite >= 100) {
                Flush();
            }
            return 0;
        case WM_TIMER: {
            const bool focused = (g_keepFocus || !g_ready) && TakeFocus(window, window);
            if (g_dirty) {
                Flush();
            }
            if (!g_ready && focused) {
                g_ready = true;
                WriteWhole(g_output + L".ready", std::to_string(reinterpret_cast<UINT_PTR>(window)));
            }
            return 0;
        }
        case WM_DESTROY:
            PostQuitMessage(0);
            return 0;
        default:
            return DefWindowProcW(window, message, wParam, lParam);
    }
}

int Record(const wchar_t* output, bool keep_focus) {
    g_output = output;
    g_keepFocus = keep_focus;
    HWND window = CreateTargetWindow(L"CorvantaFastRecorder", RecorderProc, L"Corvanta fast recorder", 300, 100);
    if (window == nullptr) {
        return 1;
    }
    SetTimer(window, kFlushTimer, 100, nullptr);
    RunMessageLoop();
    return 0;
}

int BroadcastTaskbarCreated() {
    const UINT message = RegisterWindowMessageW(L"TaskbarCreated");
    if (message == 0 || !PostMessageW(HWND_BROADCAST, message, 0, 0)) {
        std::printf("broadcast failed: %lu\n", GetLastError());
        return 1;
    }
    std::printf("ok\n");
    return 0;
}

int Type(size_t count, size_t block) {
    std::vector<INPUT> inputs;
    unsigned state = 12345;
    const auto started = std::chrono::steady_clock::now();
    size_t accepted = 0;
    for (size_t done = 0; done < count;) {
        inputs.clear();
        for (size_t i = 0; i < block && done < count; ++i, ++done) {
            state = state * 1103515245u + 12345u;
            INPUT input{};
            input.type = INPUT_KEYBOARD;
            input.ki.wScan = static_cast<WORD>(L'!' + (state >> 16) % 94);
            input.ki.dwFlags = KEYEVENTF_UNICODE;
            inputs.push_back(input);
            input.ki.dwFlags |= KEYEVENTF_KEYUP;
            inputs.push_back(input);
        }
        accepted += SendInput(static_cast<UINT>(inputs.size()), inputs.data(), sizeof(INPUT));
    }
    const std::chrono::duration<double> took = std::chrono::steady_clock::now() - started;
    std::printf("%.3f s, %zu events accepted\n", took.count(), accepted);
    return 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    const std::wstring command = argc > 1 ? argv[1] : L"";
    if (command == L"record" && (argc == 3 || (argc == 4 && std::wstring(argv[3]) == L"once"))) {
        return Record(argv[2], argc == 3);
    }
    if (command == L"taskbarcreated" && argc == 2) {
        return BroadcastTaskbarCreated();
    }
    if (command == L"type" && argc == 4) {
        return Type(std::wcstoul(argv[2], nullptr, 10), std::wcstoul(argv[3], nullptr, 10));
    }
    std::fprintf(stderr, "usage: faulttool record OUTPUT [once] | taskbarcreated | type COUNT BLOCK\n");
    return 2;
}
