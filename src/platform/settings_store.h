#pragma once

#include "common/text.h"

namespace corvanta {

// Per-user application settings: text values addressed by application, section and key.
class SettingsStore {
  public:
    virtual ~SettingsStore() = default;

    // The stored text, or default_value when the key is absent.
    virtual Text GetSetting(TextView app, TextView section, TextView key, TextView default_value) = 0;

    // Creates or replaces the value. Throws corvanta::Error when the store refuses the write.
    virtual void SaveSetting(TextView app, TextView section, TextView key, TextView value) = 0;
};

}  // namespace corvanta
