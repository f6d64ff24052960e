#include "platform/win32/win32_focus_window.h"

#include <iterator>
#include <optional>
#include <vector>

#include "platform/win32/handles.h"
#include "platform/win32/win32_error.h"

namespace corvanta::win32 {
namespace {

// The RID of the token's mandatory label (0x2000 medium, 0x3000 high, 0x4000 system); none, with the reason in
// GetLastError, when it cannot be read.
std::optional<DWORD> IntegrityLevel(HANDLE token) {
    DWORD size = 0;
    GetTokenInformation(token, TokenIntegrityLevel, nullptr, 0, &size);
    if (size == 0) {
        return std::nullopt;
    }
    std::vector<unsigned char> buffer(size);
    if (!GetTokenInformation(token, TokenIntegrityLevel, buffer.data(), size, &size)) {
        return std::nullopt;
    }
    const PSID sid = reinterpret_cast<const TOKEN_MANDATORY_LABEL*>(buffer.data())->Label.Sid;
    const UCHAR count = *GetSidSubAuthorityCount(sid);
    if (count == 0) {
        SetLastError(ERROR_INVALID_SID);
        return std::nullopt;
    }
    return *GetSidSubAuthority(sid, count - 1u);
}

}  // namespace

HWND KeyboardTarget() {
    const HWND foreground = GetForegroundWindow();
    if (foreground == nullptr) {
        return nullptr;
    }
    GUITHREADINFO info{};
    info.cbSize = sizeof(info);
    if (GetGUIThreadInfo(GetWindowThreadProcessId(foreground, nullptr), &info) && info.hwndFocus != nullptr) {
        return info.hwndFocus;
    }
    return foreground;
}

Win32FocusWindow::Win32FocusWindow() {
    HANDLE token = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) {
        ThrowLastError(u"OpenProcessToken");
    }
    const UniqueHandle owner(token);
    const std::optional<DWORD> level = IntegrityLevel(token);
    if (!level) {
        ThrowLastError(u"GetTokenInformation(TokenIntegrityLevel)");
    }
    own_integrity_ = *level;
}

// While the tray menu is tracked the foreground is the program's hidden window, so asking for the foreground
// window's process covers the menu as well as the dialogs, the Monitor and message boxes.
bool Win32FocusWindow::IsOwnWindow() const {
    const HWND foreground = GetForegroundWindow();
    DWORD process = 0;
    return foreground != nullptr && GetWindowThreadProcessId(foreground, &process) != 0 &&
           process == GetCurrentProcessId();
}

// A process of higher integrity refuses a lower one even the query of its token: access denied means higher. Any
// other failure (the process has just ended) says no: the keys are tried, and a refusal still shows in their
// count.
bool Win32FocusWindow::ElevatedAboveUs() const {
    const HWND target = KeyboardTarget();
    DWORD process_id = 0;
    if (target != nullptr) {
        GetWindowThreadProcessId(target, &process_id);
    }
    if (process_id == 0 || process_id == GetCurrentProcessId()) {
        return false;
    }
    const UniqueHandle process(OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, process_id));
    if (!process.Valid()) {
        return GetLastError() == ERROR_ACCESS_DENIED;
    }
    HANDLE token = nullptr;
    if (!OpenProcessToken(process.Get(), TOKEN_QUERY, &token)) {
        return GetLastError() == ERROR_ACCESS_DENIED;
    }
    const UniqueHandle token_owner(token);
    const std::optional<DWORD> level = IntegrityLevel(token);
    return level && *level > own_integrity_;
}

// The caption of the foreground window, not the text of the control with the focus in it. GetWindowTextW reads
// another process's caption without sending it a message, so a hung program cannot block the caller.
Text Win32FocusWindow::Description() const {
    const HWND foreground = GetForegroundWindow();
    if (foreground == nullptr) {
        return {};
    }
    // Enough for a message; a longer title is cut.
    wchar_t title[256] = {};
    const int length = GetWindowTextW(foreground, title, static_cast<int>(std::size(title)));
    return FromWide(title, static_cast<size_t>(length > 0 ? length : 0));
}

}  // namespace corvanta::win32
