#include "fakes/fake_registry.h"

#include <algorithm>
#include <cstring>

namespace corvanta {

namespace {

char Fold(char c) {
    return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}

// The API takes NUL-terminated names: anything after an embedded NUL is not part of the name.
std::string NameOf(const std::string& name) {
    return name.substr(0, name.find('\0'));
}

bool IsString(uint32_t type) {
    return type == reg::kRegSz || type == reg::kRegExpandSz || type == reg::kRegMultiSz;
}

}  // namespace

bool FakeRegistry::CaseLess::operator()(const std::string& a, const std::string& b) const {
    return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(),
                                        [](char x, char y) { return Fold(x) < Fold(y); });
}

std::optional<FakeRegistry::Handle> FakeRegistry::Resolve(RegKey key) const {
    auto* self = const_cast<FakeRegistry*>(this);
    if (key == reg::kHkeyCurrentUser) {
        return Handle{&self->current_user_, false, !refuse_user_writes};
    }
    if (key == reg::kHkeyLocalMachine) {
        return Handle{&self->local_machine_, true, !refuse_machine_writes};
    }
    if (key == reg::kHkeyUsers) {
        return Handle{&self->users_, true, !refuse_machine_writes};
    }
    const auto it = handles_.find(static_cast<uint32_t>(key));
    if (it == handles_.end()) {
        return std::nullopt;
    }
    return it->second;
}

FakeRegistry::Node* FakeRegistry::Walk(Node* node, const std::string& path, bool create) {
    const std::string full = NameOf(path);
    size_t begin = 0;
    while (node != nullptr && begin < full.size()) {
        size_t end = full.find('\\', begin);
        if (end == std::string::npos) {
            end = full.size();
        }
        const std::string part = full.substr(begin, end - begin);
        begin = end + 1;
        if (part.empty()) {
            continue;
        }
        auto it = node->children.find(part);
        if (it == node->children.end()) {
            if (!create) {
                return nullptr;
            }
            it = node->children.emplace(part, std::make_unique<Node>()).first;
        }
        node = it->second.get();
    }
    return node;
}

long FakeRegistry::Open(RegKey key, const std::string& sub_key, bool create, bool want_write, RegKey* result) {
    if (result == nullptr) {
        return reg::kErrorInvalidParameter;
    }
    *result = reg::kNoKey;
    const auto parent = Resolve(key);
    if (!parent) {
        return reg::kErrorInvalidHandle;
    }
    const bool writable = !(parent->admin_only ? refuse_machine_writes : refuse_user_writes);
    if (want_write && !writable) {
        return reg::kErrorAccessDenied;
    }
    // Like RegCreateKeyA, creating asks for the most access allowed: an existing key opens read-only
    // without rights, a missing one cannot be made.
    Node* node = Walk(parent->node, sub_key, false);
    if (node == nullptr && create) {
        if (!writable) {
            return reg::kErrorAccessDenied;
        }
        node = Walk(parent->node, sub_key, true);
    }
    if (node == nullptr) {
        return reg::kErrorFileNotFound;
    }
    const uint32_t id = next_;
    next_ += 4;
    handles_[id] = Handle{node, parent->admin_only, writable};
    *result = RegKey{id};
    return reg::kErrorSuccess;
}

long FakeRegistry::RegCreateKeyA(RegKey key, const std::string& sub_key, RegKey* result) {
    return Open(key, sub_key, true, false, result);
}

long FakeRegistry::RegOpenKeyA(RegKey key, const std::string& sub_key, RegKey* result) {
    return Open(key, sub_key, false, false, result);
}

long FakeRegistry::RegOpenKeyExA(RegKey key,
                                 const std::string& sub_key,
                                 uint32_t /*options*/,
                                 uint32_t sam_desired,
                                 RegKey* result) {
    return Open(key, sub_key, false, (sam_desired & reg::kWriteRights) != 0, result);
}

long FakeRegistry::RegSetValueExA(RegKey key,
                                  const std::string& value_name,
                                  uint32_t reserved,
                                  uint32_t type,
                                  const char* data,
                                  uint32_t size) {
    const auto handle = Resolve(key);
    if (!handle) {
        return reg::kErrorInvalidHandle;
    }
    if (reserved != 0 || (data == nullptr && size != 0)) {
        return reg::kErrorInvalidParameter;
    }
    if (!handle->writable) {
        return reg::kErrorAccessDenied;
    }
    // Windows NT counts a string's terminating NUL that the caller left out of size: it reads the byte after.
    if (IsString(type) && size != 0 && data[size - 1] != '\0' && data[size] == '\0') {
        ++size;
    }
    handle->node->values[NameOf(value_name)] = Value{type, std::string(data == nullptr ? "" : data, size)};
    return reg::kErrorSuccess;
}

long FakeRegistry::RegQueryValueExA(RegKey key,
                                    const std::string& value_name,
                                    uint32_t* reserved,
                                    uint32_t* type,
                                    char* data,
                                    uint32_t* size) {
    const auto handle = Resolve(key);
    if (!handle) {
        return reg::kErrorInvalidHandle;
    }
    if (reserved != nullptr || (data != nullptr && size == nullptr)) {
        return reg::kErrorInvalidParameter;
    }
    const auto it = handle->node->values.find(NameOf(value_name));
    if (it == handle->node->values.end()) {
        return reg::kErrorFileNotFound;
    }
    const Value& value = it->second;
    const auto needed = static_cast<uint32_t>(value.data.size());
    if (type != nullptr) {
        *type = value.type;
    }
    if (data == nullptr) {
        if (size != nullptr) {
            *size = needed;
        }
        return reg::kErrorSuccess;
    }
    const uint32_t capacity = *size;
    *size = needed;
    if (capacity < needed) {
        return reg::kErrorMoreData;
    }
    if (needed != 0) {
        std::memcpy(data, value.data.data(), needed);
    }
    // Windows NT terminates string data that lacks its NUL when the buffer has room for one (not counted).
    if (IsString(value.type) && needed != 0 && capacity > needed && value.data.back() != '\0') {
        data[needed] = '\0';
    }
    return reg::kErrorSuccess;
}

long FakeRegistry::RegDeleteValueA(RegKey key, const std::string& value_name) {
    const auto handle = Resolve(key);
    if (!handle) {
        return reg::kErrorInvalidHandle;
    }
    if (!handle->writable) {
        return reg::kErrorAccessDenied;
    }
    return handle->node->values.erase(NameOf(value_name)) != 0 ? reg::kErrorSuccess : reg::kErrorFileNotFound;
}

long FakeRegistry::ListSubKeys(RegKey key, std::vector<std::string>* names) {
    if (names == nullptr) {
        return reg::kErrorInvalidParameter;
    }
    names->clear();
    const auto handle = Resolve(key);
    if (!handle) {
        return reg::kErrorInvalidHandle;
    }
    for (const auto& [name, child] : handle->node->children) {
        names->push_back(name);
    }
    return reg::kErrorSuccess;
}

long FakeRegistry::RegCloseKey(RegKey key) {
    if (key == reg::kHkeyCurrentUser || key == reg::kHkeyLocalMachine || key == reg::kHkeyUsers) {
        return reg::kErrorSuccess;
    }
    return handles_.erase(static_cast<uint32_t>(key)) != 0 ? reg::kErrorSuccess : reg::kErrorInvalidHandle;
}

void FakeRegistry::Put(RegKey root, const std::string& path, const std::string& name, uint32_t type, std::string data) {
    if (const auto handle = Resolve(root)) {
        Walk(handle->node, path, true)->values[name] = Value{type, std::move(data)};
    }
}

std::optional<FakeRegistry::Value> FakeRegistry::Get(RegKey root,
                                                     const std::string& path,
                                                     const std::string& name) const {
    const auto handle = Resolve(root);
    const Node* node = handle ? Walk(handle->node, path, false) : nullptr;
    if (node == nullptr) {
        return std::nullopt;
    }
    const auto it = node->values.find(name);
    return it == node->values.end() ? std::nullopt : std::optional<Value>(it->second);
}

bool FakeRegistry::KeyExists(RegKey root, const std::string& path) const {
    const auto handle = Resolve(root);
    return handle && Walk(handle->node, path, false) != nullptr;
}

}  // namespace corvanta
