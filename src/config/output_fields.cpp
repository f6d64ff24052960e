#include "config/output_fields.h"

#include <algorithm>
#include <functional>
#include <memory>
#include <string>
#include <utility>

#include "core/escapes.h"
#include "core/output_pipeline.h"
#include "core/record_journal.h"
#include "monitor/monitor_rows.h"

namespace corvanta {

namespace {

struct FieldLook {
    const char16_t* name;
    const char16_t* label;
    FieldGroup group;
    FieldKind kind;
};

// Mnemonics are unique over the dialog, Try included.
constexpr FieldLook kLooks[] = {
    {u"Prefix", u"&Prefix:", FieldGroup::kWhat, FieldKind::kText},
    {u"Suffix", u"&Suffix:", FieldGroup::kWhat, FieldKind::kText},
    {u"LineEnd", u"&Line end:", FieldGroup::kWhat, FieldKind::kList},
    {u"ControlCharacters", u"&Control characters:", FieldGroup::kWhat, FieldKind::kList},
    {u"Encoding", u"E&ncoding:", FieldGroup::kHow, FieldKind::kList},
    {u"KeyDelay", u"Key &delay (ms):", FieldGroup::kHow, FieldKind::kNumber},
    {u"KeyMode", u"&Key mode:", FieldGroup::kHow, FieldKind::kList},
    {u"RecordGap", u"Record &gap (ms):", FieldGroup::kHow, FieldKind::kNumber},
    {u"Extract", u"E&xtract pattern:", FieldGroup::kWhat, FieldKind::kText},
    {u"RepeatGap", u"Skip &repeats (ms):", FieldGroup::kWhat, FieldKind::kNumber},
    {u"LogFile", u"L&og file:", FieldGroup::kHow, FieldKind::kText},
    {u"Command", u"Co&mmand:", FieldGroup::kRequest, FieldKind::kText},
    {u"Hotkey", u"&Hotkey:", FieldGroup::kRequest, FieldKind::kHotkey},
    {u"Interval", u"&Interval (ms):", FieldGroup::kRequest, FieldKind::kNumber},
    {u"ReplyTimeout", u"Repl&y timeout (ms):", FieldGroup::kRequest, FieldKind::kNumber},
};

bool IsEncoding(const Field& field) {
    return TextView(field.value->name) == u"Encoding";
}

std::vector<FieldChoice> Choices(TextView name, const std::vector<CodePages::Installed>& installed) {
    if (name == u"LineEnd") {
        return {{u"Enter", u"enter"}, {u"Tab", u"tab"}, {u"None", u"none"}, {u"Text\u2026", std::nullopt}};
    }
    if (name == u"ControlCharacters") {
        return {{u"Drop them", u"drop"}, {u"Type them as they are", u"unicode"}, {u"Map\u2026", std::nullopt}};
    }
    if (name == u"KeyMode") {
        return {{u"Keyboard layout", u"layout"}, {u"Unicode characters", u"unicode"}, {u"Scan codes", u"scancode"}};
    }
    std::vector<FieldChoice> choices = {{u"System ANSI code page", u"ansi"}, {u"UTF-8", u"utf-8"}};
    for (const CodePages::Installed& code_page : installed) {
        choices.push_back({code_page.name, AsciiText(std::to_string(code_page.number))});
    }
    return choices;
}

bool AllDigits(TextView text) {
    return !text.empty() && std::all_of(text.begin(), text.end(), [](char16_t c) { return c >= u'0' && c <= u'9'; });
}

Text DecimalOf(uint32_t number) {
    return AsciiText(std::to_string(number));
}

// The stored value as it stands, for a value the reader refused; nothing when it is of a type no field shows.
std::optional<SettingValue> StoredAsItStands(const ValueDefinition& value,
                                             const GroupValue& found,
                                             const AnsiCodePage& ansi) {
    if (found.read.status != RegValueRead::Status::kRead) {
        return std::nullopt;
    }
    try {
        return StoredSettingValue(value.type, found.read.value, ansi);
    } catch (const Error&) {
        // Another registry type: the field shows the default the reader uses instead, and OK replaces it.
        return std::nullopt;
    }
}

bool Storable(const SettingValue& value, const AnsiCodePage& ansi) {
    return ansi.ToText(ansi.ToAnsi(value.text)) == value.text;
}

class NoTimer : public Timer {
  public:
    void Start(uint32_t) override {}
    void Stop() override {}
    bool Pending() const override { return false; }
    void SetOnTimer(std::function<void()>) override {}
};

class StillClock : public Clock {
  public:
    LocalTime Now() const override { return {}; }
    uint64_t Milliseconds() const override { return 0; }
};

}  // namespace

bool Field::TakesText(int choice) const {
    return kind == FieldKind::kList && choice >= 0 && static_cast<size_t>(choice) < choices.size() &&
           !choices[static_cast<size_t>(choice)].value;
}

Text Field::Name() const {
    Text name;
    for (const char16_t c : label) {
        if (c != u'&') {
            name.push_back(c);
        }
    }
    if (!name.empty() && name.back() == u':') {
        name.pop_back();
    }
    return name;
}

std::vector<Field> MakeFields(const std::vector<CodePages::Installed>& installed) {
    std::vector<Field> fields;
    for (const ValueDefinition& value : ValueDefinitions()) {
        const auto look = std::find_if(std::begin(kLooks), std::end(kLooks),
                                       [&](const FieldLook& l) { return TextView(l.name) == value.name; });
        if (look == std::end(kLooks)) {
            throw Error(u"The Output Settings dialog has no field for " + Text(value.name) + u".");
        }
        Field field{&value, look->label, look->group, look->kind, {}};
        if (field.kind == FieldKind::kList) {
            field.choices = Choices(value.name, installed);
        }
        fields.push_back(std::move(field));
    }
    return fields;
}

FieldState ShownState(Field& field, const SettingValue& value) {
    switch (field.kind) {
        case FieldKind::kNumber:
            return {-1, DecimalOf(value.number)};
        case FieldKind::kText:
        case FieldKind::kHotkey:
            return {-1, value.text};
        case FieldKind::kList:
            break;
    }
    for (size_t i = 0; i < field.choices.size(); ++i) {
        if (field.choices[i].value && EqualIgnoringAsciiCase(*field.choices[i].value, value.text)) {
            return {static_cast<int>(i), Text()};
        }
    }
    // A code page this system does not list (a roaming profile's) is still shown by its number.
    if (IsEncoding(field) && AllDigits(value.text)) {
        field.choices.push_back({value.text, value.text});
        return {static_cast<int>(field.choices.size() - 1), Text()};
    }
    for (size_t i = 0; i < field.choices.size(); ++i) {
        if (!field.choices[i].value) {
            return {static_cast<int>(i), value.text};
        }
    }
    return {-1, value.text};
}

std::vector<LoadedField> LoadFields(std::vector<Field>& fields, Registry& registry, const ValueContext& context) {
    const SettingsRead read = ReadSettings(registry, context);
    std::vector<LoadedField> loaded;
    for (Field& field : fields) {
        const ValueDefinition& value = *field.value;
        const std::optional<GroupValue> found =
            LookUpGroupValue(registry, context.ansi, GroupPlaces(value.group), value.name);
        const bool refused = std::any_of(read.refused.begin(), read.refused.end(), [&](const RefusedValue& r) {
            return r.name == value.name || r.name == Text(value.name) + u" (policy)";
        });
        std::optional<SettingValue> shown;
        if (refused && found) {
            shown = StoredAsItStands(value, *found, context.ansi);
        }
        if (!shown) {
            shown = value.format(read.settings, context);
        }
        loaded.push_back({ShownState(field, *shown), found && found->FromPolicy()});
    }
    return loaded;
}

SettingValue FieldValue(const Field& field, const FieldState& state) {
    switch (field.kind) {
        case FieldKind::kText:
        case FieldKind::kHotkey:
            return {state.text, 0};
        case FieldKind::kNumber: {
            const Text number = TrimBlanks(state.text);
            if (number.empty()) {
                throw Error(u"it is empty: enter a number of milliseconds");
            }
            uint64_t parsed = 0;
            for (const char16_t c : number) {
                if (c < u'0' || c > u'9') {
                    throw Error(u"\"" + number + u"\" is not a whole number of milliseconds");
                }
                parsed = parsed * 10 + (c - u'0');
                if (parsed > UINT32_MAX) {
                    throw Error(u"\"" + number + u"\" is too large");
                }
            }
            return {Text(), static_cast<uint32_t>(parsed)};
        }
        case FieldKind::kList:
            break;
    }
    if (state.choice < 0 || static_cast<size_t>(state.choice) >= field.choices.size()) {
        throw Error(u"nothing is chosen");
    }
    const FieldChoice& choice = field.choices[static_cast<size_t>(state.choice)];
    return {choice.value ? *choice.value : state.text, 0};
}

FieldCheck CheckFields(std::span<const Field> fields,
                       std::span<const LoadedField> loaded,
                       std::span<const FieldState> states,
                       const ValueContext& context) {
    FieldCheck check;
    for (size_t i = 0; i < fields.size(); ++i) {
        const Field& field = fields[i];
        const bool policy = loaded[i].policy;
        // Parsed into a copy, so that a value refused leaves nothing half-set.
        ProgramSettings parsed = check.settings;
        try {
            field.value->parse(FieldValue(field, policy ? loaded[i].state : states[i]), context, parsed);
            if (!policy && field.value->type == ValueType::kText &&
                !Storable(field.value->format(parsed, context), context.ansi)) {
                throw Error(
                    u"it holds characters the system's code page cannot store: write them as escapes such as "
                    u"\\u20AC");
            }
            check.settings = std::move(parsed);
        } catch (const Error& error) {
            if (!policy) {
                check.failed = i;
                check.message = field.Name() + u": " + error.Description() + u".";
                return check;
            }
        }
    }
    return check;
}

std::vector<ValueChange> ChangedValues(std::span<const Field> fields,
                                       std::span<const LoadedField> loaded,
                                       std::span<const FieldState> states,
                                       const ProgramSettings& settings,
                                       const ValueContext& context) {
    std::vector<ValueChange> changes;
    for (size_t i = 0; i < fields.size(); ++i) {
        if (loaded[i].policy || states[i] == loaded[i].state) {
            continue;
        }
        const ValueDefinition& value = *fields[i].value;
        SettingValue canonical = value.format(settings, context);
        if (canonical == value.default_value) {
            changes.push_back({&value, std::nullopt});
        } else {
            changes.push_back({&value, std::move(canonical)});
        }
    }
    return changes;
}

void WriteValues(Registry& registry, const AnsiCodePage& ansi, std::span<const ValueChange> changes) {
    for (const ValueChange& change : changes) {
        const ValueDefinition& value = *change.value;
        const std::string path = ansi.ToAnsi(GroupPlaces(value.group).user_path);
        const std::string name = ansi.ToAnsi(value.name);
        const auto failed = [&](const char16_t* doing, long status) {
            return Error(Text(doing) + u" " + Text(value.name) + u" failed with error " +
                         DecimalOf(static_cast<uint32_t>(status)) +
                         (status == reg::kErrorAccessDenied ? Text(u" (access is denied).") : Text(u".")));
        };
        RegKey key = reg::kNoKey;
        if (!change.stored) {
            // Nothing stored is nothing to delete.
            long status = registry.RegOpenKeyExA(reg::kHkeyCurrentUser, path, 0, 0x0002 /* KEY_SET_VALUE */, &key);
            if (status == reg::kErrorFileNotFound) {
                continue;
            }
            if (status == reg::kErrorSuccess) {
                status = registry.RegDeleteValueA(key, name);
                registry.RegCloseKey(key);
            }
            if (status != reg::kErrorSuccess && status != reg::kErrorFileNotFound) {
                throw failed(u"Deleting", status);
            }
            continue;
        }
        long status = registry.RegCreateKeyA(reg::kHkeyCurrentUser, path, &key);
        if (status == reg::kErrorSuccess) {
            if (value.type == ValueType::kText) {
                const std::string bytes = ansi.ToAnsi(change.stored->text);
                status = registry.RegSetValueExA(key, name, 0, reg::kRegSz, bytes.c_str(),
                                                 static_cast<uint32_t>(bytes.size() + 1));
            } else {
                const uint32_t n = change.stored->number;
                const char bytes[4] = {static_cast<char>(n & 0xFF), static_cast<char>((n >> 8) & 0xFF),
                                       static_cast<char>((n >> 16) & 0xFF), static_cast<char>((n >> 24) & 0xFF)};
                status = registry.RegSetValueExA(key, name, 0, reg::kRegDword, bytes, 4);
            }
            registry.RegCloseKey(key);
        }
        if (status != reg::kErrorSuccess) {
            throw failed(u"Saving", status);
        }
    }
}

Text TryOutput(const OutputSettings& output, TextView sample, const AnsiCodePage& ansi, const CodePages& code_pages) {
    std::unique_ptr<AnsiCodePage> opened;
    if (output.code_page != 0 && output.code_page != kUtf8CodePage) {
        opened = code_pages.Open(output.code_page);
    }
    // The sample is what the device sends: its characters in the encoding, its \xNN bytes as they stand.
    const AnsiCodePage* encoding = output.code_page == kUtf8CodePage ? nullptr : opened ? opened.get() : &ansi;
    const std::string bytes = EncodeCommand(sample, encoding);

    NoTimer gap;
    const StillClock clock;
    OutputPipeline pipeline(ansi, code_pages, gap, clock);
    pipeline.SetSettings(output);
    std::vector<RecordPart> parts = pipeline.Receive(bytes);
    for (RecordPart& part : pipeline.GapElapsed()) {
        parts.push_back(std::move(part));
    }
    Text shown;
    for (const RecordPart& part : parts) {
        if (!part.end) {
            continue;
        }
        if (!shown.empty()) {
            shown += u"   ";
        }
        if (part.end->status != RecordStatus::kTyped) {
            shown += StatusText(part.end->status);
        } else if (part.end->typed.empty()) {
            shown += u"nothing";
        } else {
            shown += ShownTyped(part.end->typed);
        }
    }
    return shown;
}

}  // namespace corvanta
