#include "platform/win32/win32_app_info.h"

#include <windows.h>

#include <vector>

#include "platform/win32/win32_error.h"

namespace corvanta::win32 {

Text ModuleFileName() {
    // A path that does not fit is cut short without any error on older systems, so only a result shorter
    // than the buffer is known to be whole.
    std::vector<wchar_t> buffer(MAX_PATH);
    for (;;) {
        const DWORD length = GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
        if (length == 0) {
            ThrowLastError(u"GetModuleFileNameW");
        }
        if (length < buffer.size()) {
            return FromWide(buffer.data(), length);
        }
        if (buffer.size() >= 32768) {
            throw SystemError(u"GetModuleFileNameW", ERROR_INSUFFICIENT_BUFFER);
        }
        buffer.resize(buffer.size() * 2);
    }
}

Win32AppInfo::Win32AppInfo() : parts_(SplitModulePath(ModuleFileName())) {}

}  // namespace corvanta::win32
