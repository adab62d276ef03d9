// Start-up (the window's load), leaving the program and unloading the window.
#include "shell/startup.h"
#include "runtime/errors.h"
#include "runtime/hotkeys.h"
#include "runtime/report.h"
#include "runtime/script.h"
#include "runtime/text.h"
#include "store/currencyfile.h"
#include "store/datafolder.h"
#include "store/keyfile.h"
#include "store/optionsfile.h"
#include "ui/keystab.h"

namespace valumat::shell {

namespace {

// Runs a step of leaving the program; a failing step is skipped so that the program always ends.
template <class Step> void tolerant(Step step) {
    try {
        step();
    } catch (const RuntimeError&) {
    }
}

} // namespace

Program::Program(AppState& state, ui::ModalHost& host) : window(state, host), tray(window) {
    tray.leave = [this] { cEnde_Click(); };
    window.shell = this;
}

Program::~Program() {
    window.shell = nullptr;
}

void Program::Form_Load() {
    AppState& state = window.state;
    ui::ConfigWindow& w = window;
    try {
        state.RefreshInProgress = true;
        const ui::Twips r = w.form.rect();
        w.form.move(w.host.screenWidth() / 2 - r.width / 2, w.host.screenHeight() / 2 - r.height / 2);
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
        announceRefusedHotKeys();

        if (w.currencies.List1.count() > 0) {
            w.currencies.List1.setListIndex(0);
        }
        w.keys.fillKeyLists();
        if (w.keys.KeyList.count() > 0) {
            w.keys.KeyList.setListIndex(0);
        }
        state.RefreshInProgress = false;
        w.clearChanges();
        w.keys.SetLine();

        tray.updateRatesIfDue(todayIso());

        const bool configRequested = trimSpaces(state.platform.process->commandLine()) == "/config";
        if (state.options.minimised && !configRequested) {
            ShowTray();
        } else {
            w.form.setShowInTaskbar(true);
            w.form.setVisible(true);
        }
    } catch (const RuntimeError& e) {
        reportError(state.platform, "Form_Load", e.description());
        w.form.setVisible(true);
    }
}

void Program::announceRefusedHotKeys() {
    const AppState& state = window.state;
    std::string combinations;
    for (const int slot : refusedHotKeys(state)) {
        const KeyBinding& b = state.bindings[slot];
        combinations +=
            std::string(combinations.empty() ? "" : ", ") + (b.firstKey == "STRG" ? "STRG + " : "") + b.secondKey;
    }
    refusalMessage_ = combinations.empty() ? std::string() : std::string(ui::kRefusedHotKey) + ": " + combinations;
}

void Program::ShowTray() {
    tray.ShowTray();
    if (!refusalMessage_.empty() && !window.form.visible()) {
        tolerant([this] { window.state.platform.tray->showMessage("Valumat", refusalMessage_); });
        refusalMessage_.clear();
    }
}

void Program::cEnde_Click() {
    AppState& state = window.state;
    if (state.ChangesPending) {
        const auto answer =
            window.message("Möchten Sie die Änderungen speichern?", "Frage", platform::MessageIcon::Question,
                           platform::MessageButtons::YesNo, platform::DefaultButton::First);
        if (answer == platform::MessageAnswer::Yes) {
            tolerant([&state] { SaveRates(state, false); });
            tolerant([&state] { SaveKeyList(state, false); });
            tolerant([&state] { SaveOptions(state, false); });
        }
    }
    Form_Unload();
}

void Program::Form_Unload() {
    if (unloaded_) {
        return;
    }
    tolerant([this] { RemoveHotKeys(window.state); });
    tolerant([this] { tray.HideTray(true); });
    window.form.setVisible(false);
    unloaded_ = true;
    if (quit) {
        quit();
    }
}

} // namespace valumat::shell
