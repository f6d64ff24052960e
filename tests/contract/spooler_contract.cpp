#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "contract/contract_sides.h"
#include "fakes/fake_spooler.h"
#include "platform/spooler.h"

#ifdef CORVANTA_HAVE_WIN32
#include <windows.h>

#include "platform/win32/handles.h"
#include "platform/win32/win32_spooler.h"
#endif

namespace corvanta {
namespace {

using Names = std::vector<std::string>;

// A spooler under test whose port list a test can set.
class SpoolerBed {
  public:
    virtual ~SpoolerBed() = default;
    virtual Spooler& Get() = 0;
    // The spooler lists exactly these ports from now on; tests give them in the spooler's (sorted) order.
    virtual void SetPortNames(const Names& names) = 0;
};

class FakeBed : public SpoolerBed {
  public:
    Spooler& Get() override { return spooler_; }
    void SetPortNames(const Names& names) override { spooler_ = FakeSpooler::WithNames(names); }

  private:
    FakeSpooler spooler_;
};

#ifdef CORVANTA_HAVE_WIN32
// The local spooler lists the value names of this key, live. The bed owns the key while a test runs (other
// test processes wait for it) and puts the original values back afterwards.
class Win32Bed : public SpoolerBed {
  public:
    Win32Bed() : lock_(CreateMutexA(nullptr, FALSE, "Local\\CorvantaSpoolerContract")) {
        EXPECT_TRUE(lock_.Valid());
        EXPECT_EQ(WaitForSingleObject(lock_.Get(), 60000), WAIT_OBJECT_0);
        EXPECT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, kPortsKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, key_.Receive(),
                                  nullptr),
                  ERROR_SUCCESS);
        for (DWORD i = 0;; ++i) {
            char name[256];
            DWORD name_size = sizeof name;
            DWORD type = 0;
            BYTE data[1024];
            DWORD data_size = sizeof data;
            if (RegEnumValueA(key_.Get(), i, name, &name_size, nullptr, &type, data, &data_size) != ERROR_SUCCESS) {
                break;
            }
            saved_.push_back(
                {std::string(name, name_size), type, std::string(reinterpret_cast<char*>(data), data_size)});
        }
    }
    ~Win32Bed() override {
        Clear();
        for (const auto& value : saved_) {
            RegSetValueExA(key_.Get(), value.name.c_str(), 0, value.type,
                           reinterpret_cast<const BYTE*>(value.data.data()), static_cast<DWORD>(value.data.size()));
        }
        ReleaseMutex(lock_.Get());
    }
    Spooler& Get() override { return spooler_; }
    void SetPortNames(const Names& names) override {
        Clear();
        for (const auto& name : names) {
            EXPECT_EQ(RegSetValueExA(key_.Get(), name.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(""), 1),
                      ERROR_SUCCESS)
                << name;
        }
    }

  private:
    static constexpr char kPortsKey[] = "Software\\Microsoft\\Windows NT\\CurrentVersion\\Ports";
    struct Value {
        std::string name;
        DWORD type;
        std::string data;
    };
    void Clear() {
        char name[256];
        DWORD name_size = sizeof name;
        while (RegEnumValueA(key_.Get(), 0, name, &name_size, nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS) {
            if (RegDeleteValueA(key_.Get(), name) != ERROR_SUCCESS) {
                ADD_FAILURE() << "cannot delete " << name;
                break;
            }
            name_size = sizeof name;
        }
    }

    win32::UniqueHandle lock_;
    win32::UniqueHkey key_;
    std::vector<Value> saved_;
    win32::Win32Spooler spooler_;
};
#endif

using Side = contract::Side<std::unique_ptr<SpoolerBed>>;

std::vector<Side> Sides() {
    std::vector<Side> sides{{"Fake", [] { return std::make_unique<FakeBed>(); }}};
#ifdef CORVANTA_HAVE_WIN32
    sides.push_back({"Win32", [] { return std::make_unique<Win32Bed>(); }});
#endif
    return sides;
}

constexpr uint32_t kLevel = 2;
constexpr size_t kStride = sizeof(PortInfo2);

struct Answer {
    int ok = 0;
    uint32_t error = 0;
    uint32_t needed = 0;
    uint32_t returned = 0;
};

// A buffer of whole records (so aligned for them), filled with a pattern to see what the spooler wrote.
struct Buffer {
    explicit Buffer(size_t bytes) : records(bytes / kStride + 2) {
        std::memset(records.data(), 0xCD, records.size() * kStride);
    }
    uint8_t* Bytes() { return reinterpret_cast<uint8_t*>(records.data()); }
    size_t Size() const { return records.size() * kStride; }
    std::vector<PortInfo2> records;
};

Answer Enumerate(Spooler& spooler, uint8_t* buffer, uint32_t size) {
    Answer answer;
    answer.needed = 0xDEADBEEF;
    answer.returned = 0xDEADBEEF;
    answer.ok = spooler.EnumPortsA(kLevel, buffer, size, &answer.needed, &answer.returned);
    answer.error = answer.ok ? 0 : spooler.LastError();
    return answer;
}

// The text at a pointer of the answer, which must lie inside [first, end) and end there with a NUL.
::testing::AssertionResult TextInside(const char* text, const uint8_t* first, const uint8_t* end, std::string* out) {
    const auto address = reinterpret_cast<uintptr_t>(text);
    if (address < reinterpret_cast<uintptr_t>(first) || address >= reinterpret_cast<uintptr_t>(end)) {
        return ::testing::AssertionFailure() << "text outside the answer's text area";
    }
    const size_t room = reinterpret_cast<uintptr_t>(end) - address;
    const void* nul = std::memchr(text, 0, room);
    if (nul == nullptr) {
        return ::testing::AssertionFailure() << "text without its NUL inside the answer";
    }
    *out = std::string(text, static_cast<const char*>(nul));
    return ::testing::AssertionSuccess();
}

class SpoolerContract : public ::testing::TestWithParam<Side> {
  protected:
    void SetUp() override { bed_ = GetParam().make(); }
    Spooler& S() { return bed_->Get(); }

    // The port names of a full two-call enumeration, with the layout checked on the way.
    Names ListedNames() {
        uint32_t scratch = 0;
        const Answer size = Enumerate(S(), reinterpret_cast<uint8_t*>(&scratch), 0);
        if (size.needed == 0) {
            return {};
        }
        Buffer buffer(size.needed);
        const Answer data = Enumerate(S(), buffer.Bytes(), size.needed);
        EXPECT_NE(data.ok, 0) << "error " << data.error;
        EXPECT_LE(data.returned * kStride, size.needed);
        const uint8_t* texts = buffer.Bytes() + data.returned * kStride;
        const uint8_t* end = buffer.Bytes() + size.needed;
        Names names;
        for (uint32_t i = 0; data.ok && i < data.returned; ++i) {
            const PortInfo2& record = buffer.records[i];
            std::string name;
            EXPECT_TRUE(TextInside(record.pPortName, texts, end, &name)) << "record " << i;
            names.push_back(name);
            for (const char* other : {record.pMonitorName, record.pDescription}) {
                std::string ignored;
                if (other != nullptr) {
                    EXPECT_TRUE(TextInside(other, texts, end, &ignored)) << "record " << i;
                }
            }
        }
        return names;
    }

    // Sets the list and waits (with a deadline) until the spooler reports it.
    void ListPorts(const Names& names) {
        bed_->SetPortNames(names);
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (ListedNames() != names && std::chrono::steady_clock::now() < deadline) {
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        ASSERT_EQ(ListedNames(), names);
    }

  private:
    std::unique_ptr<SpoolerBed> bed_;
};

TEST_P(SpoolerContract, SizeCallReportsTheBytesOfRecordsAndTexts) {
    // Sorted as text, not by number: "COM12:" comes before "COM1:".
    const Names names = {"COM12:", "COM1:", "FILE:", "LPT1:"};
    ASSERT_NO_FATAL_FAILURE(ListPorts(names));
    uint32_t scratch = 0x12345678;
    const Answer size = Enumerate(S(), reinterpret_cast<uint8_t*>(&scratch), 0);
    EXPECT_EQ(size.ok, 0);
    EXPECT_EQ(size.error, spooler::kErrorInsufficientBuffer);
    EXPECT_EQ(size.returned, 0u);
    EXPECT_EQ(scratch, 0x12345678u) << "a failed call writes nothing";
    size_t name_bytes = 0;
    for (const auto& name : names) {
        name_bytes += name.size() + 1;
    }
    EXPECT_GE(size.needed, names.size() * kStride + name_bytes);
    EXPECT_LT(size.needed, 4096u);
}

TEST_P(SpoolerContract, DataCallFillsRecordsAtTheRecordStride) {
    const Names names = {"COM1:", "COM2:", "COM3:", "LPT1:"};
    ASSERT_NO_FATAL_FAILURE(ListPorts(names));
    uint32_t scratch = 0;
    const Answer size = Enumerate(S(), reinterpret_cast<uint8_t*>(&scratch), 0);
    Buffer buffer(size.needed);
    const Answer data = Enumerate(S(), buffer.Bytes(), size.needed);
    ASSERT_NE(data.ok, 0) << "error " << data.error;
    EXPECT_EQ(data.returned, names.size());
    EXPECT_EQ(data.needed, size.needed);
    for (size_t i = size.needed; i < buffer.Size(); ++i) {
        ASSERT_EQ(buffer.Bytes()[i], 0xCD) << "written past the size given, at byte " << i;
    }
    for (size_t i = 0; i < names.size(); ++i) {
        EXPECT_STREQ(buffer.records[i].pPortName, names[i].c_str()) << "record " << i;
    }
}

// One byte short of the size asked for is too small, and the spooler writes nothing.
TEST_P(SpoolerContract, BufferOneByteShortFailsUntouched) {
    ASSERT_NO_FATAL_FAILURE(ListPorts({"COM3", "COM7"}));
    uint32_t scratch = 0;
    const Answer size = Enumerate(S(), reinterpret_cast<uint8_t*>(&scratch), 0);
    Buffer buffer(size.needed);
    const Answer shorter = Enumerate(S(), buffer.Bytes(), size.needed - 1);
    EXPECT_EQ(shorter.ok, 0);
    EXPECT_EQ(shorter.error, spooler::kErrorInsufficientBuffer);
    EXPECT_EQ(shorter.needed, size.needed);
    EXPECT_EQ(shorter.returned, 0u);
    for (size_t i = 0; i < buffer.Size(); ++i) {
        ASSERT_EQ(buffer.Bytes()[i], 0xCD) << "written at byte " << i;
    }
}

// A port plugged in between the size call and the data call: the data call fails and reports the new size.
TEST_P(SpoolerContract, ListGrowingBetweenTheCallsFailsTheDataCall) {
    ASSERT_NO_FATAL_FAILURE(ListPorts({"COM1:", "LPT1:"}));
    uint32_t scratch = 0;
    const Answer size = Enumerate(S(), reinterpret_cast<uint8_t*>(&scratch), 0);
    ASSERT_NO_FATAL_FAILURE(ListPorts({"COM1:", "COM3:", "LPT1:"}));
    Buffer buffer(size.needed);
    const Answer data = Enumerate(S(), buffer.Bytes(), size.needed);
    EXPECT_EQ(data.ok, 0);
    EXPECT_EQ(data.error, spooler::kErrorInsufficientBuffer);
    EXPECT_GT(data.needed, size.needed);
}

TEST_P(SpoolerContract, NoPortsNeedNoBytes) {
    ASSERT_NO_FATAL_FAILURE(ListPorts({}));
    uint32_t scratch = 0;
    const Answer size = Enumerate(S(), reinterpret_cast<uint8_t*>(&scratch), 0);
    EXPECT_EQ(size.needed, 0u);
    EXPECT_EQ(size.returned, 0u);
}

INSTANTIATE_TEST_SUITE_P(Sides, SpoolerContract, ::testing::ValuesIn(Sides()), contract::SideName());

}  // namespace
}  // namespace corvanta
