#pragma once

#include <cstdint>
#include <map>
#include <optional>

#include "common/text.h"
#include "core/extract.h"
#include "core/keystroke_plan.h"
#include "core/log_path.h"
#include "core/policy_values.h"
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

// The code page number that means UTF-8, which is decoded by the program itself.
inline constexpr uint32_t kUtf8CodePage = 65001;

enum class ControlMode : uint8_t {
    kDrop,     // not typed
    kUnicode,  // typed as the character itself
    kMap,      // replaced by the text of control_map; unlisted ones are not typed
};

// What is typed around and in place of received text, and what is kept of it. The defaults type everything as it
// comes.
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
    // Extract and RepeatGap: with either set, a record is held until it ends, then typed as a whole or not at all.
    ExtractPattern extract;
    uint32_t repeat_gap_ms = 0;
    // LogFile: where each record's row goes; none, no log.
    LogPath log_file;

    bool operator==(const OutputSettings&) const = default;
};

}  // namespace corvanta
