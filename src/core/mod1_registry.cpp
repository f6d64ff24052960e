#include "core/mod1_registry.h"

#include <string>

#include "common/identity.h"

namespace corvanta {

// These routines report nothing and examine no status code (only the data read of RegReadString decides its
// result): a key that cannot be created or opened leaves the handle 0, and the calls after it fail harmlessly.

Text AutoStartCommandPath(TextView directory, TextView exe_name_without_extension) {
    Text path = u"\"";
    path += directory;
    path += u"\\";
    path += exe_name_without_extension;
    path += u".exe\"";
    return path;
}

void RegWriteString(Registry& registry,
                    const AnsiCodePage& ansi,
                    RegKey root,
                    TextView key_path,
                    TextView value_name,
                    TextView data) {
    RegKey key = reg::kNoKey;
    registry.RegCreateKeyA(root, ansi.ToAnsi(key_path), &key);
    const std::string bytes = ansi.ToAnsi(data);
    // The size counts the terminating NUL that c_str() provides, so the stored value ends with it.
    registry.RegSetValueExA(key, ansi.ToAnsi(value_name), 0, reg::kRegSz, bytes.c_str(),
                            static_cast<uint32_t>(bytes.size() + 1));
    registry.RegCloseKey(key);
}

void RegDeleteValueOf(Registry& registry,
                      const AnsiCodePage& ansi,
                      RegKey root,
                      TextView key_path,
                      TextView value_name) {
    RegKey key = reg::kNoKey;
    registry.RegOpenKeyA(root, ansi.ToAnsi(key_path), &key);
    registry.RegDeleteValueA(key, ansi.ToAnsi(value_name));
    registry.RegCloseKey(key);
}

Text RegReadString(Registry& registry, const AnsiCodePage& ansi, RegKey root, TextView key_path, TextView value_name) {
    Text result;
    uint32_t type = reg::kRegNone;
    uint32_t size = 0;
    RegKey key = reg::kNoKey;
    registry.RegOpenKeyA(root, ansi.ToAnsi(key_path), &key);
    const std::string name = ansi.ToAnsi(value_name);
    registry.RegQueryValueExA(key, name, nullptr, &type, nullptr, &size);
    if (type == reg::kRegSz && size <= kMaxRegStringBytes) {
        // A buffer of blanks: what follows shorter data stays blank, and data without a NUL ends at the
        // buffer's end instead of running past it.
        std::string buffer(size, ' ');
        // The type is checked again: another program may have replaced the value between the two calls.
        if (registry.RegQueryValueExA(key, name, nullptr, &type, buffer.data(), &size) == reg::kErrorSuccess &&
            type == reg::kRegSz) {
            Text text = ansi.ToText(buffer);
            const size_t nul = text.find(u'\0');
            result = nul == Text::npos ? std::move(text) : text.substr(0, nul);
        }
    }
    registry.RegCloseKey(key);
    return result;
}

bool WriteAutoStartValue(Registry& registry, const AnsiCodePage& ansi, RegKey root, TextView command) {
    RegWriteString(registry, ansi, root, kRunKeyPath, kAppTitle, command);
    return RegReadString(registry, ansi, root, kRunKeyPath, kAppTitle) == ansi.ToText(ansi.ToAnsi(command));
}

}  // namespace corvanta
