#include "config/port_list.h"

#include <gtest/gtest.h>

#include <cstring>

#include "fakes/fake_ansi_code_page.h"
#include "fakes/fake_combo_box.h"
#include "fakes/fake_spooler.h"

namespace corvanta {
namespace {

std::vector<Text> Texts(std::initializer_list<const char16_t*> items) {
    return std::vector<Text>(items.begin(), items.end());
}

struct Filled {
    std::vector<Text> items;
    int32_t result;
};

Filled Fill(Spooler& spooler, int32_t kind) {
    FakeComboBox list;
    FakeAnsiCodePage code_page;
    const int32_t result = FillPortList(list, kind, spooler, code_page);
    return {list.items, result};
}

// The kind picks names by their first three letters, case-sensitively; the result counts every record.
TEST(FillPortList, KeepsTheChosenKindInTheSpoolersOrder) {
    struct Case {
        int32_t kind;
        std::vector<Text> expected;
    };
    const Case cases[] = {
        {port_kind::kSerial, Texts({u"COM2:", u"COM1:"})},
        {port_kind::kParallel, Texts({u"LPT1:"})},
        {3, {}},
        {0, {}},
        {-1, {}},
    };
    for (const auto& c : cases) {
        auto spooler = FakeSpooler::WithNames({"COM2:", "FILE:", "LPT1:", "COM1:"});
        const auto filled = Fill(spooler, c.kind);
        EXPECT_EQ(filled.items, c.expected) << "kind " << c.kind;
        EXPECT_EQ(filled.result, 4) << "kind " << c.kind;
    }
}

TEST(FillPortList, AppendsNamesWholeAsTheSpoolerSpellsThem) {
    auto spooler = FakeSpooler::WithNames(
        {"COM3", "COM10:", "com4:", "Com5:", "CO", "", "COM", "COM 7", "COMX:", "COM\xE9:", "LPTCOM1:"});
    EXPECT_EQ(Fill(spooler, port_kind::kSerial).items,
              Texts({u"COM3", u"COM10:", u"COM", u"COM 7", u"COMX:", u"COM\u00E9:"}));
}

TEST(FillPortList, NoPortsLeavesTheListEmpty) {
    FakeSpooler spooler;
    const auto filled = Fill(spooler, port_kind::kSerial);
    EXPECT_TRUE(filled.items.empty());
    EXPECT_EQ(filled.result, 0);
}

TEST(FillPortList, RefillingReplacesEntriesAndSelection) {
    auto spooler = FakeSpooler::WithNames({"COM1:", "COM2:"});
    FakeAnsiCodePage code_page;
    FakeComboBox list;
    list.items = Texts({u"stale"});
    list.selected = 0;
    FillPortList(list, port_kind::kSerial, spooler, code_page);
    FillPortList(list, port_kind::kSerial, spooler, code_page);
    EXPECT_EQ(list.items, Texts({u"COM1:", u"COM2:"}));
    EXPECT_EQ(list.selected, ComboBox::kNoSelection);
}

// The buffer is sized from the spooler's byte count rounded to whole records; every remainder of that count
// must still leave room for the whole answer.
TEST(FillPortList, EveryAnswerSizeFitsTheBuffer) {
    for (size_t length = 1; length <= 2 * sizeof(PortInfo2) + 1; ++length) {
        const std::string name = "COM" + std::string(length, '9');
        FakeSpooler spooler({FakePort{name, "", "", 0}});
        EXPECT_EQ(Fill(spooler, port_kind::kSerial).items, std::vector<Text>{AsciiText(name)})
            << "needed " << spooler.BytesNeeded();
    }
}

// A port added between the size call and the data call makes the data call fail: the list stays empty for this
// opening and the next opening lists everything.
TEST(FillPortList, ListGrowingBetweenTheCallsLeavesTheListEmpty) {
    auto spooler = FakeSpooler::WithNames({"COM1:"});
    spooler.grow_after_size_call = {FakePort{"COM5:"}};
    const auto first = Fill(spooler, port_kind::kSerial);
    EXPECT_TRUE(first.items.empty());
    EXPECT_EQ(first.result, 0);
    EXPECT_EQ(Fill(spooler, port_kind::kSerial).items, Texts({u"COM1:", u"COM5:"}));
}

// A broken answer is read only within the bytes the spooler was given; what lies outside is skipped.
TEST(FillPortList, MalformedAnswersAreNeverReadPastTheBuffer) {
    static const char kOutside[] = "COM9:";
    auto set_name = [](uint8_t* buffer, size_t index, char* name) {
        std::memcpy(buffer + index * sizeof(PortInfo2) + offsetof(PortInfo2, pPortName), &name, sizeof name);
    };
    struct Case {
        const char* what;
        std::function<void(uint8_t*, uint32_t, uint32_t&)> tamper;
        std::vector<Text> expected;
    };
    const Case cases[] = {
        {"count beyond the buffer", [](uint8_t*, uint32_t, uint32_t& count) { count = 100000; },
         Texts({u"COM1:", u"COM2:"})},
        {"name outside the buffer",
         [&](uint8_t* buffer, uint32_t, uint32_t&) { set_name(buffer, 0, const_cast<char*>(kOutside)); },
         Texts({u"COM2:"})},
        {"null name", [&](uint8_t* buffer, uint32_t, uint32_t&) { set_name(buffer, 1, nullptr); }, Texts({u"COM1:"})},
        {"name just past the end",
         [&](uint8_t* buffer, uint32_t size, uint32_t&) {
             set_name(buffer, 0, reinterpret_cast<char*>(buffer + size));
         },
         Texts({u"COM2:"})},
        {"name without its NUL",
         [&](uint8_t* buffer, uint32_t size, uint32_t&) {
             std::memcpy(buffer + size - 4, "COM8", 4);
             set_name(buffer, 1, reinterpret_cast<char*>(buffer + size - 4));
         },
         Texts({u"COM1:"})},
        {"name pointing into the records",
         [&](uint8_t* buffer, uint32_t, uint32_t&) { set_name(buffer, 1, reinterpret_cast<char*>(buffer)); },
         Texts({u"COM1:"})},
    };
    for (const auto& c : cases) {
        auto spooler = FakeSpooler::WithNames({"COM1:", "COM2:"});
        spooler.tamper = c.tamper;
        const auto filled = Fill(spooler, port_kind::kSerial);
        EXPECT_EQ(filled.items, c.expected) << c.what;
    }
}

// A spooler claiming an absurd size is not believed: nothing is allocated for it and the list stays empty.
TEST(FillPortList, AbsurdSizeIsNotAllocated) {
    class Boastful : public Spooler {
      public:
        int EnumPortsA(uint32_t, uint8_t*, uint32_t, uint32_t* needed, uint32_t* returned) override {
            *needed = 0xFFFFFFF0u;
            *returned = 0;
            return 0;
        }
        uint32_t LastError() const override { return spooler::kErrorInsufficientBuffer; }
    } spooler;
    const auto filled = Fill(spooler, port_kind::kSerial);
    EXPECT_TRUE(filled.items.empty());
    EXPECT_EQ(filled.result, 0);
}

}  // namespace
}  // namespace corvanta
