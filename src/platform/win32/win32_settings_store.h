#pragma once

#include "platform/settings_store.h"

namespace corvanta::win32 {

// Settings of the current user: HKEY_CURRENT_USER\Software\<app>\<section>, one REG_SZ value per key, read and
// written in UTF-16, so that a text outside the ANSI code page comes back as it went in. The values read by the
// rules of ReadRegValue and RegText: up to the first NUL; a value of another type, or one larger than
// reg::kMaxValueBytes, is taken as absent; an empty one is an empty text. Failures throw "operation: system
// message".
class Win32SettingsStore : public SettingsStore {
  public:
    Text GetSetting(TextView app, TextView section, TextView key, TextView default_value) override;
    void SaveSetting(TextView app, TextView section, TextView key, TextView value) override;
};

}  // namespace corvanta::win32
