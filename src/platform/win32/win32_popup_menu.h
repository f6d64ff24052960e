#pragma once

#include <windows.h>

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
    std::optional<int> Popup(uint32_t flags) override;

    HMENU Handle() const { return menu_.Get(); }

  private:
    HWND owner_;
    UniqueHmenu menu_;
};

}  // namespace corvanta::win32
