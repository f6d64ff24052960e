#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "common/text.h"
#include "core/output_settings.h"
#include "core/policy_values.h"
#include "core/request_scheduler.h"
#include "platform/ansi_code_page.h"
#include "platform/code_pages.h"
#include "platform/environment.h"
#include "platform/registry.h"
#include "platform/registry_watch.h"

namespace corvanta {

// Everything set in the registry beyond the port: what is typed (Output) and how the device is asked (Request).
struct ProgramSettings {
    OutputSettings output;
    RequestSettings request;
    bool operator==(const ProgramSettings&) const = default;
};

// The keys of values: HKEY_CURRENT_USER\Software\Corvanta\<group>, and the same below Software\Policies in
// HKEY_LOCAL_MACHINE and HKEY_CURRENT_USER.
enum class ValueGroup : uint8_t { kOutput, kRequest };
const PolicyGroup& GroupPlaces(ValueGroup group);

enum class ValueType : uint8_t {
    kText,    // REG_SZ, read in the system's ANSI code page
    kNumber,  // REG_DWORD
};

// A value as the registry holds it: the text of a REG_SZ, the number of a REG_DWORD.
struct SettingValue {
    Text text;
    uint32_t number = 0;
    bool operator==(const SettingValue&) const = default;
};

// What reading a value needs of the system: the code pages (Encoding, and the Command's bytes in it) and the
// environment (the variables of LogFile).
struct ValueContext {
    const AnsiCodePage& ansi;
    const CodePages& code_pages;
    const Environment& environment;
};

// One value: where it lives, its registry type and default, how it is read and how it is written. The reader, the
// start-up message, the policy templates and the settings dialog all take their values from here.
struct ValueDefinition {
    const char16_t* name;
    ValueGroup group;
    ValueType type;
    // What Format gives for ProgramSettings{}, and what Parse takes back to them.
    SettingValue default_value;
    // Sets the value's part of `settings` and leaves the rest; throws Error saying why the value is refused. A value
    // may depend on one before it in the table (the Command's bytes on the Encoding).
    void (*parse)(const SettingValue& value, const ValueContext& context, ProgramSettings& settings);
    // The canonical form of the value's part of `settings`: parsed again, it gives that part back, for every part
    // Parse can make.
    SettingValue (*format)(const ProgramSettings& settings, const ValueContext& context);
};

// A stored value in the registry type the definition asks for (the text of a REG_SZ, a REG_DWORD's number); any
// other type is refused with Error saying what it is, never converted.
SettingValue StoredSettingValue(ValueType type, const RegValue& raw, const AnsiCodePage& ansi);

// Every value, the Output group's then the Request group's, in the order they are read and named.
std::span<const ValueDefinition> ValueDefinitions();

// A value that was not used, and why, in words for the user.
struct RefusedValue {
    Text name;
    Text reason;
    bool operator==(const RefusedValue&) const = default;
};

struct SettingsRead {
    ProgramSettings settings;
    std::vector<RefusedValue> refused;  // each of these has its default in settings
};

// Reads and checks every value, each from the first place of its group that sets it. A value that does not parse
// is not guessed at: it keeps its default and is listed in `refused`, named "(policy)" when a policy set it.
SettingsRead ReadSettings(Registry& registry, const ValueContext& context);

// Every key that holds values: what a change watch must see.
std::vector<RegKeyPath> SettingsKeys();

// The message that names the refused values, for one message box.
Text RefusalMessage(const std::vector<RefusedValue>& refused);

}  // namespace corvanta
