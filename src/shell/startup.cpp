// Start-up (the window's load), leaving the program and unloading the window.
#include "runtime/errors.h"
#include "runtime/hotkeys.h"
#include "runtime/report.h"
#include "runtime/script.h"
#include "runtime/text.h"
#include "store/currencyfile.h"
#include "store/datafolder.h"
#include "store/keyfile.h"
#include "store/optionsfile.h"
#include "ui/configwindow.h"

namespace valumat::ui {

namespace {

// Runs a step of leaving the program; a failing step is skipped so that the program always ends.
template <class Step> void tolerant(Step step) {
    try {
        step();
    } catch (const RuntimeError&) {
    }
}

} // namespace

void ConfigWindow::Form_Load() {
    try {
        state.RefreshInProgress = true;
        const Twips r = form.rect();
        form.move(host.screenWidth() / 2 - r.width / 2, host.screenHeight() / 2 - r.height / 2);
        // The program's folder in portable use, else the user's folder, filled with the shipped defaults.
        state.dataDirectory =
            prepareDataFolder(state.platform, *state.files, state.platform.process->programPath()).folder;
        state.ChangesPending = false;
        state.listUpdateInProgress = false;
        state.CurrentCurrencyRow = -1;

        ReadRates(state, false);
        SaveRates(state, true);
        ReadKeyList(state, false);
        SaveKeyList(state, true);
        ReadOptions(state, false);
        SaveOptions(state, true);

        ReadKeypress(state);
        SetHotKeys(state);

        if (currencies.List1.count() > 0) {
            currencies.List1.setListIndex(0);
        }
        keys.fillKeyLists();
        if (keys.KeyList.count() > 0) {
            keys.KeyList.setListIndex(0);
        }
        state.RefreshInProgress = false;
        clearChanges();
        keys.SetLine();

        const bool configRequested = trimSpaces(state.platform.process->commandLine()) == "/config";
        if (state.options.minimised && !configRequested) {
            tray.ShowTray();
        } else {
            form.setShowInTaskbar(true);
            form.setVisible(true);
        }
    } catch (const RuntimeError& e) {
        reportError(state.platform, "Form_Load", e.description());
        form.setVisible(true);
    }
}

void ConfigWindow::cEnde_Click() {
    if (state.ChangesPending) {
        const auto answer = message("Möchten Sie die Änderungen speichern?", "Frage", platform::MessageIcon::Question,
                                    platform::MessageButtons::YesNo, platform::DefaultButton::First);
        if (answer == platform::MessageAnswer::Yes) {
            tolerant([this] { SaveRates(state, false); });
            tolerant([this] { SaveKeyList(state, false); });
            tolerant([this] { SaveOptions(state, false); });
        }
    }
    Form_Unload();
}

void ConfigWindow::Form_Unload() {
    if (unloaded_) {
        return;
    }
    tolerant([this] { RemoveHotKeys(state); });
    tolerant([this] { tray.HideTray(true); });
    form.setVisible(false);
    unloaded_ = true;
    if (quit) {
        quit();
    }
}

void ConfigWindow::closeBySystem() {
    Form_Unload();
}

} // namespace valumat::ui
