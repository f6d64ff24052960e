#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <vector>

#include "common/text.h"
#include "core/escapes.h"
#include "core/keystroke_plan.h"
#include "core/policy_values.h"
#include "platform/ansi_code_page.h"
#include "platform/code_pages.h"
#include "platform/registry.h"

namespace corvanta {

// Where the output values live: the user's own, overridden by a value of the same name under the policy path,
// the computer's (kOutputPolicyRoot) before the user's (kOutputUserPolicyRoot).
inline constexpr RegKey kOutputUserRoot = reg::kHkeyCurrentUser;
inline constexpr char16_t kOutputUserPath[] = u"Software\\Corvanta\\Output";
inline constexpr RegKey kOutputPolicyRoot = reg::kHkeyLocalMachine;
inline constexpr RegKey kOutputUserPolicyRoot = reg::kHkeyCurrentUser;
inline constexpr char16_t kOutputPolicyPath[] = u"Software\\Policies\\Corvanta\\Output";
inline constexpr PolicyGroup kOutputGroup{kOutputUserPath, kOutputPolicyPath};

// Every value the reader looks at, in the order of its message.
inline constexpr const char16_t* kOutputValueNames[] = {u"Prefix",   u"Suffix",   u"LineEnd", u"ControlCharacters",
                                                        u"Encoding", u"KeyDelay", u"KeyMode", u"RecordGap"};

// The code page number that means UTF-8, which is decoded by the program itself.
inline constexpr uint32_t kUtf8CodePage = 65001;

enum class ControlMode : uint8_t {
    kDrop,     // not typed
    kUnicode,  // typed as the character itself
    kMap,      // replaced by the text of control_map; unlisted ones are not typed
};

// What is typed around and in place of received text. The defaults type everything as it comes.
struct OutputSettings {
    Text prefix;
    Text suffix;
    // What a line end becomes; nothing: the line end as it came, which types Enter.
    std::optional<Text> line_end;
    ControlMode controls = ControlMode::kDrop;
    std::map<char16_t, Text> control_map;
    // 0: the system's ANSI code page; kUtf8CodePage: UTF-8; otherwise a single- or double-byte code page.
    uint32_t code_page = 0;
    uint32_t key_delay_ms = 0;
    KeyMode key_mode = KeyMode::kLayout;
    uint32_t record_gap_ms = 100;

    bool operator==(const OutputSettings&) const = default;
};

// A value that was not used, and why, in words for the user.
struct RefusedValue {
    Text name;
    Text reason;
    bool operator==(const RefusedValue&) const = default;
};

struct OutputSettingsRead {
    OutputSettings settings;
    std::vector<RefusedValue> refused;  // each of these has its default in settings
};

// Reads and checks every output value, each from the first place of kOutputGroup that sets it. A value that does
// not parse is not guessed at: it keeps its default and is listed in `refused`, named "(policy)" when a policy
// set it.
OutputSettingsRead ReadOutputSettings(Registry& registry, const AnsiCodePage& ansi, const CodePages& code_pages);

// The message that names the refused values, for one message box.
Text RefusalMessage(const std::vector<RefusedValue>& refused);

}  // namespace corvanta
