#include "platform/win32/win32_clipboard.h"

#include <cstring>

#include "platform/win32/handles.h"
#include "platform/win32/win32_error.h"

namespace corvanta::win32 {

namespace {

// Another program (a clipboard viewer, a remote-desktop client) may hold the clipboard open for a moment: a few
// tries, a few milliseconds apart, before the user is told.
constexpr int kOpenTries = 5;
constexpr DWORD kOpenPauseMs = 10;

class OpenClipboardScope {
  public:
    explicit OpenClipboardScope(HWND owner) {
        for (int attempt = 0; attempt < kOpenTries; ++attempt) {
            if (OpenClipboard(owner)) {
                return;
            }
            if (attempt + 1 < kOpenTries) {
                Sleep(kOpenPauseMs);
            }
        }
        ThrowLastError(u"Opening the clipboard");
    }
    OpenClipboardScope(const OpenClipboardScope&) = delete;
    OpenClipboardScope& operator=(const OpenClipboardScope&) = delete;
    // Closing fails only when it was not open; there is nothing else to do about it.
    ~OpenClipboardScope() { CloseClipboard(); }
};

// Locks global memory for as long as the scope lasts.
class LockedGlobal {
  public:
    explicit LockedGlobal(HGLOBAL memory) : memory_(memory), data_(GlobalLock(memory)) {}
    LockedGlobal(const LockedGlobal&) = delete;
    LockedGlobal& operator=(const LockedGlobal&) = delete;
    ~LockedGlobal() {
        if (data_ != nullptr) {
            GlobalUnlock(memory_);
        }
    }
    void* Data() const { return data_; }

  private:
    HGLOBAL memory_;
    void* data_;
};

}  // namespace

void Win32Clipboard::SetText(TextView text) {
    const size_t bytes = (text.size() + 1) * sizeof(wchar_t);
    UniqueGlobal memory(GlobalAlloc(GMEM_MOVEABLE, bytes));
    if (!memory.Valid()) {
        ThrowLastError(u"Copying to the clipboard");
    }
    {
        const LockedGlobal locked(memory.Get());
        if (locked.Data() == nullptr) {
            ThrowLastError(u"Copying to the clipboard");
        }
        std::memcpy(locked.Data(), text.data(), text.size() * sizeof(wchar_t));
        static_cast<wchar_t*>(locked.Data())[text.size()] = L'\0';
    }
    const OpenClipboardScope open(owner_);
    if (!EmptyClipboard()) {
        ThrowLastError(u"Emptying the clipboard");
    }
    if (SetClipboardData(CF_UNICODETEXT, memory.Get()) == nullptr) {
        ThrowLastError(u"Copying to the clipboard");
    }
    // The system owns the memory now.
    static_cast<void>(memory.Release());
}

Text Win32Clipboard::GetText() const {
    const OpenClipboardScope open(owner_);
    HANDLE data = GetClipboardData(CF_UNICODETEXT);
    if (data == nullptr) {
        return {};
    }
    const LockedGlobal locked(data);
    if (locked.Data() == nullptr) {
        ThrowLastError(u"Reading the clipboard");
    }
    // The text ends at its NUL, or at the end of the memory when a program put it there without one.
    const auto* text = static_cast<const wchar_t*>(locked.Data());
    const size_t capacity = GlobalSize(data) / sizeof(wchar_t);
    size_t length = 0;
    while (length < capacity && text[length] != L'\0') {
        ++length;
    }
    return FromWide(text, length);
}

}  // namespace corvanta::win32
