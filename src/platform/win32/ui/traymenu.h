// The tray menu in Win32: a pop-up menu built from the tray's menu items (captions, "-" separators, enabled and
// visible states) each time it opens; the chosen entry is clicked.
#pragma once

#include "shell/tray.h"

#include <windows.h>

namespace valumat::win32ui {

class TrayMenu {
public:
    // `owner` gets the menu's messages: the configuration window.
    TrayMenu(shell::Tray& tray, HWND owner) : tray_(tray), owner_(owner) {}

    // Opens the menu at the mouse position and clicks the chosen entry (what Tray::popupMenu asks for).
    void popup();

    // The menu as the tray's items are now; the caller destroys it. The command of item i (in Tray::menu()) is
    // i + 1.
    HMENU build() const;
    // Clicks the item of a menu command; 0 (the menu was closed without a choice) and unknown commands do nothing.
    void choose(UINT command);

private:
    shell::Tray& tray_;
    HWND owner_;
};

} // namespace valumat::win32ui
