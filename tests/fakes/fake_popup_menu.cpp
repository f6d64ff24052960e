#include "fakes/fake_popup_menu.h"

#include <algorithm>

namespace corvanta {

void FakePopupMenu::Load(std::span<const MenuItemDef> defs) {
    if (!items.empty()) {
        throw Error(u"The menu is already loaded.");
    }
    for (const MenuItemDef& def : defs) {
        if (def.id == 0 || std::any_of(items.begin(), items.end(), [&](const Item& i) { return i.id == def.id; })) {
            throw Error(u"Menu item ids must be non-zero and unique.");
        }
        items.push_back({def.id, def.caption});
    }
}

const FakePopupMenu::Item& FakePopupMenu::Find(int id) const {
    const auto it = std::find_if(items.begin(), items.end(), [id](const Item& i) { return i.id == id; });
    if (it == items.end()) {
        throw Error(u"No such menu item.");
    }
    return *it;
}

bool FakePopupMenu::Checked(int id) const {
    return Find(id).checked;
}

void FakePopupMenu::SetChecked(int id, bool checked) {
    const_cast<Item&>(Find(id)).checked = checked;
}

void FakePopupMenu::SetVisible(int id, bool visible) {
    const_cast<Item&>(Find(id)).visible = visible;
}

std::optional<int> FakePopupMenu::Popup(uint32_t flags) {
    if (items.empty()) {
        throw Error(u"The menu has no items.");
    }
    popups.push_back(flags);
    if (choice && !Find(*choice).visible) {
        return std::nullopt;
    }
    return choice;
}

}  // namespace corvanta
