#include "platform/win32/win32_popup_menu.h"

#include <string>

#include "platform/win32/win32_error.h"

namespace corvanta::win32 {

void Win32PopupMenu::Load(std::span<const MenuItemDef> items) {
    menu_.Reset(CreatePopupMenu());
    if (menu_.Get() == nullptr) {
        ThrowLastError(u"Creating the menu");
    }
    items_.clear();
    for (const MenuItemDef& item : items) {
        items_.push_back({item.id, Text(item.caption)});
        Insert(items_.back(), -1);
    }
}

void Win32PopupMenu::Insert(const Item& item, int position) {
    const UINT flags =
        MF_BYPOSITION | (item.caption == u"-" ? MF_SEPARATOR : MF_STRING) | (item.checked ? MF_CHECKED : MF_UNCHECKED);
    if (!InsertMenuW(menu_.Get(), static_cast<UINT>(position), flags, static_cast<UINT_PTR>(item.id),
                     item.caption == u"-" ? nullptr : Wide(item.caption))) {
        ThrowLastError(u"Adding a menu item");
    }
}

Win32PopupMenu::Item& Win32PopupMenu::Find(int id) {
    for (Item& item : items_) {
        if (item.id == id) {
            return item;
        }
    }
    throw Error(u"The menu has no item " + AsciiText(std::to_string(id)) + u".");
}

const Win32PopupMenu::Item& Win32PopupMenu::Find(int id) const {
    return const_cast<Win32PopupMenu*>(this)->Find(id);
}

bool Win32PopupMenu::Checked(int id) const {
    const Item& item = Find(id);
    if (!item.visible) {
        return item.checked;
    }
    const UINT state = GetMenuState(menu_.Get(), static_cast<UINT>(id), MF_BYCOMMAND);
    if (state == static_cast<UINT>(-1)) {
        throw Error(u"The menu has no item " + AsciiText(std::to_string(id)) + u".");
    }
    return (state & MF_CHECKED) != 0;
}

void Win32PopupMenu::SetChecked(int id, bool checked) {
    Item& item = Find(id);
    item.checked = checked;
    if (item.visible && CheckMenuItem(menu_.Get(), static_cast<UINT>(id),
                                      MF_BYCOMMAND | (checked ? MF_CHECKED : MF_UNCHECKED)) == static_cast<DWORD>(-1)) {
        throw Error(u"The menu has no item " + AsciiText(std::to_string(id)) + u".");
    }
}

void Win32PopupMenu::SetVisible(int id, bool visible) {
    Item& item = Find(id);
    if (item.visible == visible) {
        return;
    }
    // A menu has no hidden items: a hidden one is taken out, and put back among the items shown before it.
    if (!visible) {
        item.checked = Checked(id);
        if (!RemoveMenu(menu_.Get(), static_cast<UINT>(id), MF_BYCOMMAND)) {
            ThrowLastError(u"Removing a menu item");
        }
        item.visible = false;
        return;
    }
    int position = 0;
    for (const Item& before : items_) {
        if (before.id == id) {
            break;
        }
        position += before.visible ? 1 : 0;
    }
    Insert(item, position);
    item.visible = true;
}

std::optional<int> Win32PopupMenu::Popup(uint32_t flags) {
    POINT cursor{};
    if (!GetCursorPos(&cursor)) {
        ThrowLastError(u"GetCursorPos");
    }
    // Without the foreground the menu would stay open after a click elsewhere. The call may be refused by the
    // foreground lock; the menu still works, it just lingers, so its result is not an error.
    SetForegroundWindow(owner_);
    UINT track = TPM_RETURNCMD | TPM_NONOTIFY | TPM_LEFTALIGN;
    if ((flags & popup::kRightButton) != 0) {
        track |= TPM_RIGHTBUTTON;
    }
    // 0 means dismissed or not shown (another menu already open); to the user both are "no choice".
    const BOOL chosen = TrackPopupMenu(menu_.Get(), track, cursor.x, cursor.y, 0, owner_, nullptr);
    // The task switch that the foreground change started only completes once the owner gets a message.
    PostMessageW(owner_, WM_NULL, 0, 0);
    if (chosen == 0) {
        return std::nullopt;
    }
    return static_cast<int>(chosen);
}

}  // namespace corvanta::win32
