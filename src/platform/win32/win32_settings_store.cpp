#include "platform/win32/win32_settings_store.h"

#include "platform/registry.h"
#include "platform/win32/handles.h"
#include "platform/win32/win32_error.h"

namespace corvanta::win32 {

namespace {

Text KeyPath(TextView app, TextView section) {
    Text path = u"Software\\";
    path += app;
    path += u'\\';
    path += section;
    return path;
}

Text Operation(const char16_t* verb, const Text& path, TextView key) {
    Text operation(verb);
    operation += u" HKEY_CURRENT_USER\\";
    operation += path;
    operation += u'\\';
    operation += key;
    return operation;
}

}  // namespace

Text Win32SettingsStore::GetSetting(TextView app, TextView section, TextView key, TextView default_value) {
    const Text path = KeyPath(app, section);
    const Text name(key);
    // RegGetValueW guarantees the terminating NUL that a raw REG_SZ may lack; without RRF_NOEXPAND it would
    // also take a REG_EXPAND_SZ, expanded, for a REG_SZ. The size can grow between the two calls if another
    // process writes the value, hence the loop.
    Text value;
    DWORD bytes = 0;
    for (;;) {
        const LSTATUS status =
            RegGetValueW(HKEY_CURRENT_USER, Wide(path), Wide(name), RRF_RT_REG_SZ | RRF_NOEXPAND, nullptr,
                         value.empty() ? nullptr : reinterpret_cast<wchar_t*>(value.data()), &bytes);
        if (status == ERROR_FILE_NOT_FOUND || status == ERROR_UNSUPPORTED_TYPE) {
            return Text(default_value);
        }
        if (status == ERROR_SUCCESS && !value.empty()) {
            break;
        }
        if (status != ERROR_SUCCESS && status != ERROR_MORE_DATA) {
            throw SystemError(Operation(u"Reading", path, key), static_cast<DWORD>(status));
        }
        // Over the limit every value the program reads is held to: not a setting anyone meant.
        if (bytes > reg::kMaxValueBytes) {
            return Text(default_value);
        }
        value.assign(bytes / sizeof(wchar_t) + 1, u'\0');
        bytes = static_cast<DWORD>(value.size() * sizeof(wchar_t));
    }
    value.resize(value.find(u'\0'));
    return value;
}

void Win32SettingsStore::SaveSetting(TextView app, TextView section, TextView key, TextView value) {
    const Text path = KeyPath(app, section);
    const Text name(key);
    const Text data(value);
    UniqueHkey hkey;
    LSTATUS status = RegCreateKeyExW(HKEY_CURRENT_USER, Wide(path), 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_SET_VALUE,
                                     nullptr, hkey.Receive(), nullptr);
    if (status != ERROR_SUCCESS) {
        throw SystemError(Operation(u"Writing", path, key), static_cast<DWORD>(status));
    }
    const auto size = static_cast<DWORD>((data.size() + 1) * sizeof(wchar_t));
    status = RegSetValueExW(hkey.Get(), Wide(name), 0, REG_SZ, reinterpret_cast<const BYTE*>(data.c_str()), size);
    if (status != ERROR_SUCCESS) {
        throw SystemError(Operation(u"Writing", path, key), static_cast<DWORD>(status));
    }
}

}  // namespace corvanta::win32
