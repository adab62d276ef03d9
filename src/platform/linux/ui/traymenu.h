// The tray menu in Qt Widgets: a QMenu that mirrors the tray's menu items (captions, "-" separators) and clicks
// them when the user chooses an entry.
#pragma once

#include "shell/tray.h"

#include <QMenu>

#include <memory>
#include <utility>
#include <vector>

namespace valumat::qtui {

class TrayMenu {
public:
    // Destroy the menu before the Tray.
    explicit TrayMenu(shell::Tray& tray);
    ~TrayMenu();
    TrayMenu(const TrayMenu&) = delete;
    TrayMenu& operator=(const TrayMenu&) = delete;

    QMenu* menu() const { return menu_.get(); }
    // Opens the menu at the mouse position (what Tray::popupMenu asks for).
    void popup();

private:
    std::unique_ptr<QMenu> menu_;
    std::vector<std::pair<ui::MenuItem*, QAction*>> items_;
};

} // namespace valumat::qtui
