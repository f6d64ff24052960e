#include <gtest/gtest.h>

#include <string>

#include "common/identity.h"
#include "core/auto_start.h"
#include "core/mod1_registry.h"
#include "fakes/fake_ansi_code_page.h"
#include "fakes/fake_registry.h"

namespace corvanta {
namespace {

const std::string kRun = "Software\\Microsoft\\Windows\\CurrentVersion\\Run";
const std::string kName = "Corvanta";

class Mod1Registry : public ::testing::Test {
  protected:
    Text Read() { return RegReadString(registry, ansi, kRunKeyRoot, kRunKeyPath, kAppTitle); }
    void Write(TextView data) { RegWriteString(registry, ansi, kRunKeyRoot, kRunKeyPath, kAppTitle, data); }
    void Delete() { RegDeleteValueOf(registry, ansi, kRunKeyRoot, kRunKeyPath, kAppTitle); }

    FakeRegistry registry;
    FakeAnsiCodePage ansi;
};

// A read gives the text up to the first NUL of a REG_SZ value, and "" for anything it cannot take as one.
TEST_F(Mod1Registry, ReadsOnlyStringValues) {
    const std::string big_with_late_nul = std::string(40000, 'x') + '\0';
    struct {
        const char* label;
        uint32_t type;
        std::string data;
        Text expected;
    } cases[] = {
        {"terminated", reg::kRegSz, std::string("C:\\a b\\x.exe\0", 13), u"C:\\a b\\x.exe"},
        {"without NUL", reg::kRegSz, "abc", u"abc"},
        {"NUL inside", reg::kRegSz, std::string("ab\0cd\0", 6), u"ab"},
        {"empty text", reg::kRegSz, std::string("\0", 1), u""},
        {"no data at all", reg::kRegSz, "", u""},
        {"ANSI bytes", reg::kRegSz, std::string("\xE9\x80\0", 3), u"\u00E9\u20AC"},
        {"NUL beyond 32767", reg::kRegSz, big_with_late_nul, Text(40000, u'x')},
        {"expandable", reg::kRegExpandSz, std::string("%SystemRoot%\0", 13), u""},
        {"number", reg::kRegDword, std::string("\x01\0\0\0", 4), u""},
        {"binary", reg::kRegBinary, "abc", u""},
        {"at the limit", reg::kRegSz, std::string(reg::kMaxValueBytes, 'x'), Text(reg::kMaxValueBytes, u'x')},
        {"too large", reg::kRegSz, std::string(reg::kMaxValueBytes + 1, 'x'), u""},
    };
    for (const auto& c : cases) {
        registry.Put(reg::kHkeyLocalMachine, kRun, kName, c.type, c.data);
        EXPECT_EQ(Read(), c.expected) << c.label;
        EXPECT_EQ(registry.OpenKeyCount(), 0u) << c.label << ": a key was left open";
    }
}

TEST_F(Mod1Registry, MissingValueOrKeyReadsEmpty) {
    EXPECT_EQ(Read(), u"");
    registry.Put(reg::kHkeyLocalMachine, kRun, "Other", reg::kRegSz, std::string("x\0", 2));
    EXPECT_EQ(Read(), u"");
    EXPECT_EQ(registry.OpenKeyCount(), 0u);
}

// Writing stores NUL-terminated REG_SZ (over a value of another type too), creating the key when missing.
TEST_F(Mod1Registry, WriteReadDeleteRoundTrip) {
    const Text path = AutoStartCommandPath(u"C:\\Program Files\\Corvanta", u"Corvanta");
    Write(path);
    EXPECT_EQ(registry.Get(reg::kHkeyLocalMachine, kRun, kName),
              (FakeRegistry::Value{reg::kRegSz, std::string("\"C:\\Program Files\\Corvanta\\Corvanta.exe\"\0", 41)}));
    EXPECT_EQ(Read(), path);

    Delete();
    EXPECT_FALSE(registry.Get(reg::kHkeyLocalMachine, kRun, kName));
    EXPECT_EQ(Read(), u"");
    Delete();  // nothing left to delete: no effect, no error

    registry.Put(reg::kHkeyLocalMachine, kRun, kName, reg::kRegExpandSz, std::string("%x%\0", 4));
    Write(u"\u00E9");
    EXPECT_EQ(registry.Get(reg::kHkeyLocalMachine, kRun, kName),
              (FakeRegistry::Value{reg::kRegSz, std::string("\xE9\0", 2)}));
    EXPECT_EQ(registry.OpenKeyCount(), 0u);
}

// Without the right to write under HKEY_LOCAL_MACHINE nothing changes and nothing is reported.
TEST_F(Mod1Registry, NoRightsChangeNothing) {
    registry.refuse_machine_writes = true;
    EXPECT_NO_THROW(Write(u"x"));
    EXPECT_FALSE(registry.KeyExists(reg::kHkeyLocalMachine, kRun));

    registry.Put(reg::kHkeyLocalMachine, kRun, "Other", reg::kRegSz, std::string("y\0", 2));
    EXPECT_NO_THROW(Write(u"x"));
    EXPECT_FALSE(registry.Get(reg::kHkeyLocalMachine, kRun, kName));

    registry.Put(reg::kHkeyLocalMachine, kRun, kName, reg::kRegSz, std::string("old\0", 4));
    EXPECT_NO_THROW(Delete());
    EXPECT_EQ(Read(), u"old");
    EXPECT_EQ(registry.OpenKeyCount(), 0u);
}

// Every value is read by one rule: missing, readable (no data at all included) or too large, whatever its type;
// the type and the bytes come as stored.
TEST_F(Mod1Registry, ReadRegValueByOneRule) {
    using Status = RegValueRead::Status;
    const struct {
        const char* label;
        const char* path;  // where the value is put, or null for nowhere
        const char* name;
        uint32_t type;
        std::string data;
        Status status;
    } cases[] = {
        {"no key", nullptr, "", reg::kRegSz, "", Status::kMissing},
        {"no value", "Software\\Test", "Other", reg::kRegSz, "x", Status::kMissing},
        {"no data at all", "Software\\Test", "Value", reg::kRegSz, "", Status::kRead},
        {"a number", "Software\\Test", "Value", reg::kRegDword, std::string("\x2A\0\0\0", 4), Status::kRead},
        {"binary at the limit", "Software\\Test", "Value", reg::kRegBinary, std::string(reg::kMaxValueBytes, '\0'),
         Status::kRead},
        {"binary over the limit", "Software\\Test", "Value", reg::kRegBinary,
         std::string(reg::kMaxValueBytes + 1, '\0'), Status::kTooLarge},
    };
    for (const auto& c : cases) {
        registry = FakeRegistry{};
        if (c.path != nullptr) {
            registry.Put(reg::kHkeyLocalMachine, c.path, c.name, c.type, c.data);
        }
        registry.refuse_machine_writes = true;  // reading needs no more than a user has
        const RegValueRead read = ReadRegValue(registry, ansi, reg::kHkeyLocalMachine, u"Software\\Test", u"Value");
        EXPECT_EQ(read.status, c.status) << c.label;
        if (c.status == Status::kRead) {
            EXPECT_EQ(read.value, (RegValue{c.type, c.data})) << c.label;
        } else if (c.status == Status::kTooLarge) {
            EXPECT_EQ(read.value, (RegValue{c.type, ""})) << c.label;
        }
        EXPECT_EQ(registry.OpenKeyCount(), 0u) << c.label;
    }
}

// Text ends at the first NUL byte, found before conversion: in a double-byte code page a lead byte before the NUL
// does not take the NUL as its second byte and run on into what follows.
TEST_F(Mod1Registry, TextEndsAtTheFirstNulByte) {
    ansi.double_byte = true;
    EXPECT_EQ(RegText(RegValue{reg::kRegSz, std::string("a\x82\0xyz", 6)}, ansi), Text(u"a\uFFFD"));
    EXPECT_EQ(RegText(RegValue{reg::kRegSz, "\x82\xA0"}, ansi), Text(u"\u3041"));
    EXPECT_EQ(RegText(RegValue{reg::kRegExpandSz, std::string("a\0", 2)}, ansi), std::nullopt);
}

}  // namespace
}  // namespace corvanta
