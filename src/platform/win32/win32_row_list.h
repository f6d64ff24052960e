#pragma once

#include <windows.h>

#include "platform/list_control.h"

namespace corvanta::win32 {

// Rows over a list-view control in report view that its window owns, with its columns already in place; a cell
// beyond the last column is not kept. The control must not sort (no LVS_SORTASCENDING or LVS_SORTDESCENDING), so
// that rows keep the order in which they were added.
class Win32RowList : public RowList {
  public:
    explicit Win32RowList(HWND list) : list_(list) {}

    size_t RowCount() const override;
    std::vector<Text> Row(size_t index) const override;
    void AddRow(std::span<const Text> cells) override;
    void SetRow(size_t index, std::span<const Text> cells) override;
    void RemoveFirstRow() override;
    void Clear() override;
    std::vector<size_t> SelectedRows() const override;
    void Select(size_t index, bool selected) override;
    bool LastRowInView() const override;
    void ScrollToLastRow() override;

    HWND Window() const { return list_; }

  private:
    LRESULT Send(UINT message, WPARAM wparam = 0, LPARAM lparam = 0) const;
    size_t ColumnCount() const;
    void SetCell(int row, size_t column, const Text& text);
    void CheckRow(size_t index) const;

    HWND list_;
};

}  // namespace corvanta::win32
