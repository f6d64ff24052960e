#include "platform/win32/win32_registry_watch.h"

#include <utility>

#include "platform/win32/win32_error.h"

namespace corvanta::win32 {

namespace {

constexpr wchar_t kClassName[] = L"CorvantaRegistryWatch";
constexpr UINT kChanged = WM_APP + 1;
constexpr UINT kFailed = WM_APP + 2;  // wParam: the error code

// A predefined root as Windows spells it: sign-extended in 64-bit builds.
HKEY RootKey(RegKey root) {
    return reinterpret_cast<HKEY>(static_cast<ULONG_PTR>(static_cast<LONG_PTR>(static_cast<LONG>(root))));
}

// The key itself when it exists, else its nearest existing parent (the root at worst).
LONG OpenNearest(const RegKeyPath& key, UniqueHkey& opened) {
    Text path = key.path;
    for (;;) {
        const LONG result = RegOpenKeyExW(RootKey(key.root), Wide(path), 0, KEY_NOTIFY, opened.Receive());
        if (result != ERROR_FILE_NOT_FOUND || path.empty()) {
            return result;
        }
        const size_t slash = path.rfind(u'\\');
        path.resize(slash == Text::npos ? 0 : slash);
    }
}

// Sub-keys included: the key may be created below the parent that is watched in its place.
LONG Arm(const RegKeyPath& key, UniqueHkey& opened, HANDLE event) {
    LONG result = OpenNearest(key, opened);
    if (result == ERROR_SUCCESS) {
        result = RegNotifyChangeKeyValue(opened.Get(), TRUE, REG_NOTIFY_CHANGE_NAME | REG_NOTIFY_CHANGE_LAST_SET, event,
                                         TRUE);
    }
    return result;
}

}  // namespace

Win32RegistryWatch::Win32RegistryWatch() {
    window_.Reset(CreateMessageOnlyWindow(*this, kClassName, u"Creating the registry watch's window"));
    stop_.Reset(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    armed_.Reset(CreateEventW(nullptr, FALSE, FALSE, nullptr));
    if (!stop_.Valid() || !armed_.Valid()) {
        ThrowLastError(u"CreateEvent");
    }
}

Win32RegistryWatch::~Win32RegistryWatch() {
    StopThread();
    SetWindowLongPtrW(window_.Get(), GWLP_USERDATA, 0);
}

void Win32RegistryWatch::StopThread() {
    if (thread_.joinable()) {
        SetEvent(stop_.Get());
        thread_.join();
        ResetEvent(stop_.Get());
    }
}

void Win32RegistryWatch::Watch(std::vector<RegKeyPath> keys, std::function<void()> on_change) {
    StopThread();
    on_change_ = std::move(on_change);
    thread_ = std::thread([this, keys = std::move(keys)]() mutable { Run(std::move(keys)); });
    // A change made right after Watch returns must not slip in before the notifications are armed.
    WaitForSingleObject(armed_.Get(), INFINITE);
}

void Win32RegistryWatch::Run(std::vector<RegKeyPath> keys) {
    std::vector<UniqueHkey> opened(keys.size());
    std::vector<UniqueHandle> events;
    std::vector<HANDLE> waited{stop_.Get()};
    const auto fail = [this](LONG code) {
        PostMessageW(window_.Get(), kFailed, static_cast<WPARAM>(code), 0);
        SetEvent(armed_.Get());
    };
    for (size_t i = 0; i < keys.size(); ++i) {
        events.emplace_back(CreateEventW(nullptr, FALSE, FALSE, nullptr));
        if (!events.back().Valid()) {
            return fail(static_cast<LONG>(GetLastError()));
        }
        waited.push_back(events.back().Get());
        if (const LONG result = Arm(keys[i], opened[i], events[i].Get()); result != ERROR_SUCCESS) {
            return fail(result);
        }
    }
    SetEvent(armed_.Get());
    for (;;) {
        const DWORD woke = WaitForMultipleObjects(static_cast<DWORD>(waited.size()), waited.data(), FALSE, INFINITE);
        if (woke == WAIT_OBJECT_0) {
            return;
        }
        const size_t index = woke - WAIT_OBJECT_0 - 1;
        if (woke == WAIT_FAILED || index >= keys.size()) {
            return fail(static_cast<LONG>(GetLastError()));
        }
        // A notification fires once: armed again, on the key itself if it has been created meanwhile.
        if (const LONG result = Arm(keys[index], opened[index], events[index].Get()); result != ERROR_SUCCESS) {
            return fail(result);
        }
        if (!change_posted_.exchange(true)) {
            PostMessageW(window_.Get(), kChanged, 0, 0);
        }
    }
}

LRESULT Win32RegistryWatch::HandleMessage(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
    if (message == kChanged) {
        change_posted_ = false;
        if (on_change_) {
            on_change_();
        }
        return 0;
    }
    if (message == kFailed) {
        // Settings changed from now on take effect at the next start; the relay itself carries on.
        throw SystemError(u"Watching the output settings (RegNotifyChangeKeyValue)", static_cast<DWORD>(wparam));
    }
    return DefWindowProcW(hwnd, message, wparam, lparam);
}

}  // namespace corvanta::win32
