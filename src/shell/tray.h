// The notification-area icon and its menu.
#pragma once

#include "ui/controls.h"

#include <string>

namespace valumat::ui {

class ConfigWindow;

// The icon's tooltip: the product name, " - " and the maker's web domain.
std::string trayTooltip();

class Tray {
public:
    explicit Tray(ConfigWindow& window);

    // Menu1 ("popup"), entries in order.
    MenuItem mTasten, mWaehrungen, mOptionen, mInfo, mSep2, mChangeKeyPress, mSep, mEnde;
    std::vector<MenuItem*> menu();
    // Set by the renderer: opens Menu1 at the mouse position.
    std::function<void()> popupMenu;

    void ShowTray();
    void HideTray(bool removeIcon);
    // The icon's mouse message (515 left double-click, 517 right button released).
    void Picture1_MouseMove(int message);

    void mTasten_Click();
    void mWaehrungen_Click();
    void mOptionen_Click();
    void mInfo_Click();
    void mChangeKeyPress_Click();
    void mEnde_Click();

    // The mode caption changed in the program state.
    void modeCaptionChanged();

private:
    void openOnTab(int tab);
    ConfigWindow& w_;
};

} // namespace valumat::ui
