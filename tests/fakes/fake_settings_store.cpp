#include "fakes/fake_settings_store.h"

namespace corvanta {

Text FakeSettingsStore::GetSetting(TextView app, TextView section, TextView key, TextView default_value) {
    auto it = values.find({Text(app), Text(section), Text(key)});
    return it == values.end() ? Text(default_value) : it->second;
}

void FakeSettingsStore::SaveSetting(TextView app, TextView section, TextView key, TextView value) {
    if (refuse_writes) {
        throw Error(u"Access is denied.");
    }
    values[{Text(app), Text(section), Text(key)}] = Text(value);
}

}  // namespace corvanta
