#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

#include "common/text.h"
#include "platform/popup_menu.h"

namespace corvanta {

// A pop-up menu that keeps its items, check marks and which are shown, records every popup's flags, and answers a
// popup with the item a test chose beforehand (nullopt: dismissed, or an item that is not shown).
class FakePopupMenu : public PopupMenu {
  public:
    struct Item {
        int id;
        Text caption;
        bool checked = false;
        bool visible = true;
        bool operator==(const Item&) const = default;
    };

    void Load(std::span<const MenuItemDef> defs) override;
    bool Checked(int id) const override;
    void SetChecked(int id, bool checked) override;
    void SetVisible(int id, bool visible) override;
    std::optional<int> Popup(uint32_t flags) override;

    std::vector<Item> items;
    std::vector<uint32_t> popups;  // the flags of each popup, in order
    std::optional<int> choice;     // answered by every popup until changed

  private:
    const Item& Find(int id) const;
};

}  // namespace corvanta
