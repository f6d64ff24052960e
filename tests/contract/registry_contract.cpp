#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "contract/contract_sides.h"
#include "fakes/fake_registry.h"
#include "platform/registry.h"

#ifdef CORVANTA_HAVE_WIN32
#include <windows.h>

#include "platform/win32/win32_registry.h"
#endif

namespace corvanta {
namespace {

// A registry under test and a scratch key of its own below a root, removed when the bed goes.
class RegistryBed {
  public:
    explicit RegistryBed(RegKey root) : root_(root) {}
    virtual ~RegistryBed() = default;
    virtual Registry& Get() = 0;
    RegKey Root() const { return root_; }
    const std::string& Scratch() const { return scratch_; }

  protected:
    RegKey root_;
    std::string scratch_ = "Software\\CorvantaTest";
};

class FakeBed : public RegistryBed {
  public:
    using RegistryBed::RegistryBed;
    Registry& Get() override { return registry_; }

  private:
    FakeRegistry registry_;
};

#ifdef CORVANTA_HAVE_WIN32
class Win32Bed : public RegistryBed {
  public:
    explicit Win32Bed(RegKey root) : RegistryBed(root) {
        static int serial = 0;
        // Appended piece by piece: GCC 12 warns wrongly (-Wrestrict) about chained std::string additions.
        scratch_.append("-").append(std::to_string(GetCurrentProcessId())).append("-").append(std::to_string(++serial));
    }
    ~Win32Bed() override {
        // The interface has no key deletion; the bed clears up with the system's own call.
        RegDeleteTreeA(root_ == reg::kHkeyLocalMachine ? HKEY_LOCAL_MACHINE : HKEY_CURRENT_USER, scratch_.c_str());
    }
    Registry& Get() override { return registry_; }

  private:
    win32::Win32Registry registry_;
};
#endif

using Side = contract::Side<std::unique_ptr<RegistryBed>>;

std::vector<Side> Sides() {
    std::vector<Side> sides;
    for (const RegKey root : {reg::kHkeyCurrentUser, reg::kHkeyLocalMachine}) {
        const std::string root_name = root == reg::kHkeyCurrentUser ? "HKCU" : "HKLM";
        sides.push_back({"Fake_" + root_name, [root] { return std::make_unique<FakeBed>(root); }});
#ifdef CORVANTA_HAVE_WIN32
        sides.push_back({"Win32_" + root_name, [root] { return std::make_unique<Win32Bed>(root); }});
#endif
    }
    return sides;
}

class RegistryContract : public ::testing::TestWithParam<Side> {
  protected:
    void SetUp() override { bed_ = GetParam().make(); }

    Registry& R() { return bed_->Get(); }
    RegKey Root() const { return bed_->Root(); }
    std::string Path(const std::string& below) const { return bed_->Scratch() + "\\" + below; }

    // Creates the key (and those above it) and returns it open.
    RegKey Create(const std::string& below) {
        RegKey key = reg::kNoKey;
        EXPECT_EQ(R().RegCreateKeyA(Root(), Path(below), &key), reg::kErrorSuccess) << below;
        EXPECT_NE(key, reg::kNoKey) << below;
        return key;
    }

  private:
    std::unique_ptr<RegistryBed> bed_;
};

TEST_P(RegistryContract, CreateOpenAndNamesWithoutCase) {
    RegKey key = RegKey{12345};
    EXPECT_EQ(R().RegOpenKeyA(Root(), Path("Deep\\Er"), &key), reg::kErrorFileNotFound);
    EXPECT_EQ(key, reg::kNoKey) << "a failed open leaves the handle 0";
    key = RegKey{12345};
    EXPECT_EQ(R().RegOpenKeyExA(Root(), Path("Deep\\Er"), 0, 0x2003F, &key), reg::kErrorFileNotFound);
    EXPECT_EQ(key, reg::kNoKey);

    const RegKey created = Create("Deep\\Er");
    const std::string data("v\0", 2);
    EXPECT_EQ(R().RegSetValueExA(created, "Name", 0, reg::kRegSz, data.data(), 2), reg::kErrorSuccess);
    EXPECT_EQ(R().RegCloseKey(created), reg::kErrorSuccess);

    // Creating an existing key opens it; every way of opening finds the value, whatever the case of the names.
    RegKey again = Create("DEEP\\er");
    RegKey opened = reg::kNoKey;
    RegKey opened_ex = reg::kNoKey;
    EXPECT_EQ(R().RegOpenKeyA(Root(), Path("deep\\ER"), &opened), reg::kErrorSuccess);
    EXPECT_EQ(R().RegOpenKeyExA(Root(), Path("Deep\\Er"), 0, 0x2003F, &opened_ex), reg::kErrorSuccess);
    for (const RegKey k : {again, opened, opened_ex}) {
        uint32_t type = 0;
        uint32_t size = 0;
        EXPECT_EQ(R().RegQueryValueExA(k, "NAME", nullptr, &type, nullptr, &size), reg::kErrorSuccess);
        EXPECT_EQ(type, reg::kRegSz);
        EXPECT_EQ(size, 2u);
        EXPECT_EQ(R().RegCloseKey(k), reg::kErrorSuccess);
    }
}

// Values come back with the type and the exact bytes they were stored with; sizes follow the API's rules.
TEST_P(RegistryContract, ValuesKeepTypeAndBytes) {
    const struct {
        const char* label;
        uint32_t type;
        std::string data;
        std::string after;  // the byte after the data in the caller's buffer
    } cases[] = {
        {"REG_SZ with NUL", reg::kRegSz, std::string("C:\\a b\\x.exe\0", 13), ""},
        {"REG_SZ without NUL", reg::kRegSz, "abc", "X"},
        {"REG_SZ empty", reg::kRegSz, "", ""},
        {"REG_SZ only NUL", reg::kRegSz, std::string("\0", 1), ""},
        {"REG_SZ ANSI", reg::kRegSz, std::string("\xE9\x80\0", 3), ""},
        {"REG_EXPAND_SZ", reg::kRegExpandSz, std::string("%SystemRoot%\\x\0", 15), ""},
        {"REG_EXPAND_SZ without NUL", reg::kRegExpandSz, "%x%", "X"},
        {"REG_DWORD", reg::kRegDword, std::string("\x2A\0\0\x80", 4), ""},
        {"REG_BINARY", reg::kRegBinary, std::string("a\0\xFF", 3), ""},
        {"REG_BINARY empty", reg::kRegBinary, "", ""},
        {"REG_BINARY 3000 bytes", reg::kRegBinary, std::string(3000, '\x5A'), ""},
    };
    const RegKey key = Create("Values");
    for (const auto& c : cases) {
        const auto size_of_data = static_cast<uint32_t>(c.data.size());
        const std::string given = c.data + c.after;
        ASSERT_EQ(R().RegSetValueExA(key, c.label, 0, c.type, given.c_str(), size_of_data), reg::kErrorSuccess)
            << c.label;

        uint32_t type = 99;
        uint32_t size = 12345;
        EXPECT_EQ(R().RegQueryValueExA(key, c.label, nullptr, &type, nullptr, &size), reg::kErrorSuccess) << c.label;
        EXPECT_EQ(type, c.type) << c.label;
        EXPECT_EQ(size, size_of_data) << c.label << ": size query";

        std::string exact(c.data.size(), '#');
        size = size_of_data;
        EXPECT_EQ(R().RegQueryValueExA(key, c.label, nullptr, &type, exact.data(), &size), reg::kErrorSuccess)
            << c.label;
        EXPECT_EQ(size, size_of_data) << c.label;
        EXPECT_EQ(exact, c.data) << c.label << ": exact fit";

        if (!c.data.empty()) {
            std::string small(c.data.size() - 1, '#');
            size = size_of_data - 1;
            EXPECT_EQ(R().RegQueryValueExA(key, c.label, nullptr, &type, small.data(), &size), reg::kErrorMoreData)
                << c.label;
            EXPECT_EQ(size, size_of_data) << c.label << ": the size needed";
        }

        // With room to spare, string data that lacks its NUL gets one after it, not counted in the size.
        std::string roomy(c.data.size() + 4, '#');
        size = static_cast<uint32_t>(roomy.size());
        EXPECT_EQ(R().RegQueryValueExA(key, c.label, nullptr, &type, roomy.data(), &size), reg::kErrorSuccess)
            << c.label;
        EXPECT_EQ(size, size_of_data) << c.label;
        EXPECT_EQ(roomy.substr(0, c.data.size()), c.data) << c.label;
        const bool is_string = c.type == reg::kRegSz || c.type == reg::kRegExpandSz;
        const bool terminated = is_string && !c.data.empty() && c.data.back() != '\0';
        EXPECT_EQ(roomy[c.data.size()], terminated ? '\0' : '#') << c.label << ": byte after the data";
    }
    EXPECT_EQ(R().RegCloseKey(key), reg::kErrorSuccess);
}

// A string whose size leaves out the NUL right after it is stored with the NUL (the byte after is read).
TEST_P(RegistryContract, StringSizeWithoutItsNulCountsIt) {
    const RegKey key = Create("Counted");
    for (const uint32_t type : {reg::kRegSz, reg::kRegExpandSz}) {
        EXPECT_EQ(R().RegSetValueExA(key, "V", 0, type, "abc", 3), reg::kErrorSuccess);
        uint32_t size = 0;
        EXPECT_EQ(R().RegQueryValueExA(key, "V", nullptr, nullptr, nullptr, &size), reg::kErrorSuccess);
        EXPECT_EQ(size, 4u) << "type " << type;
    }
    EXPECT_EQ(R().RegSetValueExA(key, "B", 0, reg::kRegBinary, "abc", 3), reg::kErrorSuccess);
    uint32_t size = 0;
    EXPECT_EQ(R().RegQueryValueExA(key, "B", nullptr, nullptr, nullptr, &size), reg::kErrorSuccess);
    EXPECT_EQ(size, 3u) << "binary data is taken as given";
    EXPECT_EQ(R().RegCloseKey(key), reg::kErrorSuccess);
}

TEST_P(RegistryContract, DeleteAndMissingValues) {
    const RegKey key = Create("Delete");
    uint32_t type = 0;
    uint32_t size = 0;
    EXPECT_EQ(R().RegQueryValueExA(key, "Gone", nullptr, &type, nullptr, &size), reg::kErrorFileNotFound);
    EXPECT_EQ(R().RegDeleteValueA(key, "Gone"), reg::kErrorFileNotFound);

    EXPECT_EQ(R().RegSetValueExA(key, "Gone", 0, reg::kRegSz, "x", 2), reg::kErrorSuccess);
    EXPECT_EQ(R().RegDeleteValueA(key, "GONE"), reg::kErrorSuccess);
    EXPECT_EQ(R().RegQueryValueExA(key, "Gone", nullptr, &type, nullptr, &size), reg::kErrorFileNotFound);
    EXPECT_EQ(R().RegDeleteValueA(key, "Gone"), reg::kErrorFileNotFound);
    EXPECT_EQ(R().RegCloseKey(key), reg::kErrorSuccess);
}

// The routines that ignore status codes run on with key 0 after a failed open: every call must fail harmlessly.
TEST_P(RegistryContract, ZeroAndClosedKeysFail) {
    const RegKey closed = Create("Closed");
    ASSERT_EQ(R().RegCloseKey(closed), reg::kErrorSuccess);
    for (const RegKey key : {reg::kNoKey, closed}) {
        const std::string label = key == reg::kNoKey ? "key 0" : "closed key";
        RegKey sub = reg::kNoKey;
        uint32_t type = 0;
        uint32_t size = 0;
        char buffer[8] = {};
        EXPECT_EQ(R().RegSetValueExA(key, "V", 0, reg::kRegSz, "x", 2), reg::kErrorInvalidHandle) << label;
        EXPECT_EQ(R().RegQueryValueExA(key, "V", nullptr, &type, nullptr, &size), reg::kErrorInvalidHandle) << label;
        size = sizeof buffer;
        EXPECT_EQ(R().RegQueryValueExA(key, "V", nullptr, &type, buffer, &size), reg::kErrorInvalidHandle) << label;
        EXPECT_EQ(R().RegDeleteValueA(key, "V"), reg::kErrorInvalidHandle) << label;
        EXPECT_EQ(R().RegOpenKeyA(key, "Sub", &sub), reg::kErrorInvalidHandle) << label;
        EXPECT_EQ(R().RegCreateKeyA(key, "Sub", &sub), reg::kErrorInvalidHandle) << label;
        EXPECT_EQ(sub, reg::kNoKey) << label;
        std::vector<std::string> names{"stale"};
        EXPECT_EQ(R().ListSubKeys(key, &names), reg::kErrorInvalidHandle) << label;
        EXPECT_TRUE(names.empty()) << label;
        EXPECT_EQ(R().RegCloseKey(key), reg::kErrorInvalidHandle) << label;
    }
}

// A key's sub-keys are listed once each by the name they were created with, one level deep; values are not keys.
TEST_P(RegistryContract, ListsDirectSubKeys) {
    const RegKey parent = Create("List");
    std::vector<std::string> names{"stale"};
    EXPECT_EQ(R().ListSubKeys(parent, &names), reg::kErrorSuccess);
    EXPECT_TRUE(names.empty()) << "a key without sub-keys";

    for (const char* below : {"List\\Alpha", "List\\beta", "List\\Gamma\\Deeper", "LIST\\ALPHA"}) {
        EXPECT_EQ(R().RegCloseKey(Create(below)), reg::kErrorSuccess) << below;
    }
    EXPECT_EQ(R().RegSetValueExA(parent, "NotAKey", 0, reg::kRegSz, "x", 2), reg::kErrorSuccess);
    EXPECT_EQ(R().ListSubKeys(parent, &names), reg::kErrorSuccess);
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"Alpha", "Gamma", "beta"}));
    EXPECT_EQ(R().RegCloseKey(parent), reg::kErrorSuccess);
}

INSTANTIATE_TEST_SUITE_P(All, RegistryContract, ::testing::ValuesIn(Sides()), contract::SideName());

#ifdef CORVANTA_HAVE_WIN32
// On 64-bit Windows HKEY_LOCAL_MACHINE\Software has a view for 64-bit and one for 32-bit programs: what is
// written in one the other does not see, and a registry of the program's own view sees its bitness's.
TEST(Win32RegistryViews, EachViewHasItsOwnSoftwareKey) {
    const std::string scratch = "Software\\CorvantaTestView-" + std::to_string(GetCurrentProcessId());
    win32::Win32Registry view64(win32::RegistryView::k64Bit);
    win32::Win32Registry view32(win32::RegistryView::k32Bit);
    win32::Win32Registry own;
    const auto write = [&](Registry& registry, const std::string& data) {
        RegKey key = reg::kNoKey;
        ASSERT_EQ(registry.RegCreateKeyA(reg::kHkeyLocalMachine, scratch, &key), reg::kErrorSuccess) << data;
        EXPECT_EQ(registry.RegSetValueExA(key, "V", 0, reg::kRegSz, data.c_str(), 3), reg::kErrorSuccess) << data;
        EXPECT_EQ(registry.RegCloseKey(key), reg::kErrorSuccess) << data;
    };
    const auto read = [&](Registry& registry) {
        RegKey key = reg::kNoKey;
        std::string data(3, '#');
        uint32_t size = 3;
        if (registry.RegOpenKeyExA(reg::kHkeyLocalMachine, scratch, 0, reg::kKeyRead, &key) != reg::kErrorSuccess ||
            registry.RegQueryValueExA(key, "V", nullptr, nullptr, data.data(), &size) != reg::kErrorSuccess) {
            data = "none";
        }
        registry.RegCloseKey(key);
        return data.substr(0, data.find('\0'));
    };
    write(view64, "64");
    EXPECT_EQ(read(view32), "none") << "the 32-bit view sees the 64-bit one's key";
    write(view32, "32");
    EXPECT_EQ(read(view64), "64");
    EXPECT_EQ(read(view32), "32");
    EXPECT_EQ(read(own), sizeof(void*) == 8 ? "64" : "32");
    for (const REGSAM view : {KEY_WOW64_64KEY, KEY_WOW64_32KEY}) {
        HKEY software = nullptr;
        if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Software", 0, KEY_ALL_ACCESS | view, &software) == ERROR_SUCCESS) {
            RegDeleteTreeA(software, scratch.substr(scratch.find('\\') + 1).c_str());
            RegCloseKey(software);
        }
    }
}
#endif

}  // namespace
}  // namespace corvanta
