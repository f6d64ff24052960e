#pragma once

#include <vector>

#include "platform/list_control.h"

namespace corvanta {

// A drop-down list kept in memory; a test can make it refuse new entries.
class FakeComboBox : public ComboBox {
  public:
    void Clear() override;
    void AddItem(TextView item) override;
    int32_t ListCount() const override { return static_cast<int32_t>(items.size()); }
    Text List(int32_t index) const override;
    int32_t ListIndex() const override { return selected; }
    void SetListIndex(int32_t index) override;

    // The selected entry's text, or empty text when nothing is selected.
    Text SelectedText() const;
    // Selects the entry with this text, as a user would; throws corvanta::Error when there is none.
    void Choose(TextView text);

    std::vector<Text> items;
    int32_t selected = kNoSelection;
    bool refuse_adds = false;
};

}  // namespace corvanta
