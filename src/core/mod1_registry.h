#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "common/text.h"
#include "platform/ansi_code_page.h"
#include "platform/registry.h"

namespace corvanta {

// A value as stored: its type and its bytes, as the ANSI API gives them.
struct RegValue {
    uint32_t type = reg::kRegNone;
    std::string data;
    bool operator==(const RegValue&) const = default;
};

// What reading one value found.
struct RegValueRead {
    enum class Status : uint8_t {
        kRead,      // value holds what was read (no data at all included)
        kMissing,   // no such key or value, or it could not be read whole (changed size while it was read)
        kTooLarge,  // more than reg::kMaxValueBytes: value.type is its type, value.data empty
    };
    Status status = Status::kMissing;
    RegValue value;
};

// The one way values are read. The key is opened for reading only (a user without administrator rights may read
// HKEY_LOCAL_MACHINE); the size is asked first, then the data is read into a buffer of that size, filled with
// blanks. The type and size are those of the second call: another program may change the value in between.
RegValueRead ReadRegValue(Registry& registry,
                          const AnsiCodePage& ansi,
                          RegKey root,
                          TextView key_path,
                          TextView value_name);

// The text of a REG_SZ value up to its first NUL, all of it when there is none; nullopt for any other type
// (REG_EXPAND_SZ included). Cut as bytes, before conversion, so that a double-byte character cannot hide the NUL.
std::optional<Text> RegText(const RegValue& value, const AnsiCodePage& ansi);

// Creates the key when missing and stores data as a NUL-terminated REG_SZ value. This and RegDeleteValueOf
// report nothing (see AutoStartService): a key that cannot be created or opened leaves the handle 0, and the
// calls after it fail harmlessly.
void RegWriteString(Registry& registry,
                    const AnsiCodePage& ansi,
                    RegKey root,
                    TextView key_path,
                    TextView value_name,
                    TextView data);

void RegDeleteValueOf(Registry& registry,
                      const AnsiCodePage& ansi,
                      RegKey root,
                      TextView key_path,
                      TextView value_name);

// The text of a REG_SZ value (RegText); empty when the value is missing, of another type, too large or
// unreadable.
Text RegReadString(Registry& registry, const AnsiCodePage& ansi, RegKey root, TextView key_path, TextView value_name);

}  // namespace corvanta
