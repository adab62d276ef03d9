#include "shell/tray.h"

#include "runtime/errors.h"
#include "runtime/report.h"
#include "runtime/script.h"
#include "store/optionsfile.h"
#include "ui/infotab.h"

namespace valumat::shell {

std::string trayTooltip() {
    return std::string("Valumat - ") + ui::kMakerDomain;
}

Tray::Tray(ui::ConfigWindow& window)
    : mTasten("mTasten", "Tastenbelegung"), mWaehrungen("mWaehrungen", "Währungen"), mOptionen("mOptionen", "Optionen"),
      mInfo("mInfo", "Info"), mSep2("mSep2", "-"), mChangeKeyPress("mChangeKeyPress", kModeCaptionInitial),
      mSep("mSep", "-"), mEnde("mEnde", "Beenden"), w_(window) {
    mTasten.onClick = [this] { mTasten_Click(); };
    mWaehrungen.onClick = [this] { mWaehrungen_Click(); };
    mOptionen.onClick = [this] { mOptionen_Click(); };
    mInfo.onClick = [this] { mInfo_Click(); };
    mChangeKeyPress.onClick = [this] { mChangeKeyPress_Click(); };
    mEnde.onClick = [this] { mEnde_Click(); };
    if (w_.state.platform.tray != nullptr) {
        w_.state.platform.tray->setMouseHandler([this](int message) { Picture1_MouseMove(message); });
    }
}

std::vector<MenuItem*> Tray::menu() {
    return {&mTasten, &mWaehrungen, &mOptionen, &mInfo, &mSep2, &mChangeKeyPress, &mSep, &mEnde};
}

void Tray::ShowTray() {
    try {
        w_.form.setVisible(false);
        w_.form.setShowInTaskbar(false);
        w_.state.platform.tray->add(trayTooltip());
    } catch (const RuntimeError& e) {
        reportError(w_.state.platform, "ShowTray", e.description());
    }
}

void Tray::HideTray(bool removeIcon) {
    if (removeIcon) {
        w_.state.platform.tray->remove();
    }
    w_.form.setShowInTaskbar(true);
    w_.form.setVisible(true);
}

void Tray::Picture1_MouseMove(int message) {
    if (message == platform::kTrayLeftDoubleClick) {
        HideTray(false);
        w_.selectTab(1);
    } else if (message == platform::kTrayRightButtonUp) {
        if (popupMenu) {
            popupMenu(); // the renderer brings the window to the foreground first
        }
    }
}

void Tray::openOnTab(int tab) {
    w_.selectTab(tab);
    HideTray(false);
}

void Tray::mTasten_Click() {
    openOnTab(1);
}
void Tray::mWaehrungen_Click() {
    openOnTab(2);
}
void Tray::mOptionen_Click() {
    openOnTab(3);
}
void Tray::mInfo_Click() {
    openOnTab(4);
}

void Tray::mChangeKeyPress_Click() {
    // Only options.dat is written here: edits pending on other tabs stay pending (and so does the save question on
    // leaving the program).
    const bool pending = w_.state.ChangesPending;
    if (w_.state.options.excelMode) {
        w_.options.Option4.setValue(true);
        w_.state.modeCaption = kModeCaptionToExcel;
    } else {
        w_.options.Option3.setValue(true);
        w_.state.modeCaption = kModeCaptionToNormal;
    }
    modeCaptionChanged();
    ReadKeypress(w_.state);
    w_.state.ChangesPending = pending;
    w_.state.applyEnabled = pending;
    w_.state.notify(Changed::ChangesPending);
    SaveOptions(w_.state, false);
}

void Tray::mEnde_Click() {
    if (leave) {
        leave();
    }
}

void Tray::modeCaptionChanged() {
    mChangeKeyPress.setCaption(w_.state.modeCaption);
}

} // namespace valumat::shell
