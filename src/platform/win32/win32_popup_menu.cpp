#include "platform/win32/win32_popup_menu.h"

#include <string>

#include "platform/win32/win32_error.h"

namespace corvanta::win32 {

void Win32PopupMenu::Load(std::span<const MenuItemDef> items) {
    menu_.Reset(CreatePopupMenu());
    if (menu_.Get() == nullptr) {
        ThrowLastError(u"Creating the menu");
    }
    for (const MenuItemDef& item : items) {
        const Text caption(item.caption);
        const BOOL added = caption == u"-"
                               ? AppendMenuW(menu_.Get(), MF_SEPARATOR, static_cast<UINT_PTR>(item.id), nullptr)
                               : AppendMenuW(menu_.Get(), MF_STRING, static_cast<UINT_PTR>(item.id), Wide(caption));
        if (!added) {
            ThrowLastError(u"Adding a menu item");
        }
    }
}

bool Win32PopupMenu::Checked(int id) const {
    const UINT state = GetMenuState(menu_.Get(), static_cast<UINT>(id), MF_BYCOMMAND);
    if (state == static_cast<UINT>(-1)) {
        throw Error(u"The menu has no item " + AsciiText(std::to_string(id)) + u".");
    }
    return (state & MF_CHECKED) != 0;
}

void Win32PopupMenu::SetChecked(int id, bool checked) {
    if (CheckMenuItem(menu_.Get(), static_cast<UINT>(id), MF_BYCOMMAND | (checked ? MF_CHECKED : MF_UNCHECKED)) ==
        static_cast<DWORD>(-1)) {
        throw Error(u"The menu has no item " + AsciiText(std::to_string(id)) + u".");
    }
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
