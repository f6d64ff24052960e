#include "platform/win32/win32_shell_notify.h"

#include <windows.h>

#include <shellapi.h>

#include <algorithm>
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

namespace {

// As much of the text as the field holds, and a NUL.
template <size_t Size>
void CopyCut(TextView text, wchar_t (&field)[Size]) {
    const size_t units = std::min(text.size(), Size - 1);
    std::memcpy(field, text.data(), units * sizeof(wchar_t));
    field[units] = L'\0';
}

static_assert(sizeof(NOTIFYICONDATAW::szInfoTitle) == (notify::kBalloonTitleUnits + 1) * sizeof(wchar_t));
static_assert(sizeof(NOTIFYICONDATAW::szInfo) == (notify::kBalloonTextUnits + 1) * sizeof(wchar_t));

}  // namespace

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

bool Win32ShellNotify::ShowBalloon(const Balloon& balloon) {
    NOTIFYICONDATAW nid{};
    nid.cbSize = sizeof(nid);
    nid.hWnd = reinterpret_cast<HWND>(balloon.hWnd);
    nid.uID = balloon.uID;
    // Only the balloon: the icon, the tip and the callback message that the ANSI add set stay as they are.
    nid.uFlags = NIF_INFO;
    CopyCut(balloon.title, nid.szInfoTitle);
    CopyCut(balloon.text, nid.szInfo);
    nid.dwInfoFlags = balloon.icon == BalloonIcon::kWarning ? NIIF_WARNING : NIIF_INFO;
    return Shell_NotifyIconW(NIM_MODIFY, &nid) != FALSE;
}

}  // namespace corvanta::win32
