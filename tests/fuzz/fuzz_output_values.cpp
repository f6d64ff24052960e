// The values a user or an administrator sets in the registry, the Output and the Request group's, read as the
// program reads them: any bytes as any value, of any type and size, at any of the three places (the computer's
// policy, the user's policy, the user's own). Each value set somewhere is either taken or refused with a reason
// under its own name, "(policy)" when a policy set it, and a refused one keeps its default; the first place that
// holds a value decides it, whatever it holds, whatever the places after it and the other values hold (but those
// it is read after: the Command's bytes are in the Encoding); no key stays open. Every value written back in its
// canonical form, as the settings dialog writes it, reads as the same settings.
//
// Input: a flags byte (bit 0: a double-byte ANSI code page), then entries until the input ends, each
//   u8 where   bits 0-1: 0 the computer's policy, 1 the user's policy, 2 the user's own, 3 the user's own with
//              the name in lower case (the registry's names ignore case); bits 2-7: the value, an index into
//              ValueDefinitions() (the Output group's, then the Request group's)
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
#include <span>
#include <string>
#include <vector>

#include "core/mod1_registry.h"
#include "core/settings_model.h"
#include "fakes/fake_ansi_code_page.h"
#include "fakes/fake_code_pages.h"
#include "fakes/fake_environment.h"
#include "fakes/fake_registry.h"
#include "fuzz_support.h"
#include "output_stream.h"

using corvanta::FakeRegistry;
using corvanta::ProgramSettings;
using corvanta::RefusedValue;
using corvanta::RegValue;
using corvanta::SettingsRead;
using corvanta::SettingValue;
using corvanta::Text;
using corvanta::TextView;
using corvanta::ValueDefinition;
using corvanta::fuzz::Shown;
using corvanta::fuzz::ShownBytes;
namespace reg = corvanta::reg;

namespace {

struct Services {
    Services() {
        environment.Set(u"TEMP", u"C:\\Users\\kim\\AppData\\Local\\Temp");
        environment.Set(u"USERPROFILE", u"C:\\Users\\kim");
    }
    corvanta::ValueContext Context() const { return {ansi, code_pages, environment}; }

    corvanta::FakeAnsiCodePage ansi;
    corvanta::FakeCodePages code_pages;
    corvanta::FakeEnvironment environment;
};

std::string Number(uint64_t number) {
    return std::to_string(number);
}

// One value: its name as the reader knows it, the part of the settings it sets, shown (equal when the value means
// the same), and the values before it that its reading depends on.
struct ValueRow {
    const char16_t* name;
    std::function<std::string(const ProgramSettings&)> shown;
    std::vector<const char16_t*> read_after{};
};

// A new value is a row here, in the order of ValueDefinitions(); the start-up check below fails on a value the
// reader reads without a row.
const ValueRow kValues[] = {
    {u"Prefix", [](const ProgramSettings& s) { return Shown(s.output.prefix); }},
    {u"Suffix", [](const ProgramSettings& s) { return Shown(s.output.suffix); }},
    {u"LineEnd",
     [](const ProgramSettings& s) { return s.output.line_end ? Shown(*s.output.line_end) : "(as it came)"; }},
    {u"ControlCharacters",
     [](const ProgramSettings& s) {
         std::string shown = Number(static_cast<unsigned>(s.output.controls));
         for (const auto& [control, text] : s.output.control_map) {
             shown += " " + Number(control) + "=" + Shown(text);
         }
         return shown;
     }},
    {u"Encoding", [](const ProgramSettings& s) { return Number(s.output.code_page); }},
    {u"KeyDelay", [](const ProgramSettings& s) { return Number(s.output.key_delay_ms); }},
    {u"KeyMode", [](const ProgramSettings& s) { return Number(static_cast<unsigned>(s.output.key_mode)); }},
    {u"RecordGap", [](const ProgramSettings& s) { return Number(s.output.record_gap_ms); }},
    {u"Extract", [](const ProgramSettings& s) { return Shown(s.output.extract.Source()); }},
    {u"RepeatGap", [](const ProgramSettings& s) { return Number(s.output.repeat_gap_ms); }},
    {u"LogFile", [](const ProgramSettings& s) { return Shown(s.output.log_file.Source()); }},
    {u"Command", [](const ProgramSettings& s) { return ShownBytes(s.request.command); }, {u"Encoding"}},
    {u"Hotkey",
     [](const ProgramSettings& s) {
         return s.request.hotkey ? Number(s.request.hotkey->modifiers) + "+" + Number(s.request.hotkey->key) : "(none)";
     }},
    {u"Interval", [](const ProgramSettings& s) { return Number(s.request.interval_ms); }},
    {u"ReplyTimeout", [](const ProgramSettings& s) { return Number(s.request.reply_timeout_ms); }},
};

constexpr size_t kValueCount = std::size(kValues);

std::span<const ValueDefinition> Definitions() {
    return corvanta::ValueDefinitions();
}

// Every value the reader reads has a row, in its order; each definition's default is what its format gives for
// the default settings, and parses back to them.
std::string TableProblem(const Services& services) {
    if (Definitions().size() != kValueCount) {
        return Number(Definitions().size()) + " values are read, " + Number(kValueCount) + " have a row";
    }
    const ProgramSettings defaults{};
    for (size_t i = 0; i < kValueCount; ++i) {
        const ValueDefinition& definition = Definitions()[i];
        if (Text(definition.name) != kValues[i].name) {
            return "value " + Number(i) + " is read as " + Shown(definition.name) + ", its row is " +
                   Shown(kValues[i].name);
        }
        if (definition.format(defaults, services.Context()) != definition.default_value) {
            return Shown(definition.name) + ": the default settings format as another value than its default";
        }
        ProgramSettings parsed;
        definition.parse(definition.default_value, services.Context(), parsed);
        if (parsed != defaults) {
            return Shown(definition.name) + ": its default parses to other settings";
        }
    }
    return {};
}

RegValue Dword(uint32_t number) {
    std::string data(4, '\0');
    for (size_t i = 0; i < 4; ++i) {
        data[i] = static_cast<char>(number >> (8 * i));
    }
    return {reg::kRegDword, data};
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

size_t IndexOf(TextView name) {
    for (size_t i = 0; i < kValueCount; ++i) {
        if (name == kValues[i].name) {
            return i;
        }
    }
    return kValueCount;
}

void Put(FakeRegistry& registry, size_t value, const Entry& entry) {
    const ValueDefinition& definition = Definitions()[value];
    const corvanta::RegKeyPath key = corvanta::GroupKeys(corvanta::GroupPlaces(definition.group))[entry.place];
    Text spelled = definition.name;
    if (entry.lower_case) {
        for (char16_t& unit : spelled) {
            unit = corvanta::AsciiLower(unit);
        }
    }
    registry.Put(key.root, corvanta::ToUtf8(key.path), corvanta::ToUtf8(spelled), entry.value.type, entry.value.data);
}

// The value as the settings dialog writes it to the user's own key: text as a REG_SZ in the ANSI code page, a
// number as a REG_DWORD.
void Write(FakeRegistry& registry, const Services& services, size_t value, const SettingValue& setting) {
    const ValueDefinition& definition = Definitions()[value];
    const corvanta::PolicyGroup& places = corvanta::GroupPlaces(definition.group);
    if (definition.type == corvanta::ValueType::kText) {
        corvanta::RegWriteString(registry, services.ansi, reg::kHkeyCurrentUser, places.user_path, definition.name,
                                 setting.text);
    } else {
        const RegValue dword = Dword(setting.number);
        Put(registry, value, Entry{2, false, {dword.type, dword.data}});
    }
}

std::string Label(size_t value) {
    const ValueDefinition& definition = Definitions()[value];
    return std::string(definition.group == corvanta::ValueGroup::kOutput ? "Output\\" : "Request\\") +
           corvanta::ToUtf8(definition.name);
}

const RefusedValue* RefusalOf(const std::vector<RefusedValue>& refused, TextView name) {
    for (const RefusedValue& value : refused) {
        if (value.name == name || value.name == Text(name) + u" (policy)") {
            return &value;
        }
    }
    return nullptr;
}

// Per value, what the input put at each place.
using Entries = std::vector<std::map<size_t, Entry>>;

void Check(const Services& services, const Entries& entries) {
    FakeRegistry registry;
    for (size_t i = 0; i < kValueCount; ++i) {
        for (const auto& [place, entry] : entries[i]) {
            Put(registry, i, entry);
        }
    }
    const SettingsRead read = corvanta::ReadSettings(registry, services.Context());
    FUZZ_CHECK(registry.OpenKeyCount() == 0, "a key stayed open");
    const SettingsRead again = corvanta::ReadSettings(registry, services.Context());
    FUZZ_CHECK(again.refused == read.refused && again.settings == read.settings, "a second read reads otherwise");

    // Only the values are refused, each once, with a reason a message box shows whole.
    for (const RefusedValue& refusal : read.refused) {
        size_t named = 0;
        for (const RefusedValue& other : read.refused) {
            named += other.name == refusal.name ? 1 : 0;
        }
        bool known = false;
        for (const ValueRow& row : kValues) {
            known = known || RefusalOf({refusal}, row.name) != nullptr;
        }
        const std::string shown = "refused " + Shown(refusal.name) + ": " + Shown(refusal.reason);
        FUZZ_CHECK(known && named == 1, shown + ", not one of the values, once");
        FUZZ_CHECK(!refusal.reason.empty() && refusal.reason.find(u'\0') == Text::npos, shown);
    }
    const Text message = corvanta::RefusalMessage(read.refused);

    const ProgramSettings defaults{};
    for (size_t i = 0; i < kValueCount; ++i) {
        const ValueRow& row = kValues[i];
        const std::string name = Label(i);
        const RefusedValue* refusal = RefusalOf(read.refused, row.name);
        const std::string field = row.shown(read.settings);
        if (entries[i].empty()) {
            FUZZ_CHECK(refusal == nullptr && field == row.shown(defaults),
                       name + " is set nowhere, yet reads " + field + (refusal ? " (refused)" : ""));
            continue;
        }
        // The first place that holds the value decides, alone: what it reads with nothing else set but the values
        // it is read after.
        const Entry& decider = entries[i].begin()->second;
        const std::string context = name + " from " + Describe(decider);
        FakeRegistry alone;
        Put(alone, i, decider);
        for (const char16_t* before : row.read_after) {
            const size_t other = IndexOf(before);
            for (const auto& [place, entry] : entries[other]) {
                Put(alone, other, entry);
            }
        }
        const SettingsRead by_itself = corvanta::ReadSettings(alone, services.Context());
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
        }
    }

    // The settings dialog's round trip: every value written in its canonical form reads as the same settings. The
    // registry's ANSI functions convert its UTF-16 text, so they never give a text that the ANSI code page cannot
    // write back (a lead byte without its trail byte): a value read from such bytes is left out.
    std::vector<bool> checked(kValueCount, true);
    for (size_t i = 0; i < kValueCount; ++i) {
        if (!entries[i].empty()) {
            const FakeRegistry::Value& raw = entries[i].begin()->second.value;
            const std::optional<Text> text = corvanta::RegText({raw.type, raw.data}, services.ansi);
            checked[i] = !text || services.ansi.ToText(services.ansi.ToAnsi(*text)) == *text;
        }
    }
    for (size_t i = 0; i < kValueCount; ++i) {
        for (const char16_t* before : kValues[i].read_after) {
            checked[i] = checked[i] && checked[IndexOf(before)];
        }
    }
    FakeRegistry rewritten;
    std::vector<SettingValue> written;
    for (size_t i = 0; i < kValueCount; ++i) {
        written.push_back(Definitions()[i].format(read.settings, services.Context()));
        Write(rewritten, services, i, written.back());
    }
    const SettingsRead reread = corvanta::ReadSettings(rewritten, services.Context());
    for (size_t i = 0; i < kValueCount; ++i) {
        if (!checked[i]) {
            continue;
        }
        const RefusedValue* refusal = RefusalOf(reread.refused, kValues[i].name);
        const std::string field = kValues[i].shown(read.settings);
        const std::string canonical =
            Definitions()[i].type == corvanta::ValueType::kText ? Shown(written[i].text) : Number(written[i].number);
        FUZZ_CHECK(refusal == nullptr, Label(i) + " reads " + field + ", its canonical form " + canonical +
                                           " is refused: " + (refusal ? Shown(refusal->reason) : ""));
        FUZZ_CHECK(kValues[i].shown(reread.settings) == field, Label(i) + " reads " + field + ", its canonical form " +
                                                                   canonical + " reads " +
                                                                   kValues[i].shown(reread.settings));
    }
    FUZZ_CHECK(reread.settings == read.settings || std::find(checked.begin(), checked.end(), false) != checked.end(),
               "the canonical forms read as other settings, with every value alike");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    corvanta::fuzz::Reader input(data, size);
    Services services;
    static const std::string table_problem = TableProblem(services);
    FUZZ_CHECK(table_problem.empty(), "kValues and ValueDefinitions(): " + table_problem);
    services.ansi.double_byte = (input.U8() & 1) != 0;

    Entries entries(kValueCount);
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
    Check(services, entries);
    return 0;
}
