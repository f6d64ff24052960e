#include "platform/win32/unhandled_error.h"

#include <windows.h>

#include "common/identity.h"
#include "common/text.h"
#include "platform/win32/win32_error.h"

namespace corvanta::win32 {

void ReportUnhandledError(const std::exception& error) noexcept {
    try {
        const auto* ours = dynamic_cast<const Error*>(&error);
        const Text description = ours != nullptr ? ours->Description() : FromUtf8(error.what());
        const Text caption(kAppTitle);
        // Task-modal: the program has no visible window to own the box, and the rest of it must wait.
        MessageBoxW(nullptr, Wide(description), Wide(caption), MB_OK | MB_ICONERROR | MB_TASKMODAL | MB_SETFOREGROUND);
    } catch (...) {
        // Out of memory while describing it: a fixed text, which needs no memory of its own.
        MessageBoxW(nullptr, L"An unexpected error occurred.", reinterpret_cast<const wchar_t*>(kAppTitle),
                    MB_OK | MB_ICONERROR | MB_TASKMODAL | MB_SETFOREGROUND);
    }
}

}  // namespace corvanta::win32
