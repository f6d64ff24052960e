#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/registry.h"

namespace corvanta {

// An in-memory registry with the ANSI API's behaviour: names compare without regard to case, values keep
// their type and raw bytes, sizes follow the API (size query, kErrorMoreData), and unknown or zero keys
// fail with kErrorInvalidHandle. HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE and HKEY_USERS are its roots (the last one
// apart from the first: a test puts the hives it wants under it).
class FakeRegistry : public Registry {
  public:
    struct Value {
        uint32_t type = reg::kRegNone;
        std::string data;
        bool operator==(const Value&) const = default;
    };

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

    // Test set-up and inspection, by root and backslash-separated path; keys are created as needed.
    void Put(RegKey root, const std::string& path, const std::string& name, uint32_t type, std::string data);
    std::optional<Value> Get(RegKey root, const std::string& path, const std::string& name) const;
    bool KeyExists(RegKey root, const std::string& path) const;
    // Keys handed out and not closed yet.
    size_t OpenKeyCount() const { return handles_.size(); }

    // A user without administrator rights: under HKEY_LOCAL_MACHINE and HKEY_USERS (other users' hives), creating
    // missing keys, opening keys with write rights, setting and deleting values are refused with
    // kErrorAccessDenied. Reading still works.
    bool refuse_machine_writes = false;
    // The same under HKEY_CURRENT_USER, as a policy that forbids registry changes would have it.
    bool refuse_user_writes = false;

  private:
    struct CaseLess {
        bool operator()(const std::string& a, const std::string& b) const;
    };
    struct Node {
        std::map<std::string, Value, CaseLess> values;
        std::map<std::string, std::unique_ptr<Node>, CaseLess> children;
    };
    struct Handle {
        Node* node;
        bool admin_only;  // below HKEY_LOCAL_MACHINE or HKEY_USERS
        bool writable;
    };

    // The key behind a handle (a root or an open key), or nullopt.
    std::optional<Handle> Resolve(RegKey key) const;
    // The node at path below node; null when a key is missing and create is false.
    static Node* Walk(Node* node, const std::string& path, bool create);
    long Open(RegKey key, const std::string& sub_key, bool create, bool want_write, RegKey* result);

    Node current_user_;
    Node local_machine_;
    Node users_;
    std::map<uint32_t, Handle> handles_;
    uint32_t next_ = 0x100;
};

}  // namespace corvanta
