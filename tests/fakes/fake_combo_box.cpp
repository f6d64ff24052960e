#include "fakes/fake_combo_box.h"

#include <algorithm>

namespace corvanta {

namespace {
const Text kInvalidValue = u"Invalid property value";
}

void FakeComboBox::Clear() {
    items.clear();
    selected = kNoSelection;
}

void FakeComboBox::AddItem(TextView item) {
    if (refuse_adds) {
        throw Error(u"Out of memory");
    }
    items.emplace_back(item);
}

Text FakeComboBox::List(int32_t index) const {
    if (index < 0 || index >= ListCount()) {
        throw Error(kInvalidValue);
    }
    return items[static_cast<size_t>(index)];
}

void FakeComboBox::SetListIndex(int32_t index) {
    if (index != kNoSelection && (index < 0 || index >= ListCount())) {
        throw Error(kInvalidValue);
    }
    selected = index;
}

Text FakeComboBox::SelectedText() const {
    return selected == kNoSelection ? Text() : items[static_cast<size_t>(selected)];
}

void FakeComboBox::Choose(TextView text) {
    const auto it = std::find(items.begin(), items.end(), text);
    if (it == items.end()) {
        throw Error(u"No entry " + Text(text));
    }
    selected = static_cast<int32_t>(it - items.begin());
}

}  // namespace corvanta
