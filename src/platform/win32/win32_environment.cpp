#include "platform/win32/win32_environment.h"

#include <windows.h>

#include <vector>

#include "platform/win32/win32_error.h"

namespace corvanta::win32 {

std::optional<Text> Win32Environment::Variable(TextView name) const {
    const Text terminated(name);
    std::vector<wchar_t> buffer(256);
    for (;;) {
        // A variable set to nothing also returns 0; only the error code tells it from a missing one.
        SetLastError(ERROR_SUCCESS);
        const DWORD length =
            GetEnvironmentVariableW(Wide(terminated), buffer.data(), static_cast<DWORD>(buffer.size()));
        if (length == 0) {
            const DWORD error = GetLastError();
            if (error == ERROR_ENVVAR_NOT_FOUND) {
                return std::nullopt;
            }
            if (error != ERROR_SUCCESS) {
                throw SystemError(u"Reading the environment variable " + terminated, error);
            }
            return Text();
        }
        // Too small a buffer gives the size needed, the terminating NUL included; the value may grow meanwhile.
        if (length < buffer.size()) {
            return FromWide(buffer.data(), length);
        }
        buffer.resize(length);
    }
}

}  // namespace corvanta::win32
