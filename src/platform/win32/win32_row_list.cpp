#include "platform/win32/win32_row_list.h"

#include <commctrl.h>

#include <algorithm>
#include <string>

#include "platform/win32/win32_error.h"

namespace corvanta::win32 {

namespace {

// The list view reports no reason for a refusal: it fails only when memory runs out.
const char16_t kRefused[] = u": the list refused it (not enough memory).";

}  // namespace

LRESULT Win32RowList::Send(UINT message, WPARAM wparam, LPARAM lparam) const {
    return SendMessageW(list_, message, wparam, lparam);
}

size_t Win32RowList::ColumnCount() const {
    const auto header = reinterpret_cast<HWND>(Send(LVM_GETHEADER));
    const LRESULT count = header != nullptr ? SendMessageW(header, HDM_GETITEMCOUNT, 0, 0) : -1;
    return count > 0 ? static_cast<size_t>(count) : 1;
}

size_t Win32RowList::RowCount() const {
    return static_cast<size_t>(std::max<LRESULT>(Send(LVM_GETITEMCOUNT), 0));
}

void Win32RowList::CheckRow(size_t index) const {
    if (index >= RowCount()) {
        throw Error(u"The list has no row " + AsciiText(std::to_string(index)) + u".");
    }
}

std::vector<Text> Win32RowList::Row(size_t index) const {
    CheckRow(index);
    std::vector<Text> cells;
    for (size_t column = 0; column < ColumnCount(); ++column) {
        // The control copies as much as fits and says how much it copied: a full buffer may have cut the text.
        std::wstring buffer(256, L'\0');
        for (;;) {
            LVITEMW item{};
            item.iSubItem = static_cast<int>(column);
            item.pszText = buffer.data();
            item.cchTextMax = static_cast<int>(buffer.size());
            const auto copied = static_cast<size_t>(
                std::max<LRESULT>(Send(LVM_GETITEMTEXTW, index, reinterpret_cast<LPARAM>(&item)), 0));
            if (copied + 1 < buffer.size()) {
                cells.push_back(FromWide(buffer.data(), copied));
                break;
            }
            buffer.assign(buffer.size() * 2, L'\0');
        }
    }
    return cells;
}

void Win32RowList::SetCell(int row, size_t column, const Text& text) {
    LVITEMW item{};
    item.iSubItem = static_cast<int>(column);
    item.pszText = const_cast<wchar_t*>(Wide(text));
    if (!Send(LVM_SETITEMTEXTW, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&item))) {
        throw Error(Text(u"Showing a row in the list") + kRefused);
    }
}

void Win32RowList::AddRow(std::span<const Text> cells) {
    const Text first = cells.empty() ? Text() : cells[0];
    LVITEMW item{};
    item.mask = LVIF_TEXT;
    item.iItem = static_cast<int>(RowCount());
    item.pszText = const_cast<wchar_t*>(Wide(first));
    const auto row = static_cast<int>(Send(LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&item)));
    if (row < 0) {
        throw Error(Text(u"Adding a row to the list") + kRefused);
    }
    try {
        for (size_t column = 1; column < std::min(cells.size(), ColumnCount()); ++column) {
            SetCell(row, column, cells[column]);
        }
    } catch (const Error&) {
        // A row is added whole or not at all.
        Send(LVM_DELETEITEM, static_cast<WPARAM>(row));
        throw;
    }
}

void Win32RowList::SetRow(size_t index, std::span<const Text> cells) {
    CheckRow(index);
    for (size_t column = 0; column < std::min(cells.size(), ColumnCount()); ++column) {
        SetCell(static_cast<int>(index), column, cells[column]);
    }
}

void Win32RowList::RemoveFirstRow() {
    if (RowCount() > 0) {
        Send(LVM_DELETEITEM, 0);
    }
}

void Win32RowList::Clear() {
    Send(LVM_DELETEALLITEMS);
}

std::vector<size_t> Win32RowList::SelectedRows() const {
    std::vector<size_t> selected;
    for (LRESULT index = Send(LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_SELECTED); index >= 0;
         index = Send(LVM_GETNEXTITEM, static_cast<WPARAM>(index), LVNI_SELECTED)) {
        selected.push_back(static_cast<size_t>(index));
    }
    return selected;
}

void Win32RowList::Select(size_t index, bool selected) {
    CheckRow(index);
    LVITEMW item{};
    item.stateMask = LVIS_SELECTED;
    item.state = selected ? LVIS_SELECTED : 0;
    Send(LVM_SETITEMSTATE, index, reinterpret_cast<LPARAM>(&item));
}

// The rows from the top one in view down to the last whole one; a row cut by the bottom edge is not in view.
bool Win32RowList::LastRowInView() const {
    const size_t count = RowCount();
    if (count == 0) {
        return true;
    }
    const auto top = static_cast<size_t>(std::max<LRESULT>(Send(LVM_GETTOPINDEX), 0));
    const auto per_page = static_cast<size_t>(std::max<LRESULT>(Send(LVM_GETCOUNTPERPAGE), 0));
    return top + per_page >= count;
}

void Win32RowList::ScrollToLastRow() {
    const size_t count = RowCount();
    if (count > 0) {
        Send(LVM_ENSUREVISIBLE, count - 1, FALSE);
    }
}

}  // namespace corvanta::win32
