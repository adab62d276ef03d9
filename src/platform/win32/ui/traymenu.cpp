#include "platform/win32/ui/traymenu.h"

#include "platform/win32/ui/wintext.h"

#include <vector>

namespace valumat::win32ui {

HMENU TrayMenu::build() const {
    HMENU menu = CreatePopupMenu();
    const std::vector<ui::MenuItem*> items = tray_.menu();
    for (std::size_t i = 0; i < items.size(); ++i) {
        const ui::MenuItem& item = *items[i];
        if (!item.visible()) {
            continue;
        }
        if (item.separator()) {
            AppendMenuW(menu, MF_SEPARATOR, 0, nullptr);
            continue;
        }
        const UINT flags = MF_STRING | (item.enabled() ? MF_ENABLED : MF_GRAYED);
        AppendMenuW(menu, flags, static_cast<UINT_PTR>(i + 1), widen(item.caption()).c_str());
    }
    return menu;
}

void TrayMenu::choose(UINT command) {
    const std::vector<ui::MenuItem*> items = tray_.menu();
    if (command >= 1 && command <= items.size()) {
        items[command - 1]->click();
    }
}

void TrayMenu::popup() {
    HMENU menu = build();
    POINT at{};
    GetCursorPos(&at);
    // The owner must be the foreground window, or the menu stays open when the user clicks elsewhere; the message
    // posted afterwards lets the menu close properly the next time.
    SetForegroundWindow(owner_);
    const UINT command = static_cast<UINT>(TrackPopupMenu(
        menu, TPM_RETURNCMD | TPM_NONOTIFY | TPM_RIGHTBUTTON | TPM_BOTTOMALIGN, at.x, at.y, 0, owner_, nullptr));
    PostMessageW(owner_, WM_NULL, 0, 0);
    DestroyMenu(menu);
    choose(command);
}

} // namespace valumat::win32ui
