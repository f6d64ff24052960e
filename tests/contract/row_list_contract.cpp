#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "contract/contract_sides.h"
#include "fakes/fake_row_list.h"
#include "platform/list_control.h"

#ifdef CORVANTA_HAVE_WIN32
#include <windows.h>

#include <commctrl.h>

#include "platform/win32/handles.h"
#include "platform/win32/win32_row_list.h"
#endif

namespace corvanta {
namespace {

struct RowListBed {
    std::shared_ptr<void> keep_alive;
    RowList* list = nullptr;
};

using RowListSide = contract::Side<RowListBed>;

constexpr size_t kColumns = 4;

#ifdef CORVANTA_HAVE_WIN32
// A list view in report view with four columns, as the Monitor makes it, a few rows high, on a window of its own.
struct Win32List {
    Win32List() {
        INITCOMMONCONTROLSEX classes{sizeof(classes), ICC_LISTVIEW_CLASSES};
        InitCommonControlsEx(&classes);
        parent.Reset(CreateWindowExW(0, L"STATIC", L"", WS_POPUP, 0, 0, 400, 200, nullptr, nullptr, nullptr, nullptr));
        view.Reset(CreateWindowExW(0, WC_LISTVIEWW, L"", WS_CHILD | WS_VISIBLE | LVS_REPORT | LVS_SHOWSELALWAYS, 0, 0,
                                   400, 200, parent.Get(), nullptr, nullptr, nullptr));
        for (size_t column = 0; column < kColumns; ++column) {
            wchar_t title[] = L"Column";
            LVCOLUMNW definition{};
            definition.mask = LVCF_TEXT | LVCF_WIDTH | LVCF_SUBITEM;
            definition.cx = 90;
            definition.pszText = title;
            definition.iSubItem = static_cast<int>(column);
            SendMessageW(view.Get(), LVM_INSERTCOLUMNW, column, reinterpret_cast<LPARAM>(&definition));
        }
        list = std::make_unique<win32::Win32RowList>(view.Get());
    }
    win32::UniqueHwnd parent;
    win32::UniqueHwnd view;
    std::unique_ptr<win32::Win32RowList> list;
};
#endif

std::vector<RowListSide> Sides() {
    std::vector<RowListSide> sides{{"Fake", [] {
                                        auto fake = std::make_shared<FakeRowList>();
                                        return RowListBed{fake, fake.get()};
                                    }}};
#ifdef CORVANTA_HAVE_WIN32
    sides.push_back({"Win32", []() -> RowListBed {
                         if (std::getenv("DISPLAY") == nullptr) {
                             return {};
                         }
                         auto bed = std::make_shared<Win32List>();
                         EXPECT_NE(bed->view.Get(), nullptr);
                         return RowListBed{bed, bed->list.get()};
                     }});
#endif
    return sides;
}

std::vector<Text> Cells(const std::string& first, Text typed = u"", Text status = u"typed") {
    return {AsciiText(first), u"received " + AsciiText(first), std::move(typed), std::move(status)};
}

class RowListContract : public ::testing::TestWithParam<RowListSide> {
  protected:
    void SetUp() override {
        bed = GetParam().make();
        if (bed.list == nullptr) {
            GTEST_SKIP() << "no display: no windows can be created";
        }
    }
    void Add(const std::vector<Text>& cells) { bed.list->AddRow(cells); }
    std::vector<std::string> Firsts() const {
        std::vector<std::string> firsts;
        for (size_t index = 0; index < bed.list->RowCount(); ++index) {
            firsts.push_back(ToUtf8(bed.list->Row(index).at(0)));
        }
        return firsts;
    }
    RowListBed bed;
};

// Rows stay in the order added with every cell as given (empty, beyond the ANSI code page, longer than a row of
// the screen); a change keeps the row's place and selection; a row that is not there is refused.
TEST_P(RowListContract, RowsAsGiven) {
    RowList& list = *bed.list;
    EXPECT_EQ(list.RowCount(), 0u);
    const std::vector<std::vector<Text>> rows{
        Cells("14:03:22.512", u"0123\u21B5"),
        {u"", u"", u"", u""},
        Cells("14:03:23.000", u"\u00E9\u6F22\U0001F600", u"waiting"),
        Cells("long", Text(5000, u'9') + u"\u2026(+3 characters)"),
    };
    for (const auto& row : rows) {
        Add(row);
    }
    ASSERT_EQ(list.RowCount(), rows.size());
    for (size_t index = 0; index < rows.size(); ++index) {
        EXPECT_EQ(list.Row(index), rows[index]) << "row " << index;
    }
    list.Select(2, true);
    const std::vector<Text> settled = Cells("14:03:23.000", u"PRE\u00E9\u21B5", u"held");
    list.SetRow(2, settled);
    EXPECT_EQ(list.Row(2), settled);
    EXPECT_EQ(list.Row(1), rows[1]) << "a neighbour changed";
    EXPECT_EQ(list.SelectedRows(), std::vector<size_t>{2});
    EXPECT_THROW(list.Row(4), Error);
    EXPECT_THROW(list.SetRow(4, settled), Error);
    EXPECT_THROW(list.Select(4, true), Error);

    list.Clear();
    EXPECT_EQ(list.RowCount(), 0u);
    EXPECT_EQ(list.SelectedRows(), std::vector<size_t>{});
}

// The oldest row goes without taking the user's selection along: the selected rows stay selected where they moved.
TEST_P(RowListContract, RemovingTheFirstRowKeepsTheSelection) {
    RowList& list = *bed.list;
    for (const char* first : {"a", "b", "c", "d", "e"}) {
        Add(Cells(first));
    }
    list.Select(1, true);
    list.Select(3, true);
    list.Select(4, true);
    list.Select(4, false);
    list.RemoveFirstRow();
    EXPECT_EQ(Firsts(), (std::vector<std::string>{"b", "c", "d", "e"}));
    EXPECT_EQ(list.SelectedRows(), (std::vector<size_t>{0, 2}));
    list.RemoveFirstRow();
    EXPECT_EQ(list.SelectedRows(), (std::vector<size_t>{1})) << "the selected first row went with it";
}

// The last row is in view until rows fill more than the list shows; scrolled to it, it is in view again, and a row
// added below it is not, until the list scrolls.
TEST_P(RowListContract, LastRowInView) {
    RowList& list = *bed.list;
    EXPECT_TRUE(list.LastRowInView()) << "an empty list";
    Add(Cells("first"));
    EXPECT_TRUE(list.LastRowInView()) << "one row";
    for (int n = 0; n < 60; ++n) {
        Add(Cells(std::to_string(n)));
    }
    EXPECT_FALSE(list.LastRowInView()) << "61 rows, not scrolled";
    list.ScrollToLastRow();
    EXPECT_TRUE(list.LastRowInView()) << "scrolled to the last row";
    Add(Cells("below"));
    EXPECT_FALSE(list.LastRowInView()) << "a row added below the view";
    list.ScrollToLastRow();
    EXPECT_TRUE(list.LastRowInView());
    list.RemoveFirstRow();
    EXPECT_TRUE(list.LastRowInView()) << "the oldest row went";
}

INSTANTIATE_TEST_SUITE_P(Lists, RowListContract, ::testing::ValuesIn(Sides()), contract::SideName());

}  // namespace
}  // namespace corvanta
