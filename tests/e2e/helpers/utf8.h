#pragma once

#include <windows.h>

#include <string>

// The helpers answer in UTF-8 whatever Wine's ANSI code page is, so a test compares exact characters.
inline std::string ToUtf8(const std::wstring& text) {
    if (text.empty()) {
        return {};
    }
    int size =
        WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
    std::string bytes(static_cast<size_t>(size), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), bytes.data(), size, nullptr, nullptr);
    return bytes;
}
