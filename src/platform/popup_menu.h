#pragma once

#include <cstdint>
#include <optional>
#include <span>

namespace corvanta {

// One item of a pop-up menu. Ids are non-zero and unique within the menu; a caption of "-" is a separator line.
struct MenuItemDef {
    int id;
    const char16_t* caption;
};

namespace popup {
// The menu's left edge is at the cursor.
constexpr uint32_t kLeftAlign = 0x0;
// Items can be chosen with the right mouse button as well as the left.
constexpr uint32_t kRightButton = 0x2;
}  // namespace popup

// A form's pop-up menu: built once from its items, shown at the cursor with no default item.
class PopupMenu {
  public:
    virtual ~PopupMenu() = default;

    // Builds the menu from items, in display order. Called once, before anything else.
    virtual void Load(std::span<const MenuItemDef> items) = 0;

    // The check mark of an item; an unknown id throws corvanta::Error.
    virtual bool Checked(int id) const = 0;
    virtual void SetChecked(int id, bool checked) = 0;

    // Shows or hides the item, in its place among the items shown; a hidden item keeps its check mark and cannot be
    // chosen. Items start shown. An unknown id throws corvanta::Error.
    virtual void SetVisible(int id, bool visible) = 0;

    // Shows the menu at the cursor with the popup flags and waits until it has been dismissed. Returns the item
    // the user chose, or nullopt when the menu was dismissed without a choice.
    virtual std::optional<int> Popup(uint32_t flags) = 0;
};

}  // namespace corvanta
