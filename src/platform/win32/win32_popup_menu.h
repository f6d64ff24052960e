#pragma once

#include <windows.h>

#include <vector>

#include "common/text.h"
#include "platform/popup_menu.h"
#include "platform/win32/handles.h"

namespace corvanta::win32 {

// A pop-up menu owned by a window of ours, shown the way the shell expects of a tray menu: the owner comes to
// the foreground first, so that the menu closes when the user clicks elsewhere.
class Win32PopupMenu : public PopupMenu {
  public:
    explicit Win32PopupMenu(HWND owner) : owner_(owner) {}

    void Load(std::span<const MenuItemDef> items) override;
    bool Checked(int id) const override;
    void SetChecked(int id, bool checked) override;
    void SetVisible(int id, bool visible) override;
    std::optional<int> Popup(uint32_t flags) override;

    HMENU Handle() const { return menu_.Get(); }

  private:
    struct Item {
        int id;
        Text caption;
        bool visible = true;
        bool checked = false;  // kept here while the item is hidden
    };

    Item& Find(int id);
    const Item& Find(int id) const;
    // Adds the item at this position of the menu (-1: the end), with the check mark it keeps.
    void Insert(const Item& item, int position);

    HWND owner_;
    UniqueHmenu menu_;
    std::vector<Item> items_;
};

}  // namespace corvanta::win32
