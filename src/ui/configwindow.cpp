#include "ui/configwindow.h"

#include "runtime/hotkeys.h"
#include "runtime/script.h"
#include "store/currencyfile.h"
#include "store/keyfile.h"
#include "store/optionsfile.h"

#include <algorithm>

namespace valumat::ui {

namespace {
// Design geometry in twips: the panels sit below the tab strip, the button row below the panels.
constexpr Twips kFormRect{0, 0, 7215, 5280};
constexpr Twips kPanelRect{120, 480, 6975, 3855};
} // namespace

std::string windowCaption() {
    return std::string("Valumat V1.2 - ") + kMakerDomain;
}

ConfigWindow::ConfigWindow(AppState& appState, ModalHost& modalHost)
    : state(appState), host(modalHost), form("FConfig", windowCaption(), kFormRect),
      Tabstrip("Tabstrip", {"Tasten", "Währungen", "Optionen", "Info"}, {60, 60, 7095, 4335}),
      tTabs1("tTabs(1)", "", kPanelRect), tTabs2("tTabs(2)", "", kPanelRect), tTabs3("tTabs(3)", "", kPanelRect),
      tTabs4("tTabs(4)", "", kPanelRect), cEnde("cEnde", "Beenden", {120, 4560, 1575, 375}),
      cOK2("cOK2", "Ok", {1860, 4560, 1575, 375}), CCancel("CCancel", "Abbrechen", {3600, 4560, 1575, 375}),
      CApply("CApply", "Übernehmen", {5340, 4560, 1575, 375}), keys(*this), currencies(*this), options(*this),
      info(*this) {
    Tabstrip.images = {"tab1", "tab2", "tab3", "tab4"};
    cEnde.setTooltip("Das Programm beenden");
    cOK2.setTooltip("Vorgenommene Einstellungen übernehmen und das Programm als Symbol minimieren");
    CCancel.setTooltip("Vorgenommene Einstellungen verwerfen und das Programm als Symbol minimieren");
    CApply.setTooltip("Vorgenommene Einstellungen übernehmen");
    CApply.setEnabled(false);
    tTabs2.setVisible(false);
    tTabs3.setVisible(false);
    tTabs4.setVisible(false);

    Tabstrip.onClick = [this] { Tabstrip_Click(); };
    CApply.onClick = [this] { CApply_Click(); };
    cOK2.onClick = [this] { cOK2_Click(); };
    CCancel.onClick = [this] { CCancel_Click(); };
    cEnde.onClick = [this] {
        if (shell != nullptr) {
            shell->cEnde_Click();
        }
    };
    form.onUnload = [this] { closeBySystem(); };

    form.controls = {&Tabstrip, &tTabs1, &tTabs2, &tTabs3, &tTabs4, &cEnde, &cOK2, &CCancel, &CApply};
    for (const auto& list : {keys.controls(), currencies.controls(), options.controls(), info.controls()}) {
        form.controls.insert(form.controls.end(), list.begin(), list.end());
    }

    // The tab's controls on the tab's panel, a few of them in a frame or a sub-panel of it.
    const auto place = [this](const std::vector<Control*>& controls, Panel& panel, bool inner) {
        for (const Control* c : controls) {
            Placement p{&panel, inner ? panel.rect().left : 0, inner ? panel.rect().top : 0};
            const auto it = std::find_if(placements_.begin(), placements_.end(),
                                         [c](const auto& entry) { return entry.first == c; });
            if (it != placements_.end()) {
                it->second = p;
            } else {
                placements_.emplace_back(c, p);
            }
        }
    };
    place(keys.controls(), tTabs1, false);
    place(currencies.controls(), tTabs2, false);
    place(options.controls(), tTabs3, false);
    place(info.controls(), tTabs4, false);
    place({&options.Command5, &options.Command6}, options.Frame1, true);
    place({&info.Image1, &info.labelProduct, &info.labelVersion, &info.labelDate, &info.labelAuthor, &info.labelMail,
           &info.labelWeb, &info.Label19, &info.Label21, &info.labelRates},
          info.Info1, true);
    place({&info.Text4}, info.Info2, true);
    place({&info.labelHeading, &info.Label27, &info.tName2, &info.tEmail, &info.tHomepage, &info.tNachricht,
           &info.Command8},
          info.Info3, true);

    state.onChanged = [this](Changed what) { stateChanged(what); };
}

ConfigWindow::Placement ConfigWindow::placementOf(const Control& control) const {
    for (const auto& [c, placement] : placements_) {
        if (c == &control) {
            return placement;
        }
    }
    return {};
}

ConfigWindow::~ConfigWindow() {
    state.onChanged = nullptr;
}

Panel& ConfigWindow::tTabs(int k) {
    switch (k) {
    case 1:
        return tTabs1;
    case 2:
        return tTabs2;
    case 3:
        return tTabs3;
    default:
        return tTabs4;
    }
}

void ConfigWindow::stateChanged(Changed what) {
    switch (what) {
    case Changed::CurrencyRows:
        currencies.rowsChanged();
        break;
    case Changed::SelectorNames:
        keys.selectorNamesChanged();
        break;
    case Changed::CurrencyEditor:
        currencies.editorChanged();
        break;
    case Changed::KeyList:
        keys.keyListRebuilt();
        break;
    case Changed::BindingEditorLock:
        keys.clearAndLockEditor();
        break;
    case Changed::Options:
        options.optionsChanged();
        break;
    case Changed::ModeCaption:
        if (shell != nullptr) {
            shell->modeCaptionChanged();
        }
        break;
    case Changed::ChangesPending:
        CApply.setEnabled(state.applyEnabled);
        break;
    case Changed::HotKeys:
        keys.showRefusal();
        break;
    case Changed::RatesInfo:
        info.ratesInfoChanged();
        break;
    }
}

void ConfigWindow::markChanged() {
    state.markChanged();
}

void ConfigWindow::clearChanges() {
    state.clearChanges();
}

void ConfigWindow::selectTab(int n) {
    Tabstrip.select(n);
}

platform::MessageAnswer ConfigWindow::message(const std::string& text, const std::string& title,
                                              platform::MessageIcon icon, platform::MessageButtons buttons,
                                              platform::DefaultButton defaultButton) {
    return state.platform.messageBoxes->messageBox(text, title, icon, buttons, defaultButton);
}

void ConfigWindow::Tabstrip_Click() {
    const int k = Tabstrip.selected();
    for (int i = 1; i <= 4; ++i) {
        tTabs(i).setVisible(false);
    }
    tTabs(k).setVisible(true);
    if (k == 1 && keys.KeyList.count() > 0) {
        if (keys.KeyList.listIndex() == 0) {
            keys.KeyList_Click(); // selecting the selected row again loads it all the same
        } else {
            keys.KeyList.setListIndex(0);
        }
    }
    if (k == 4) {
        info.ratesInfoChanged();
        info.TabInfo.select(1);
    }
}

void ConfigWindow::CApply_Click() {
    SaveRates(state, false);
    SaveKeyList(state, false);
    SaveOptions(state, false);
    clearChanges();
    cOK2.setFocus(true);
}

void ConfigWindow::cOK2_Click() {
    SaveRates(state, false);
    SaveKeyList(state, false);
    SaveOptions(state, false);
    ReadKeypress(state);
    RemoveHotKeys(state);
    SetHotKeys(state);
    clearChanges();
    if (shell != nullptr) {
        shell->announceRefusedHotKeys();
        shell->ShowTray();
    }
}

void ConfigWindow::CCancel_Click() {
    state.pendingRatesInfo.clear(); // rates taken into the table are dropped with the other edits
    const bool rates = ReadRates(state, true);
    const bool bindings = ReadKeyList(state, true);
    const bool optionValues = ReadOptions(state, true);
    // A working copy that could not be read whole (deleted, damaged) must not overwrite the data file with what
    // little was read: that data file stays as it is.
    if (rates) {
        SaveRates(state, false);
    }
    if (bindings) {
        SaveKeyList(state, false);
    }
    if (optionValues) {
        SaveOptions(state, false);
    }
    ReadKeypress(state);
    RemoveHotKeys(state);
    SetHotKeys(state);
    clearChanges();
    if (shell != nullptr) {
        shell->ShowTray();
    }
}

void ConfigWindow::closeBySystem() {
    if (shell != nullptr) {
        shell->Form_Unload();
    }
}

} // namespace valumat::ui
