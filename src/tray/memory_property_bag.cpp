#include "tray/memory_property_bag.h"

#include <utility>

namespace corvanta {

template <typename T>
const T* MemoryPropertyBag::Find(TextView name) const {
    const auto it = values_.find(name);
    if (it == values_.end()) {
        return nullptr;
    }
    if (const T* value = std::get_if<T>(&it->second)) {
        return value;
    }
    throw Error(u"The saved property \"" + Text(name) + u"\" has a different type.");
}

void MemoryPropertyBag::Store(TextView name, Value value, bool is_default) {
    const auto it = values_.find(name);
    if (is_default) {
        if (it != values_.end()) {
            values_.erase(it);
        }
    } else if (it != values_.end()) {
        it->second = std::move(value);
    } else {
        values_.emplace(Text(name), std::move(value));
    }
}

PictureRef MemoryPropertyBag::ReadPicture(TextView name, PictureRef default_value) {
    const PictureRef* value = Find<PictureRef>(name);
    return value != nullptr ? *value : default_value;
}

Text MemoryPropertyBag::ReadText(TextView name, TextView default_value) {
    const Text* value = Find<Text>(name);
    return value != nullptr ? *value : Text(default_value);
}

bool MemoryPropertyBag::ReadBool(TextView name, bool default_value) {
    const bool* value = Find<bool>(name);
    return value != nullptr ? *value : default_value;
}

// A picture equals its default only when it is the same object (or both are nothing).
void MemoryPropertyBag::WritePicture(TextView name, PictureRef value, PictureRef default_value) {
    const bool is_default = value == default_value;
    Store(name, std::move(value), is_default);
}

void MemoryPropertyBag::WriteText(TextView name, TextView value, TextView default_value) {
    Store(name, Text(value), value == default_value);
}

void MemoryPropertyBag::WriteBool(TextView name, bool value, bool default_value) {
    Store(name, value, value == default_value);
}

}  // namespace corvanta
