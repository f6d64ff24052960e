#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "contract/contract_sides.h"
#include "fakes/fake_combo_box.h"
#include "platform/list_control.h"

#ifdef CORVANTA_HAVE_WIN32
#include <windows.h>

#include "platform/win32/handles.h"
#include "platform/win32/win32_combo_box.h"
#endif

namespace corvanta {
namespace {

struct ListBed {
    std::shared_ptr<void> keep_alive;
    ComboBox* list = nullptr;
};

using ListKind = contract::Side<ListBed>;

#ifdef CORVANTA_HAVE_WIN32
// A drop-down list as the dialogs create it, on a hidden window of its own.
struct Win32List {
    Win32List()
        : parent(CreateWindowExW(0, L"STATIC", L"", WS_POPUP, 0, 0, 200, 200, nullptr, nullptr, nullptr, nullptr)),
          combo(CreateWindowExW(0,
                                L"COMBOBOX",
                                L"",
                                WS_CHILD | WS_VISIBLE | WS_VSCROLL | CBS_DROPDOWNLIST,
                                0,
                                0,
                                120,
                                200,
                                parent.Get(),
                                nullptr,
                                nullptr,
                                nullptr)),
          list(combo.Get()) {}
    win32::UniqueHwnd parent;
    win32::UniqueHwnd combo;
    win32::Win32ComboBox list;
};
#endif

std::vector<ListKind> Kinds() {
    std::vector<ListKind> kinds{{"Fake", [] {
                                     auto fake = std::make_shared<FakeComboBox>();
                                     return ListBed{fake, fake.get()};
                                 }}};
#ifdef CORVANTA_HAVE_WIN32
    kinds.push_back({"Win32", []() -> ListBed {
                         if (std::getenv("DISPLAY") == nullptr) {
                             return {};
                         }
                         auto bed = std::make_shared<Win32List>();
                         EXPECT_NE(bed->combo.Get(), nullptr);
                         return ListBed{bed, &bed->list};
                     }});
#endif
    return kinds;
}

class ComboBoxContract : public ::testing::TestWithParam<ListKind> {
  protected:
    void SetUp() override {
        bed = GetParam().make();
        if (bed.list == nullptr) {
            GTEST_SKIP() << "no display: no windows can be created";
        }
    }
    std::vector<Text> Entries() const {
        std::vector<Text> entries;
        for (int32_t i = 0; i < bed.list->ListCount(); ++i) {
            entries.push_back(bed.list->List(i));
        }
        return entries;
    }
    ListBed bed;
};

// Entries stay in the order added, unsorted and unchanged (the dialog relies on positions), and a refill after
// Clear starts from nothing with no selection left over.
TEST_P(ComboBoxContract, EntriesKeepTheirOrderAndText) {
    ComboBox& list = *bed.list;
    EXPECT_EQ(list.ListCount(), 0);
    EXPECT_EQ(list.ListIndex(), ComboBox::kNoSelection) << "a new list";
    const std::vector<Text> entries{
        u"9600", u"110", u"COM10:", u"COM2", u"", u"1.5", u"\u00DCn\u00EFcode \u20AC \u4E2D"};
    for (const Text& entry : entries) {
        list.AddItem(entry);
    }
    EXPECT_EQ(Entries(), entries);
    list.SetListIndex(2);
    list.Clear();
    EXPECT_EQ(list.ListCount(), 0);
    EXPECT_EQ(list.ListIndex(), ComboBox::kNoSelection) << "after Clear";
    list.AddItem(u"Even");
    list.AddItem(u"Odd");
    EXPECT_EQ(Entries(), (std::vector<Text>{u"Even", u"Odd"}));
    EXPECT_EQ(list.ListIndex(), ComboBox::kNoSelection) << "after a refill";
}

// Any entry or none can be selected; an index outside the list is refused and changes nothing, and so is
// reading an entry that is not there.
TEST_P(ComboBoxContract, SelectionWithinTheList) {
    ComboBox& list = *bed.list;
    for (const char16_t* entry : {u"None", u"Xon/Xoff", u"RTS", u"XOn/RTS"}) {
        list.AddItem(entry);
    }
    for (int32_t index : {3, 0, ComboBox::kNoSelection, 1}) {
        list.SetListIndex(index);
        EXPECT_EQ(list.ListIndex(), index) << "selected " << index;
    }
    for (int32_t index : {4, -2, 100}) {
        EXPECT_THROW(list.SetListIndex(index), Error) << "index " << index;
        EXPECT_EQ(list.ListIndex(), 1) << "after index " << index;
        EXPECT_THROW(list.List(index), Error) << "entry " << index;
    }
}

INSTANTIATE_TEST_SUITE_P(Lists, ComboBoxContract, ::testing::ValuesIn(Kinds()), contract::SideName());

}  // namespace
}  // namespace corvanta
