#include "platform/win32/win32_form_host.h"

#include <memory>
#include <vector>

#include "common/identity.h"
#include "platform/win32/win32_error.h"

namespace corvanta::win32 {

namespace {

constexpr wchar_t kClassName[] = L"CorvantaMainForm";

}  // namespace

PictureRef LoadSharedIcon(HINSTANCE instance, int id, int size, TextView operation) {
    const UINT flags = LR_SHARED | (size == 0 ? LR_DEFAULTSIZE : 0);
    HANDLE icon = LoadImageW(instance, MAKEINTRESOURCEW(id), IMAGE_ICON, size, size, flags);
    if (icon == nullptr) {
        ThrowLastError(operation);
    }
    return std::make_shared<IconPicture>(static_cast<HICON>(icon));
}

void SetWindowIcons(HWND window, const PictureRef& icon) {
    const auto handle = icon ? static_cast<LPARAM>(icon->Handle()) : 0;
    SendMessageW(window, WM_SETICON, ICON_SMALL, handle);
    SendMessageW(window, WM_SETICON, ICON_BIG, handle);
}

bool CloseRunningForms(DWORD timeout_ms) {
    // The processes are opened before they are asked: once asked, a form and its process may go at any moment.
    std::vector<UniqueHandle> asked;
    for (HWND form = FindWindowExW(nullptr, nullptr, kClassName, nullptr); form != nullptr;
         form = FindWindowExW(nullptr, form, kClassName, nullptr)) {
        DWORD process_id = 0;
        if (GetWindowThreadProcessId(form, &process_id) == 0 || process_id == GetCurrentProcessId()) {
            continue;
        }
        UniqueHandle process(OpenProcess(SYNCHRONIZE, FALSE, process_id));
        if (process.Valid()) {
            asked.push_back(std::move(process));
        }
    }
    for (HWND form = FindWindowExW(nullptr, nullptr, kClassName, nullptr); form != nullptr;
         form = FindWindowExW(nullptr, form, kClassName, nullptr)) {
        // Posted, not sent: a form busy in a modal dialog must not hold up the installer that asked.
        PostMessageW(form, WM_CLOSE, 0, 0);
    }
    const ULONGLONG deadline = GetTickCount64() + timeout_ms;
    bool all_ended = true;
    for (const UniqueHandle& process : asked) {
        const ULONGLONG now = GetTickCount64();
        const auto left = static_cast<DWORD>(now < deadline ? deadline - now : 0);
        all_ended = WaitForSingleObject(process.Get(), left) == WAIT_OBJECT_0 && all_ended;
    }
    return all_ended;
}

Win32FormHost::Win32FormHost(HINSTANCE instance) : instance_(instance) {
    RegisterWindowClass(instance_, kClassName, &RoutingWindowProc<Win32FormHost>);
    const Text caption(kAppTitle);
    // WS_EX_TOOLWINDOW keeps the form off the taskbar and Alt+Tab should anything ever show it.
    HWND hwnd = CreateWindowExW(WS_EX_TOOLWINDOW, kClassName, Wide(caption), WS_OVERLAPPEDWINDOW, CW_USEDEFAULT,
                                CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, nullptr, nullptr, instance_, this);
    if (hwnd == nullptr) {
        ThrowLastError(u"Creating the main window");
    }
    window_.Reset(hwnd);
}

Win32FormHost::~Win32FormHost() {
    if (window_.Get() != nullptr) {
        SetWindowLongPtrW(window_.Get(), GWLP_USERDATA, 0);
    }
}

PictureRef Win32FormHost::LoadResIcon(int id) {
    return LoadSharedIcon(instance_, id, 16, u"Loading the program's icon");
}

void Win32FormHost::SetIcon(PictureRef icon) {
    icon_ = std::move(icon);
    SetWindowIcons(window_.Get(), icon_);
}

void Win32FormHost::Hide() {
    // The return value is the previous visibility, not a status.
    ShowWindow(window_.Get(), SW_HIDE);
}

int Win32FormHost::MsgBox(TextView prompt, uint32_t style, TextView title) {
    const Text text(prompt);
    const Text caption(title);
    // No owner: the form is hidden, and a box owned by a hidden window gets no taskbar button, so it could be
    // lost behind other windows for good. MB_SETFOREGROUND brings it to the front when it opens (a program
    // started at logon is otherwise easily covered); MB_TOPMOST is not used, since it would keep covering the
    // user's work after they have switched away.
    const int result = MessageBoxW(nullptr, Wide(text), Wide(caption), style | MB_SETFOREGROUND);
    if (result == 0) {
        ThrowLastError(u"MessageBoxW");
    }
    return result;
}

void Win32FormHost::UnloadNow() {
    if (unloaded_) {
        return;
    }
    int16_t cancel = 0;
    if (OnUnload) {
        OnUnload(cancel);
    }
    if (cancel == 0) {
        unloaded_ = true;
        PostQuitMessage(0);
    }
}

int Win32FormHost::RunMessageLoop() {
    MSG msg;
    for (;;) {
        const BOOL got = GetMessageW(&msg, nullptr, 0, 0);
        if (got == 0) {
            return static_cast<int>(msg.wParam);
        }
        if (got == -1) {
            ThrowLastError(u"GetMessageW");
        }
        if (!HandleDialogKeys(msg)) {
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
    }
}

LRESULT Win32FormHost::HandleMessage(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
    switch (message) {
        case WM_CLOSE:
            UnloadNow();
            return 0;
        case WM_QUERYENDSESSION:
            // Nothing to save: agree at once, also to the Restart Manager's ENDSESSION_CLOSEAPP, and end in
            // WM_ENDSESSION as the system expects.
            return TRUE;
        case WM_ENDSESSION:
            // The process may be ended as soon as this returns: unload now, so the port is closed and the icon
            // removed.
            if (wparam != FALSE) {
                UnloadNow();
            }
            return 0;
        default:
            return DefWindowProcW(hwnd, message, wparam, lparam);
    }
}

}  // namespace corvanta::win32
