#pragma once

#include "platform/settings_store.h"

namespace corvanta::win32 {

// Settings of the current user: HKEY_CURRENT_USER\Software\<app>\<section>, one REG_SZ value per key.
// A value of another type is taken as absent. Failures throw "operation: system message".
class Win32SettingsStore : public SettingsStore {
  public:
    Text GetSetting(TextView app, TextView section, TextView key, TextView default_value) override;
    void SaveSetting(TextView app, TextView section, TextView key, TextView value) override;
};

}  // namespace corvanta::win32
