#include "platform/win32/start_place.h"

#include <windows.h>

#include <vector>

#include "platform/win32/handles.h"
#include "platform/win32/win32_error.h"

namespace corvanta::win32 {

namespace {

bool RunsAsLocalSystem() {
    UniqueHandle token;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, token.Receive())) {
        ThrowLastError(u"OpenProcessToken");
    }
    // The first call only reports the size the account's SID needs.
    DWORD size = 0;
    if (!GetTokenInformation(token.Get(), TokenUser, nullptr, 0, &size) &&
        GetLastError() != ERROR_INSUFFICIENT_BUFFER) {
        ThrowLastError(u"GetTokenInformation");
    }
    std::vector<BYTE> buffer(size);
    if (!GetTokenInformation(token.Get(), TokenUser, buffer.data(), size, &size)) {
        ThrowLastError(u"GetTokenInformation");
    }
    const auto* user = reinterpret_cast<const TOKEN_USER*>(buffer.data());
    return IsWellKnownSid(user->User.Sid, WinLocalSystemSid) != FALSE;
}

}  // namespace

StartPlace CurrentStartPlace() {
    DWORD session = 0;
    if (!ProcessIdToSessionId(GetCurrentProcessId(), &session)) {
        ThrowLastError(u"ProcessIdToSessionId");
    }
    return {.local_system = RunsAsLocalSystem(), .session_id = session};
}

void RegisterForRestart() {
    const HRESULT result = RegisterApplicationRestart(nullptr, RESTART_NO_CRASH | RESTART_NO_HANG | RESTART_NO_REBOOT);
    if (FAILED(result)) {
        throw SystemError(u"RegisterApplicationRestart", static_cast<DWORD>(result));
    }
}

}  // namespace corvanta::win32
