#pragma once

#include <windows.h>

#include "common/text.h"

namespace corvanta::win32 {

static_assert(sizeof(wchar_t) == sizeof(char16_t), "Windows wide text is UTF-16");

inline const wchar_t* Wide(const Text& text) {
    return reinterpret_cast<const wchar_t*>(text.c_str());
}
inline Text FromWide(const wchar_t* text, size_t length) {
    return Text(reinterpret_cast<const char16_t*>(text), length);
}

// The system's own text for an error code, without the trailing line break ("Access is denied.").
Text SystemMessage(DWORD code);

// "operation: system message" for the given error code.
Error SystemError(TextView operation, DWORD code);

// Throws SystemError for GetLastError(), read before anything else can overwrite it.
[[noreturn]] void ThrowLastError(TextView operation);

}  // namespace corvanta::win32
