#pragma once

#include <cstddef>
#include <span>
#include <vector>

#include "platform/list_control.h"

namespace corvanta {

// A list of rows kept in memory with a view of `rows_in_view` rows from `top` on, which the test scrolls as a user
// would; a test can make it refuse new rows.
class FakeRowList : public RowList {
  public:
    size_t RowCount() const override { return rows.size(); }
    std::vector<Text> Row(size_t index) const override;
    void AddRow(std::span<const Text> cells) override;
    void SetRow(size_t index, std::span<const Text> cells) override;
    void RemoveFirstRow() override;
    void Clear() override;
    std::vector<size_t> SelectedRows() const override;
    void Select(size_t index, bool selected) override;
    bool LastRowInView() const override { return rows.size() <= top + rows_in_view; }
    void ScrollToLastRow() override { top = rows.size() > rows_in_view ? rows.size() - rows_in_view : 0; }

    struct Entry {
        std::vector<Text> cells;
        bool selected = false;
    };
    std::vector<Entry> rows;
    size_t top = 0;
    size_t rows_in_view = 10;
    bool refuse_adds = false;
};

}  // namespace corvanta
