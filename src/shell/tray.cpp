#include "shell/tray.h"

#include "ui/configwindow.h"

namespace valumat::ui {

Tray::Tray(ConfigWindow& window)
    : mTasten("mTasten"), mWaehrungen("mWaehrungen"), mOptionen("mOptionen"), mInfo("mInfo"), mSep2("mSep2"),
      mChangeKeyPress("mChangeKeyPress"), mSep("mSep"), mEnde("mEnde"), w_(window) {}
void Tray::ShowTray() {}
void Tray::modeCaptionChanged() {}

} // namespace valumat::ui
