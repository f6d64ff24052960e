#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "common/text.h"
#include "core/settings_model.h"
#include "platform/ansi_code_page.h"
#include "platform/code_pages.h"
#include "platform/registry.h"

namespace corvanta {

// How a value is edited in the Output Settings dialog.
enum class FieldKind : uint8_t {
    kText,    // an edit box holding the value's text
    kNumber,  // an edit box holding a number of milliseconds
    kList,    // a drop-down list; an entry without a value of its own takes the text of the edit box beside it
    kHotkey,  // a box that takes the combination pressed, shown by its canonical name
};

// The dialog's three groups: what is typed, how it is typed, asking the device.
enum class FieldGroup : uint8_t { kWhat, kHow, kRequest };

struct FieldChoice {
    Text caption;
    std::optional<Text> value;  // nothing: the value is the edit box's text ("Text…", "Map…")
};

// One field for each value of ValueDefinitions(), in that order.
struct Field {
    const ValueDefinition* value;
    Text label;  // with its mnemonic, such as "&Line end:"
    FieldGroup group;
    FieldKind kind;
    std::vector<FieldChoice> choices;  // kList only

    // Whether an entry takes the edit box's text: then the box is there to be typed in.
    bool TakesText(int choice) const;
    // The label without its "&" and colon, as a message names the field.
    Text Name() const;
};

// What a field holds: the entry chosen in its list (-1 for none, and for fields without a list) and its text.
struct FieldState {
    int choice = -1;
    Text text;
    bool operator==(const FieldState&) const = default;
};

// A field as the dialog opens it: its state, and whether a policy sets it (then it is shown greyed and never
// written).
struct LoadedField {
    FieldState state;
    bool policy = false;
    bool operator==(const LoadedField&) const = default;
};

// The fields for the system's code pages: Encoding lists the ANSI code page, UTF-8 and `installed`.
std::vector<Field> MakeFields(const std::vector<CodePages::Installed>& installed);

// The state that shows `value`: its entry in the list (a list without the value gets an entry for it when it is a
// code page number, else the entry that takes text), its text, or its number in decimal.
FieldState ShownState(Field& field, const SettingValue& value);

// Every field as the registry sets it now, from the place that decides it (machine policy, user policy, the user's
// value). A value the reader refuses is shown as it is stored, so that the user sees what to mend; where it cannot
// be shown (another type) the field shows the default.
std::vector<LoadedField> LoadFields(std::vector<Field>& fields, Registry& registry, const ValueContext& context);

// The value a field's state stands for, as the registry would hold it. Throws Error when there is none (no entry
// chosen, a number that is not one).
SettingValue FieldValue(const Field& field, const FieldState& state);

// The settings the fields make, each value parsed by the parser that reads the registry, or the first field (in the
// fields' order) that does not parse and the message naming it. A policy's field that does not parse keeps its
// default, as the reader does.
struct FieldCheck {
    ProgramSettings settings;
    std::optional<size_t> failed;
    Text message;
};
FieldCheck CheckFields(std::span<const Field> fields,
                       std::span<const LoadedField> loaded,
                       std::span<const FieldState> states,
                       const ValueContext& context);

// A value OK writes under HKEY_CURRENT_USER: its canonical form, or nothing to delete it (back at its default).
struct ValueChange {
    const ValueDefinition* value;
    std::optional<SettingValue> stored;
    bool operator==(const ValueChange&) const = default;
};

// The values OK writes: those of the user's fields whose state changed since the dialog opened, in canonical form.
// Throws Error naming a field whose text the system's code page cannot store (the registry keeps ANSI text).
std::vector<ValueChange> ChangedValues(std::span<const Field> fields,
                                       std::span<const LoadedField> loaded,
                                       std::span<const FieldState> states,
                                       const ProgramSettings& settings,
                                       const ValueContext& context);

// Writes the changes below HKEY_CURRENT_USER\Software\Corvanta\Output and \Request. Throws Error naming the value
// that could not be written; the ones before it are written.
void WriteValues(Registry& registry, const AnsiCodePage& ansi, std::span<const ValueChange> changes);

// What the relay would type for a sample of received data written with escapes (\r, \t, \xNN for a byte), with
// these settings: every record's keys with Enter as ↵ and Tab as ⇥, or why nothing would be typed ("no match",
// "too long"). The sample's last record ends as a pause would end it.
Text TryOutput(const OutputSettings& output, TextView sample, const AnsiCodePage& ansi, const CodePages& code_pages);

}  // namespace corvanta
