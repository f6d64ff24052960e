#pragma once

#include <cstdint>

#include "common/text.h"

namespace corvanta {

// A drop-down list whose user picks one of its entries and cannot type. Entries stay in the order added.
class ComboBox {
  public:
    static constexpr int32_t kNoSelection = -1;

    virtual ~ComboBox() = default;

    // Removes every entry; the selection goes with them.
    virtual void Clear() = 0;
    virtual void AddItem(TextView item) = 0;

    virtual int32_t ListCount() const = 0;
    // The entry at index (0-based); throws corvanta::Error when there is none.
    virtual Text List(int32_t index) const = 0;

    // The selected entry's index, or kNoSelection. Setting an index outside the list (other than
    // kNoSelection) throws corvanta::Error and leaves the selection as it was.
    virtual int32_t ListIndex() const = 0;
    virtual void SetListIndex(int32_t index) = 0;
};

}  // namespace corvanta
