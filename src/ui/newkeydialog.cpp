#include "ui/newkeydialog.h"

#include "runtime/errors.h"
#include "runtime/hotkeys.h"
#include "runtime/report.h"
#include "runtime/text.h"
#include "store/keyfile.h"
#include "ui/configwindow.h"
#include "ui/keystab.h"

namespace valumat::ui {

namespace {

// The dialog opens up and to the left of the configuration window.
constexpr int kOffsetFromWindow = 600;

} // namespace

// The form's size is its client area.
NewKeyDialog::NewKeyDialog(ConfigWindow& window)
    : BindingEditor({.currencyHeading = "Währung:",
                     .keysHeading = "Tastenkombination:",
                     .label10 = {240, 240, 2415, 255},
                     .label11 = {3000, 645, 855, 255},
                     .label8 = {240, 1200, 1695, 255},
                     .label9 = {1320, 1560, 375, 375},
                     .label13 = {3600, 1680, 1695, 255},
                     .label12 = {3600, 1920, 1695, 255},
                     .combo3 = {240, 600, 2775, 315},
                     .combo4 = {3840, 600, 2775, 315},
                     .check1 = {3840, 1155, 975, 255},
                     .text1 = {4920, 1125, 495, 315},
                     .option1 = {5640, 1065, 1095, 255},
                     .option2 = {5640, 1275, 975, 255},
                     .combo1 = {240, 1560, 1095, 315},
                     .combo2 = {1680, 1560, 735, 315},
                     .text2 = {5400, 1680, 615, 255},
                     .text3 = {5400, 1920, 615, 255}}),
      form("FNeuKey", "Neue Tastenkombination hinzufügen", {0, 0, 6870, 3510}),
      Command1("Command1", "Speichern", {4080, 2880, 1215, 375}),
      Command2("Command2", "Abbrechen", {5400, 2880, 1215, 375}), w_(window) {
    Text2.setText("2");

    Command1.onClick = [this] { Command1_Click(); };
    Command2.onClick = [this] { Command2_Click(); };
    form.onUnload = [this] { unload(); };

    tabOrder = {&Text3,  &Text2,  &Option2, &Option1, &Text1,    &Check1,
                &Combo4, &Combo3, &Combo2,  &Combo1,  &Command2, &Command1};
    // Renderers create the controls in this order, which is also the keyboard order: the focus starts in Text3.
    form.controls = tabOrder;
    form.controls.insert(form.controls.end(), {&Label10, &Label11, &Label8, &Label9, &Label13, &Label12});
}

void NewKeyDialog::Form_Load() {
    skipOnError([&] {
        Combo1.addItem("-");
        Combo1.addItem("STRG");
    });
    skipOnError([&] { Combo1.selectText("STRG"); }); // the modifier rule fills Combo2, no key selected
    skipOnError([&] {
        for (auto& name : w_.keys.Combo3.items()) {
            Combo3.addItem(std::move(name));
        }
    });
    skipOnError([&] {
        for (auto& name : w_.keys.Combo4.items()) {
            Combo4.addItem(std::move(name));
        }
    });
    skipOnError([&] {
        const Twips& owner = w_.form.rect();
        form.move(owner.left - kOffsetFromWindow, owner.top - kOffsetFromWindow);
    });
}

void NewKeyDialog::Command1_Click() {
    std::string missing;
    const auto check = [&missing](bool failed, const char* line) {
        if (failed) {
            missing += line;
            missing += "\r\n";
        }
    };
    const bool codeOn = Check1.value() != 0;
    check(trimSpaces(Combo3.text()).empty(), "- Bitte wählen Sie die Währung 1 (Ausgangswährung)");
    check(trimSpaces(Combo4.text()).empty(), "- Bitte wählen Sie die Währung 2 (Zielwährung)");
    check(trimSpaces(Combo2.text()).empty(), "- Bitte wählen Sie die zweite Taste für die Tastenkombination");
    check(trimSpaces(Text2.text()).empty(),
          "- Bitte geben Sie an auf wieviel Nachkommastellen das Ergebnis berechnet werden soll");
    check(codeOn && Text1.text().empty(), "- Bitte geben Sie ein Kürzel ein oder deaktivieren Sie die Kürzelfunktion");
    check(codeOn && !Option1.value() && !Option2.value(),
          "- Bitte geben Sie an ob das Währungskürzel vor oder hinter dem Betrag stehen soll");
    if (!missing.empty()) {
        w_.message(missing, "Achtung!", platform::MessageIcon::Exclamation);
        return;
    }

    AppState& state = w_.state;
    KeysTab& keys = w_.keys;
    try {
        form.setVisible(false);

        // The bindings fill slots 0 to n - 1 without gaps: slot n is the first free one.
        const int n = keys.KeyList.count();
        KeyBinding& b = state.bindings.at(n);
        b.firstKey = Combo1.text();
        b.secondKey = Combo2.text();
        b.sourceCurrency = Combo3.text();
        b.targetCurrency = Combo4.text();
        b.codeText = Text1.text();
        b.codePosition = codePositionOf(Check1, Option1);
        b.resultDecimals = decimalsValue(Text2.text());
        if (b.resultDecimals > 0 || !Text3.text().empty()) {
            b.decimalSeparator = Text3.text();
        }

        state.keyListLines.push_back(bindingDisplayLine(b));
        keys.KeyList.itemsChanged();
        if (keys.KeyList.count() == 1) {
            keys.unlockEditor();
        }
        if (keys.KeyList.listIndex() < 0) {
            keys.KeyList.setListIndex(0); // loads binding 0 into the tab's editor
        }

        SaveKeyList(state, true);
        ReadKeyList(state, true);
        RemoveHotKeys(state);
        SetHotKeys(state);

        form.setVisible(false);
        unload();
    } catch (const RuntimeError& e) {
        reportError(state.platform, "Command1_Click (FNeuKey)", e.description());
    }
}

void NewKeyDialog::Command2_Click() {
    form.setVisible(false);
    unload();
}

void NewKeyDialog::unload() {
    form.setVisible(false);
    unloaded_ = true;
}

} // namespace valumat::ui
