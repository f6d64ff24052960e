#include "fakes/fake_row_list.h"

namespace corvanta {

namespace {
const Text kNoRow = u"There is no such row.";
}

std::vector<Text> FakeRowList::Row(size_t index) const {
    if (index >= rows.size()) {
        throw Error(kNoRow);
    }
    return rows[index].cells;
}

void FakeRowList::AddRow(std::span<const Text> cells) {
    if (refuse_adds) {
        throw Error(u"Adding a row to the list: Not enough memory resources are available to process this command.");
    }
    rows.push_back({{cells.begin(), cells.end()}, false});
}

void FakeRowList::SetRow(size_t index, std::span<const Text> cells) {
    if (index >= rows.size()) {
        throw Error(kNoRow);
    }
    rows[index].cells.assign(cells.begin(), cells.end());
}

void FakeRowList::RemoveFirstRow() {
    if (!rows.empty()) {
        rows.erase(rows.begin());
    }
}

void FakeRowList::Clear() {
    rows.clear();
    top = 0;
}

std::vector<size_t> FakeRowList::SelectedRows() const {
    std::vector<size_t> selected;
    for (size_t index = 0; index < rows.size(); ++index) {
        if (rows[index].selected) {
            selected.push_back(index);
        }
    }
    return selected;
}

void FakeRowList::Select(size_t index, bool selected) {
    if (index >= rows.size()) {
        throw Error(kNoRow);
    }
    rows[index].selected = selected;
}

}  // namespace corvanta
