#pragma once

#include <map>
#include <tuple>

#include "platform/settings_store.h"

namespace corvanta {

// Settings kept in a map; a test can make writes fail.
class FakeSettingsStore : public SettingsStore {
  public:
    using Key = std::tuple<Text, Text, Text>;

    Text GetSetting(TextView app, TextView section, TextView key, TextView default_value) override;
    void SaveSetting(TextView app, TextView section, TextView key, TextView value) override;

    std::map<Key, Text> values;
    bool refuse_writes = false;
};

}  // namespace corvanta
