#pragma once

#include <windows.h>

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "platform/registry.h"
#include "platform/win32/handles.h"

namespace corvanta::win32 {

// Which view of HKEY_LOCAL_MACHINE\Software a Win32Registry sees on 64-bit Windows, where a 32-bit program's own
// view is WOW6432Node. 32-bit Windows has one view, and ignores the choice.
enum class RegistryView {
    kOwn,    // the program's own
    k64Bit,  // the native one, as 64-bit programs see it (KEY_WOW64_64KEY)
    k32Bit,  // the one of 32-bit programs (KEY_WOW64_32KEY)
};

// The registry's ANSI entry points, passed straight through, in one view. Keys it opens are handed out as small
// numbers mapped to their HKEY (an HKEY is a pointer in 64-bit builds); a key a caller forgets to close is closed
// when this object goes. Used from one thread.
class Win32Registry : public Registry {
  public:
    explicit Win32Registry(RegistryView view = RegistryView::kOwn);
    Win32Registry(const Win32Registry&) = delete;
    Win32Registry& operator=(const Win32Registry&) = delete;
    ~Win32Registry() override = default;

    long RegCreateKeyA(RegKey key, const std::string& sub_key, RegKey* result) override;
    long RegOpenKeyA(RegKey key, const std::string& sub_key, RegKey* result) override;
    long RegOpenKeyExA(RegKey key,
                       const std::string& sub_key,
                       uint32_t options,
                       uint32_t sam_desired,
                       RegKey* result) override;
    long RegSetValueExA(RegKey key,
                        const std::string& value_name,
                        uint32_t reserved,
                        uint32_t type,
                        const char* data,
                        uint32_t size) override;
    long RegQueryValueExA(RegKey key,
                          const std::string& value_name,
                          uint32_t* reserved,
                          uint32_t* type,
                          char* data,
                          uint32_t* size) override;
    long RegDeleteValueA(RegKey key, const std::string& value_name) override;
    long ListSubKeys(RegKey key, std::vector<std::string>* names) override;
    long RegCloseKey(RegKey key) override;

  private:
    // The HKEY behind a key, or false for a key this object did not hand out or has closed.
    bool Lookup(RegKey key, HKEY* hkey) const;
    // The key number for an HKEY a call returned.
    RegKey Track(HKEY hkey);
    // Runs one of the opening calls and hands out the key it opened; 0 when it fails.
    template <typename Open>
    long OpenWith(RegKey key, RegKey* result, Open open);

    // Added to the access every key is opened with.
    REGSAM view_;
    std::map<uint32_t, UniqueHkey> open_;
    uint32_t next_ = 1;
};

}  // namespace corvanta::win32
