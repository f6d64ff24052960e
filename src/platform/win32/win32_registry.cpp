#include "platform/win32/win32_registry.h"

namespace corvanta::win32 {

namespace {

// The predefined roots are the sign-extended 32-bit values 0x80000000..0x80000006 in every build.
constexpr uint32_t kFirstRoot = 0x80000000;
constexpr uint32_t kLastRoot = 0x80000006;

HKEY RootHkey(uint32_t value) {
    return reinterpret_cast<HKEY>(static_cast<ULONG_PTR>(static_cast<LONG_PTR>(static_cast<LONG>(value))));
}

REGSAM ViewFlag(RegistryView view) {
    switch (view) {
        case RegistryView::k64Bit:
            return KEY_WOW64_64KEY;
        case RegistryView::k32Bit:
            return KEY_WOW64_32KEY;
        default:
            return 0;
    }
}

}  // namespace

Win32Registry::Win32Registry(RegistryView view) : view_(ViewFlag(view)) {}

bool Win32Registry::Lookup(RegKey key, HKEY* hkey) const {
    const auto value = static_cast<uint32_t>(key);
    // Key 0 goes to the system as NULL, so that callers see the API's own answer to it.
    if (value == 0) {
        *hkey = nullptr;
        return true;
    }
    if (value >= kFirstRoot && value <= kLastRoot) {
        *hkey = RootHkey(value);
        return true;
    }
    const auto it = open_.find(value);
    if (it == open_.end()) {
        return false;
    }
    *hkey = it->second.Get();
    return true;
}

RegKey Win32Registry::Track(HKEY hkey) {
    for (uint32_t value = kFirstRoot; value <= kLastRoot; ++value) {
        if (RootHkey(value) == hkey) {
            return RegKey{value};
        }
    }
    // RegOpenKeyA with an empty sub-key hands back the very key it was given: same handle, same number.
    for (const auto& [id, known] : open_) {
        if (known.Get() == hkey) {
            return RegKey{id};
        }
    }
    const uint32_t id = next_++;
    if (next_ >= kFirstRoot) {
        next_ = 1;
    }
    open_.insert_or_assign(id, UniqueHkey(hkey));
    return RegKey{id};
}

template <typename Open>
long Win32Registry::OpenWith(RegKey key, RegKey* result, Open open) {
    if (result == nullptr) {
        return ERROR_INVALID_PARAMETER;
    }
    *result = reg::kNoKey;
    HKEY parent = nullptr;
    if (!Lookup(key, &parent)) {
        return ERROR_INVALID_HANDLE;
    }
    HKEY opened = nullptr;
    const LONG status = open(parent, &opened);
    if (status == ERROR_SUCCESS) {
        *result = Track(opened);
    }
    return status;
}

// RegCreateKeyA and RegOpenKeyA take no access mask to carry the view: they are made here as advapi32 makes
// them, the Ex call with MAXIMUM_ALLOWED, and RegOpenKeyA's empty sub-key handing back the key it was given.
long Win32Registry::RegCreateKeyA(RegKey key, const std::string& sub_key, RegKey* result) {
    return OpenWith(key, result, [&](HKEY parent, HKEY* opened) {
        return ::RegCreateKeyExA(parent, sub_key.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, MAXIMUM_ALLOWED | view_,
                                 nullptr, opened, nullptr);
    });
}

long Win32Registry::RegOpenKeyA(RegKey key, const std::string& sub_key, RegKey* result) {
    return OpenWith(key, result, [&](HKEY parent, HKEY* opened) {
        if (sub_key.empty() && parent != nullptr) {
            *opened = parent;
            return static_cast<LONG>(ERROR_SUCCESS);
        }
        return ::RegOpenKeyExA(parent, sub_key.c_str(), 0, MAXIMUM_ALLOWED | view_, opened);
    });
}

long Win32Registry::RegOpenKeyExA(RegKey key,
                                  const std::string& sub_key,
                                  uint32_t options,
                                  uint32_t sam_desired,
                                  RegKey* result) {
    return OpenWith(key, result, [&](HKEY parent, HKEY* opened) {
        return ::RegOpenKeyExA(parent, sub_key.c_str(), options, sam_desired | view_, opened);
    });
}

long Win32Registry::RegSetValueExA(RegKey key,
                                   const std::string& value_name,
                                   uint32_t reserved,
                                   uint32_t type,
                                   const char* data,
                                   uint32_t size) {
    HKEY hkey = nullptr;
    if (!Lookup(key, &hkey)) {
        return ERROR_INVALID_HANDLE;
    }
    return ::RegSetValueExA(hkey, value_name.c_str(), reserved, type, reinterpret_cast<const BYTE*>(data), size);
}

long Win32Registry::RegQueryValueExA(RegKey key,
                                     const std::string& value_name,
                                     uint32_t* reserved,
                                     uint32_t* type,
                                     char* data,
                                     uint32_t* size) {
    HKEY hkey = nullptr;
    if (!Lookup(key, &hkey)) {
        return ERROR_INVALID_HANDLE;
    }
    static_assert(sizeof(DWORD) == sizeof(uint32_t));
    return ::RegQueryValueExA(hkey, value_name.c_str(), reinterpret_cast<DWORD*>(reserved),
                              reinterpret_cast<DWORD*>(type), reinterpret_cast<BYTE*>(data),
                              reinterpret_cast<DWORD*>(size));
}

long Win32Registry::RegDeleteValueA(RegKey key, const std::string& value_name) {
    HKEY hkey = nullptr;
    if (!Lookup(key, &hkey)) {
        return ERROR_INVALID_HANDLE;
    }
    return ::RegDeleteValueA(hkey, value_name.c_str());
}

long Win32Registry::ListSubKeys(RegKey key, std::vector<std::string>* names) {
    if (names == nullptr) {
        return ERROR_INVALID_PARAMETER;
    }
    names->clear();
    HKEY hkey = nullptr;
    if (!Lookup(key, &hkey)) {
        return ERROR_INVALID_HANDLE;
    }
    // A key's name has at most 255 characters, up to 510 bytes in a double-byte code page.
    std::string name(512, '\0');
    std::vector<std::string> found;
    DWORD index = 0;
    for (;;) {
        auto length = static_cast<DWORD>(name.size());
        const LONG status = ::RegEnumKeyExA(hkey, index, name.data(), &length, nullptr, nullptr, nullptr, nullptr);
        if (status == ERROR_NO_MORE_ITEMS) {
            break;
        }
        if (status == ERROR_MORE_DATA && name.size() < 0x10000) {
            name.resize(name.size() * 2);
            continue;
        }
        if (status != ERROR_SUCCESS) {
            return status;
        }
        found.emplace_back(name.data(), length);
        ++index;
    }
    *names = std::move(found);
    return ERROR_SUCCESS;
}

long Win32Registry::RegCloseKey(RegKey key) {
    const auto value = static_cast<uint32_t>(key);
    if (value == 0 || (value >= kFirstRoot && value <= kLastRoot)) {
        HKEY hkey = nullptr;
        Lookup(key, &hkey);
        return ::RegCloseKey(hkey);
    }
    const auto it = open_.find(value);
    if (it == open_.end()) {
        return ERROR_INVALID_HANDLE;
    }
    const HKEY hkey = it->second.Release();
    open_.erase(it);
    return ::RegCloseKey(hkey);
}

}  // namespace corvanta::win32
