#include "platform/win32/win32_shell_notify.h"

#include <windows.h>

#include <shellapi.h>

#include <cstddef>
#include <cstring>

namespace corvanta::win32 {

// The record is the platform's structure up to szTip, field for field, so it goes to the shell unchanged.
static_assert(offsetof(NotifyIconData, cbSize) == offsetof(NOTIFYICONDATAA, cbSize));
static_assert(offsetof(NotifyIconData, hWnd) == offsetof(NOTIFYICONDATAA, hWnd));
static_assert(offsetof(NotifyIconData, uID) == offsetof(NOTIFYICONDATAA, uID));
static_assert(offsetof(NotifyIconData, uFlags) == offsetof(NOTIFYICONDATAA, uFlags));
static_assert(offsetof(NotifyIconData, uCallbackMessage) == offsetof(NOTIFYICONDATAA, uCallbackMessage));
static_assert(offsetof(NotifyIconData, hIcon) == offsetof(NOTIFYICONDATAA, hIcon));
static_assert(offsetof(NotifyIconData, szTip) == offsetof(NOTIFYICONDATAA, szTip));
static_assert(sizeof(NotifyIconData) == NOTIFYICONDATAA_V1_SIZE);
static_assert(sizeof(NotifyIconData::hWnd) == sizeof(HWND) && sizeof(NotifyIconData::hIcon) == sizeof(HICON));
#if !defined(_WIN64)
static_assert(sizeof(NotifyIconData) == 88, "the classic 88-byte first-version record");
#endif

bool Win32ShellNotify::NotifyIcon(uint32_t message, const NotifyIconData& data) {
    NOTIFYICONDATAA nid{};
    // Always the first-version size, even when the record's own cbSize is still zero (a modify sent before the
    // first add): the shell then finds window 0 and matches no icon, as it should.
    nid.cbSize = NOTIFYICONDATAA_V1_SIZE;
    nid.hWnd = reinterpret_cast<HWND>(data.hWnd);
    nid.uID = data.uID;
    nid.uFlags = data.uFlags;
    nid.uCallbackMessage = data.uCallbackMessage;
    nid.hIcon = reinterpret_cast<HICON>(data.hIcon);
    static_assert(sizeof(data.szTip) <= sizeof(nid.szTip));
    std::memcpy(nid.szTip, data.szTip, sizeof(data.szTip));
    return Shell_NotifyIconA(message, &nid) != FALSE;
}

}  // namespace corvanta::win32
