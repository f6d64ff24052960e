#include "core/mod1_registry.h"

#include <string_view>
#include <utility>

namespace corvanta {

RegValueRead ReadRegValue(Registry& registry,
                          const AnsiCodePage& ansi,
                          RegKey root,
                          TextView key_path,
                          TextView value_name) {
    RegValueRead read;
    RegKey key = reg::kNoKey;
    if (registry.RegOpenKeyExA(root, ansi.ToAnsi(key_path), 0, reg::kKeyRead, &key) != reg::kErrorSuccess) {
        return read;
    }
    const std::string name = ansi.ToAnsi(value_name);
    uint32_t type = reg::kRegNone;
    uint32_t size = 0;
    if (registry.RegQueryValueExA(key, name, nullptr, &type, nullptr, &size) == reg::kErrorSuccess) {
        if (size > reg::kMaxValueBytes) {
            read.status = RegValueRead::Status::kTooLarge;
            read.value.type = type;
        } else {
            // Blanks, so that no byte of the buffer is ever undefined; a value grown since the size query fails
            // the call (kErrorMoreData) and reads as missing rather than cut short.
            std::string buffer(size, ' ');
            if (registry.RegQueryValueExA(key, name, nullptr, &type, buffer.data(), &size) == reg::kErrorSuccess &&
                size <= buffer.size()) {
                buffer.resize(size);
                read.status = RegValueRead::Status::kRead;
                read.value = RegValue{type, std::move(buffer)};
            }
        }
    }
    registry.RegCloseKey(key);
    return read;
}

std::optional<Text> RegText(const RegValue& value, const AnsiCodePage& ansi) {
    if (value.type != reg::kRegSz) {
        return std::nullopt;
    }
    const std::string_view data(value.data);
    return ansi.ToText(data.substr(0, data.find('\0')));
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
    const RegValueRead read = ReadRegValue(registry, ansi, root, key_path, value_name);
    if (read.status != RegValueRead::Status::kRead) {
        return Text();
    }
    return RegText(read.value, ansi).value_or(Text());
}

}  // namespace corvanta
