#pragma once

#include <windows.h>

#include <chrono>
#include <functional>

#include "platform/win32/window_routing.h"

namespace corvanta::test {

// Runs this thread's messages as the program's loop does (the dialog keys of its modeless windows included) until
// done() holds or the deadline passes; returns done(). Conditions may also change without a message (a reader
// thread's bytes), so it looks again at least every 10 ms.
inline bool PumpUntil(const std::function<bool()>& done, std::chrono::milliseconds deadline) {
    const auto end = std::chrono::steady_clock::now() + deadline;
    for (;;) {
        MSG message;
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
            if (!win32::HandleDialogKeys(message)) {
                TranslateMessage(&message);
                DispatchMessageW(&message);
            }
        }
        if (done()) {
            return true;
        }
        if (std::chrono::steady_clock::now() >= end) {
            return false;
        }
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
    }
}

}  // namespace corvanta::test
