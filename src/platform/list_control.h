#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

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

// A list of rows in columns (a report view) that the user reads, scrolls and selects rows in; the program adds
// rows at the end, changes them in place and removes them. Each row has a text for each of the list's columns.
class RowList {
  public:
    virtual ~RowList() = default;

    virtual size_t RowCount() const = 0;
    // The texts of the row at index (0-based); throws corvanta::Error when there is none.
    virtual std::vector<Text> Row(size_t index) const = 0;

    virtual void AddRow(std::span<const Text> cells) = 0;
    // A changed row keeps its place and whether it is selected. Throws corvanta::Error when there is none.
    virtual void SetRow(size_t index, std::span<const Text> cells) = 0;
    // The selection stays with the rows that remain.
    virtual void RemoveFirstRow() = 0;
    virtual void Clear() = 0;

    // The indexes of the selected rows, ascending.
    virtual std::vector<size_t> SelectedRows() const = 0;
    virtual void Select(size_t index, bool selected) = 0;

    // Whether the last row is in view, or there is none: the user has not scrolled up from the bottom.
    virtual bool LastRowInView() const = 0;
    virtual void ScrollToLastRow() = 0;
};

}  // namespace corvanta
