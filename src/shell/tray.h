// The notification-area icon and its menu.
#pragma once

#include "ui/configwindow.h"
#include "ui/controls.h"

#include <functional>
#include <string>
#include <vector>

namespace valumat::shell {

using ui::MenuItem;

// The icon's tooltip: the product name, " - " and the maker's web domain.
std::string trayTooltip();

class Tray {
public:
    explicit Tray(ui::ConfigWindow& window);

    // Menu1 ("popup"), entries in order.
    MenuItem mTasten, mWaehrungen, mOptionen, mInfo, mSep2, mChangeKeyPress, mSep, mEnde;
    std::vector<MenuItem*> menu();
    // Set by the renderer: opens Menu1 at the mouse position.
    std::function<void()> popupMenu;
    // Set by the program: leaves it as the button "Beenden" does.
    std::function<void()> leave;

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
    ui::ConfigWindow& w_;
};

} // namespace valumat::shell
