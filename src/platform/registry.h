#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace corvanta {

// An open registry key as the registry service hands it out. 0 is "no key"; the predefined roots have their
// fixed values. Any other value is only meaningful to the Registry that returned it.
enum class RegKey : uint32_t {};

namespace reg {
inline constexpr RegKey kNoKey{0};
inline constexpr RegKey kHkeyCurrentUser{0x80000001};
inline constexpr RegKey kHkeyLocalMachine{0x80000002};
// Every loaded user hive, one sub-key per user (named by the account's SID); HKEY_CURRENT_USER is one of them.
inline constexpr RegKey kHkeyUsers{0x80000003};

inline constexpr long kErrorSuccess = 0;
inline constexpr long kErrorFileNotFound = 2;
inline constexpr long kErrorAccessDenied = 5;
inline constexpr long kErrorInvalidHandle = 6;
inline constexpr long kErrorInvalidParameter = 87;
inline constexpr long kErrorMoreData = 234;
inline constexpr long kErrorNoMoreItems = 259;

inline constexpr uint32_t kRegNone = 0;
inline constexpr uint32_t kRegSz = 1;
inline constexpr uint32_t kRegExpandSz = 2;
inline constexpr uint32_t kRegBinary = 3;
inline constexpr uint32_t kRegDword = 4;
inline constexpr uint32_t kRegMultiSz = 7;

// The most data any value of this program is read with; a larger value is not one it wrote or anyone meant for it,
// and reads as absent (or is refused, where a message names refused values). The longest command line Windows
// starts, 32767 characters of up to two bytes in a double-byte code page, fits with its NUL.
inline constexpr uint32_t kMaxValueBytes = 64 * 1024;

// KEY_READ: values and sub-keys may be read, nothing changed. A key opened for reading only is one a user
// without administrator rights may open under HKEY_LOCAL_MACHINE.
inline constexpr uint32_t kKeyRead = 0x20019;

// Access rights that let a key's values or sub-keys be changed (KEY_SET_VALUE, KEY_CREATE_SUB_KEY,
// KEY_CREATE_LINK, DELETE, WRITE_DAC, WRITE_OWNER).
inline constexpr uint32_t kWriteRights = 0x00000002 | 0x00000004 | 0x00000020 | 0x00010000 | 0x00040000 | 0x00080000;
}  // namespace reg

// The registry through its ANSI entry points (advapi32), argument for argument. Names and data are bytes in
// the system ANSI code page; results are the API's own status codes, which callers may ignore as the API lets
// them. A key obtained from RegCreateKeyA/RegOpenKeyA/RegOpenKeyExA is released with RegCloseKey.
class Registry {
  public:
    virtual ~Registry() = default;

    // Opens sub_key below key, creating the missing keys on the way, with all access.
    virtual long RegCreateKeyA(RegKey key, const std::string& sub_key, RegKey* result) = 0;

    // Opens an existing sub_key with the most access the caller is allowed.
    virtual long RegOpenKeyA(RegKey key, const std::string& sub_key, RegKey* result) = 0;

    // Opens an existing sub_key with the access rights asked for; refused rights fail the call.
    virtual long RegOpenKeyExA(RegKey key,
                               const std::string& sub_key,
                               uint32_t options,
                               uint32_t sam_desired,
                               RegKey* result) = 0;

    // Stores size bytes of data as the value's whole content; strings are stored as given (the caller counts
    // a terminating NUL into size or leaves it out).
    virtual long RegSetValueExA(RegKey key,
                                const std::string& value_name,
                                uint32_t reserved,
                                uint32_t type,
                                const char* data,
                                uint32_t size) = 0;

    // type and size may be null. With a null data buffer only the type and the size in bytes are reported;
    // with a buffer of *size bytes that is too small the result is kErrorMoreData and *size the size needed.
    // reserved must be null.
    virtual long RegQueryValueExA(RegKey key,
                                  const std::string& value_name,
                                  uint32_t* reserved,
                                  uint32_t* type,
                                  char* data,
                                  uint32_t* size) = 0;

    virtual long RegDeleteValueA(RegKey key, const std::string& value_name) = 0;

    // The names of key's direct sub-keys (not deeper ones), in the order the registry lists them. names is
    // replaced, empty on failure.
    virtual long ListSubKeys(RegKey key, std::vector<std::string>* names) = 0;

    virtual long RegCloseKey(RegKey key) = 0;
};

}  // namespace corvanta
