#pragma once

#include <cstdint>

#include "common/text.h"
#include "platform/settings_store.h"

namespace corvanta {

// Where the port configuration lives in the settings store: application = the program title, this section,
// one text value per key.
inline constexpr char16_t kPortSection[] = u"Properties";
inline constexpr char16_t kKeyCommPort[] = u"CommPort";
inline constexpr char16_t kKeySettings[] = u"Settings";
inline constexpr char16_t kKeyHandshaking[] = u"Handshaking";

// The stored text under `key` of the port section, or default_value when nothing is stored.
Text ReadPortSetting(SettingsStore& store, TextView key, TextView default_value);

// Stored text to a port number or a handshaking code: decimal digits with an optional sign, blanks allowed
// around them. Anything else, or a number out of the type's range, throws Error naming the stored text.
int16_t StoredPortNumber(TextView stored);
int32_t StoredHandshaking(TextView stored);

// The shortest decimal form: no blanks, no leading zeros ("-12", "0", "3").
Text DecimalText(int64_t value);

}  // namespace corvanta
