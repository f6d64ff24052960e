// The values a user or an administrator sets in the registry, read as the program reads them: any bytes as any
// value, of any type and size, at any of the three places (the computer's policy, the user's policy, the user's
// own). Each value set somewhere is either taken or refused with a reason under its own name, "(policy)" when a
// policy set it, and a refused one keeps its default; the first place that holds a value decides it, whatever it
// holds, whatever the places after it and the other values hold; no key stays open; a value taken and written
// back in its canonical form reads the same.
//
// Input: a flags byte (bit 0: a double-byte ANSI code page), then entries until the input ends, each
//   u8 where   bits 0-1: 0 the computer's policy, 1 the user's policy, 2 the user's own, 3 the user's own with
//              the name in lower case (the registry's names ignore case); bits 2-7: the value, an index into the
//              values of every group in the order of kGroups
//   u8 type    the registry type (1 REG_SZ, 4 REG_DWORD, ...)
//   u16 size   0xFFFF: data padded past reg::kMaxValueBytes
//   the data
// A later entry for the same place and value replaces the earlier one.

#include <algorithm>
#include <cstddef>
#include <cstdio>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "core/mod1_registry.h"
#include "core/output_settings.h"
#include "core/policy_values.h"
#include "fakes/fake_ansi_code_page.h"
#include "fakes/fake_code_pages.h"
#include "fakes/fake_registry.h"
#include "fuzz_support.h"

using corvanta::AnsiCodePage;
using corvanta::FakeRegistry;
using corvanta::OutputSettings;
using corvanta::PolicyGroup;
using corvanta::RefusedValue;
using corvanta::RegValue;
using corvanta::Text;
using corvanta::TextView;
using corvanta::fuzz::Shown;
namespace reg = corvanta::reg;

namespace {

struct Services {
    corvanta::FakeAnsiCodePage ansi;
    corvanta::FakeCodePages code_pages;
};

// What a group's reader made of the registry.
template <typename Settings>
struct GroupRead {
    Settings settings;
    std::vector<RefusedValue> refused;
};

// One value of a group.
template <typename Settings>
struct ValueRow {
    const char16_t* name;
    // The fields of the settings this value sets, shown: equal when the value means the same.
    std::function<std::string(const Settings&)> shown;
    // The value as a settings window writes it back, from the settings read; empty where no canonical form
    // exists yet.
    std::function<RegValue(const Settings&, const AnsiCodePage&)> canonical;
};

// A group of values under one user path and one policy path, and the reader the program uses for it.
template <typename Settings>
struct Group {
    const char* label;
    PolicyGroup keys;
    std::vector<ValueRow<Settings>> values;
    std::function<GroupRead<Settings>(corvanta::Registry&, const Services&)> read;
};

std::string Number(uint64_t number) {
    return std::to_string(number);
}

std::string Optional(const std::optional<Text>& text) {
    return text ? Shown(*text) : "(none)";
}

RegValue Dword(uint32_t number) {
    std::string data(4, '\0');
    for (size_t i = 0; i < 4; ++i) {
        data[i] = static_cast<char>(number >> (8 * i));
    }
    return {reg::kRegDword, data};
}

// The output values. A new value is a row here (its name as the reader knows it, the fields it sets, its
// canonical form once the settings window writes one); the start-up check below fails on a value the reader
// reads without a row.
const Group<OutputSettings> kOutput{
    "Output",
    corvanta::kOutputGroup,
    {
        {u"Prefix", [](const OutputSettings& s) { return Shown(s.prefix); }, nullptr},
        {u"Suffix", [](const OutputSettings& s) { return Shown(s.suffix); }, nullptr},
        {u"LineEnd", [](const OutputSettings& s) { return Optional(s.line_end); }, nullptr},
        {u"ControlCharacters",
         [](const OutputSettings& s) {
             std::string shown = Number(static_cast<unsigned>(s.controls));
             for (const auto& [control, text] : s.control_map) {
                 shown += " " + Number(control) + "=" + Shown(text);
             }
             return shown;
         },
         nullptr},
        {u"Encoding", [](const OutputSettings& s) { return Number(s.code_page); }, nullptr},
        {u"KeyDelay", [](const OutputSettings& s) { return Number(s.key_delay_ms); },
         [](const OutputSettings& s, const AnsiCodePage&) { return Dword(s.key_delay_ms); }},
        {u"KeyMode", [](const OutputSettings& s) { return Number(static_cast<unsigned>(s.key_mode)); }, nullptr},
        {u"RecordGap", [](const OutputSettings& s) { return Number(s.record_gap_ms); },
         [](const OutputSettings& s, const AnsiCodePage&) { return Dword(s.record_gap_ms); }},
    },
    [](corvanta::Registry& registry, const Services& services) {
        corvanta::OutputSettingsRead read = corvanta::ReadOutputSettings(registry, services.ansi, services.code_pages);
        return GroupRead<OutputSettings>{std::move(read.settings), std::move(read.refused)};
    },
};

// Every name the output reader reads has a row, and every row a name it reads.
bool RowsMatchTheReader() {
    std::vector<Text> names(std::begin(corvanta::kOutputValueNames), std::end(corvanta::kOutputValueNames));
    std::vector<Text> rows;
    for (const auto& row : kOutput.values) {
        rows.emplace_back(row.name);
    }
    return names == rows;
}

// A value as the input puts it: where, under which spelling of its name, with what.
struct Entry {
    size_t place = 0;  // into the group's keys: computer policy, user policy, the user's own
    bool lower_case = false;
    FakeRegistry::Value value;
};

constexpr const char* kPlaces[] = {"the computer's policy", "the user's policy", "the user's own"};

std::string Describe(const Entry& entry) {
    std::string data;
    for (const char byte : entry.value.data.substr(0, 64)) {
        const auto unit = static_cast<unsigned char>(byte);
        char shown[8];
        std::snprintf(shown, sizeof shown, unit >= 0x20 && unit < 0x7F && unit != '\\' ? "%c" : "\\x%02X", unit);
        data += shown;
    }
    return std::string(kPlaces[entry.place]) + ", type " + Number(entry.value.type) + ", " +
           Number(entry.value.data.size()) + " bytes \"" + data + (entry.value.data.size() > 64 ? "...\"" : "\"");
}

void Put(FakeRegistry& registry, const PolicyGroup& keys, const Text& name, const Entry& entry) {
    const corvanta::RegKeyPath key = corvanta::GroupKeys(keys)[entry.place];
    Text spelled = name;
    if (entry.lower_case) {
        for (char16_t& unit : spelled) {
            unit = corvanta::AsciiLower(unit);
        }
    }
    registry.Put(key.root, corvanta::ToUtf8(key.path), corvanta::ToUtf8(spelled), entry.value.type, entry.value.data);
}

const RefusedValue* RefusalOf(const std::vector<RefusedValue>& refused, TextView name) {
    for (const RefusedValue& value : refused) {
        if (value.name == name || value.name == Text(name) + u" (policy)") {
            return &value;
        }
    }
    return nullptr;
}

// Per value, what the input put at each place; the groups' values side by side, in the order of the checks.
using Entries = std::vector<std::map<size_t, Entry>>;

// The group's values are entries[first] on.
template <typename Settings>
void CheckGroup(const Group<Settings>& group, const Services& services, const Entries& all, size_t first) {
    const Entries entries(all.begin() + static_cast<std::ptrdiff_t>(first),
                          all.begin() + static_cast<std::ptrdiff_t>(first + group.values.size()));
    FakeRegistry registry;
    for (size_t i = 0; i < group.values.size(); ++i) {
        for (const auto& [place, entry] : entries[i]) {
            Put(registry, group.keys, group.values[i].name, entry);
        }
    }
    const GroupRead<Settings> read = group.read(registry, services);
    const std::string label = group.label;
    FUZZ_CHECK(registry.OpenKeyCount() == 0, label + ": a key stayed open");
    const GroupRead<Settings> again = group.read(registry, services);
    FUZZ_CHECK(again.refused == read.refused, label + ": a second read refused other values");

    // Only the group's values are refused, each once, with a reason a message box shows whole.
    for (const RefusedValue& refusal : read.refused) {
        size_t named = 0;
        for (const RefusedValue& other : read.refused) {
            named += other.name == refusal.name ? 1 : 0;
        }
        bool known = false;
        for (const auto& row : group.values) {
            known = known || RefusalOf({refusal}, row.name) != nullptr;
        }
        const std::string shown = label + ": refused " + Shown(refusal.name) + ": " + Shown(refusal.reason);
        FUZZ_CHECK(known && named == 1, shown + ", not one of the group's values, once");
        FUZZ_CHECK(!refusal.reason.empty() && refusal.reason.find(u'\0') == Text::npos, shown);
    }
    const Text message = corvanta::RefusalMessage(read.refused);

    const Settings defaults{};
    for (size_t i = 0; i < group.values.size(); ++i) {
        const ValueRow<Settings>& row = group.values[i];
        const std::string name = label + "\\" + corvanta::ToUtf8(row.name);
        const RefusedValue* refusal = RefusalOf(read.refused, row.name);
        const std::string field = row.shown(read.settings);
        if (entries[i].empty()) {
            FUZZ_CHECK(refusal == nullptr && field == row.shown(defaults),
                       name + " is set nowhere, yet reads " + field + (refusal ? " (refused)" : ""));
            continue;
        }
        // The first place that holds the value decides, alone: what it reads with nothing else set.
        const Entry& decider = entries[i].begin()->second;
        const std::string context = name + " from " + Describe(decider);
        FakeRegistry alone;
        Put(alone, group.keys, row.name, decider);
        const GroupRead<Settings> by_itself = group.read(alone, services);
        const RefusedValue* refused_alone = RefusalOf(by_itself.refused, row.name);
        FUZZ_CHECK(field == row.shown(by_itself.settings),
                   context + " reads " + field + " among the others, " + row.shown(by_itself.settings) + " alone");
        FUZZ_CHECK(
            (refusal == nullptr) == (refused_alone == nullptr) && (refusal == nullptr || *refusal == *refused_alone),
            context + ": refused among the others and alone differ");
        if (refusal != nullptr) {
            const Text expected_name = Text(row.name) + (decider.place < 2 ? u" (policy)" : u"");
            FUZZ_CHECK(refusal->name == expected_name, context + " refused as " + Shown(refusal->name));
            FUZZ_CHECK(field == row.shown(defaults), context + " refused, yet reads " + field);
            FUZZ_CHECK(message.find(refusal->name + u": " + refusal->reason) != Text::npos,
                       context + ": the message leaves out " + Shown(refusal->name));
            continue;
        }
        // Taken: written back in its canonical form, it reads the same.
        if (row.canonical) {
            const RegValue written = row.canonical(read.settings, services.ansi);
            FakeRegistry rewritten;
            Put(rewritten, group.keys, row.name, Entry{2, false, {written.type, written.data}});
            const GroupRead<Settings> reread = group.read(rewritten, services);
            FUZZ_CHECK(RefusalOf(reread.refused, row.name) == nullptr && row.shown(reread.settings) == field,
                       context + " reads " + field + ", its canonical form " +
                           Describe(Entry{2, false, {written.type, written.data}}) + " otherwise");
        }
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const bool rows_match = RowsMatchTheReader();
    FUZZ_CHECK(rows_match, "the rows of kOutput are not the values ReadOutputSettings reads");

    corvanta::fuzz::Reader input(data, size);
    Services services;
    services.ansi.double_byte = (input.U8() & 1) != 0;

    // A new group: its size here, and its check below.
    Entries entries(kOutput.values.size());
    while (!input.Empty()) {
        const uint8_t where = input.U8();
        Entry entry;
        entry.place = std::min<size_t>(where & 3, 2);
        entry.lower_case = (where & 3) == 3;
        entry.value.type = input.U8();
        const uint16_t length = input.U16();
        entry.value.data = std::string(input.Bytes(length == 0xFFFF ? 0 : length));
        if (length == 0xFFFF) {
            entry.value.data.resize(reg::kMaxValueBytes + 1, 'A');
        }
        entries[static_cast<size_t>(where >> 2) % entries.size()][entry.place] = std::move(entry);
    }
    CheckGroup(kOutput, services, entries, 0);
    return 0;
}
