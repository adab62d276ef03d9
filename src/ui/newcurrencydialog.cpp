#include "ui/newcurrencydialog.h"

#include "runtime/convert.h"
#include "runtime/errors.h"
#include "runtime/report.h"
#include "runtime/text.h"
#include "store/currencyfile.h"
#include "store/keyfile.h"
#include "ui/configwindow.h"
#include "ui/currencytab.h"

#include <cmath>

namespace valumat::ui {

namespace {

// Design geometry in twips; the client area is 5415 wide and 3195 high.
constexpr Twips kForm{0, 0, 5415, 3195};
constexpr int kFieldsLeft = 240;
constexpr int kWideWidth = 3615; // the name and country boxes
constexpr Twips kSave{2520, 2640, 1215, 375};
constexpr Twips kCancel{3960, 2640, 1215, 375};

} // namespace

NewCurrencyDialog::NewCurrencyDialog(ConfigWindow& window)
    : CurrencyControls(Wording::New, kFieldsLeft, kWideWidth), form("FNeu", "Neue Währung hinzufügen", kForm),
      Command1("Command1", "Speichern", kSave), Command2("Command2", "Abbrechen", kCancel), w_(window) {
    t1Euro.onLostFocus = [this] { t1Euro_LostFocus(); };
    Command1.onClick = [this] { Command1_Click(); };
    Command2.onClick = [this] { Command2_Click(); };

    form.controls = {&labelName, &tName, &labelLand, &tLand,      &labelKurz,      &tKurz,      &labelKurs, &labelEuro,
                     &t1Euro,    &cFix,  &Label6,    &t1Waehrung, &labelNachkomma, &tNachkomma, &Command1,  &Command2};
}

void NewCurrencyDialog::Form_Load() {
    for (TextBox* box : {&tName, &tLand, &tKurz, &t1Euro, &t1Waehrung}) {
        box->setText("");
    }
    tNachkomma.setText("2");
    cFix.setValue(0);
    Label6.setCaption("");
    // Centred over the configuration window.
    const Twips& owner = w_.form.rect();
    form.move(owner.left + (owner.width - form.rect().width) / 2, owner.top + (owner.height - form.rect().height) / 2);
}

// Edits without a key come here cleaned already.
void NewCurrencyDialog::textChanged(TextBox& box) {
    if (&box == &tKurz) {
        tKurz_Change();
    }
}

void NewCurrencyDialog::tKurz_Change() {
    Label6.setCaption("1 " + tKurz.text() + " =");
}

void NewCurrencyDialog::t1Euro_LostFocus() {
    try {
        std::string text = t1Euro.text(); // the box keeps its text as typed
        const float x = TextToRate(text);
        float y = 0.0f;
        if (x != 0.0f) {
            y = 1.0f / x;
            if (!std::isfinite(y)) {
                return; // overflow: the step is skipped
            }
        }
        t1Waehrung.setText(RateToText(y));
    } catch (const RuntimeError&) {
        // A failing step is skipped.
    }
}

void NewCurrencyDialog::Command1_Click() {
    const auto blank = [](const TextBox& box) { return trimSpaces(box.text()).empty(); };
    std::string complaint;
    if (blank(tName)) {
        complaint += "- Bitte geben Sie einen Namen für die Währung ein\r\n";
    }
    if (blank(tNachkomma)) {
        complaint += "- Bitte geben Sie die Anzahl der Nachkommastellen für die Währung ein\r\n";
    }
    if (blank(t1Euro)) {
        complaint += "- Bitte geben Sie ein wieviel 1 Euro in der neuen Währung wert ist\r\n";
    }
    if (blank(t1Waehrung)) {
        complaint += "- Bitte geben Sie ein wieviel Euro eine Waehrungseinheit wert ist\r\n";
    }
    if (!complaint.empty()) {
        w_.message(complaint, "Achtung!", platform::MessageIcon::Exclamation);
        return;
    }

    AppState& state = w_.state;
    try {
        CurrencyFields fields;
        fields.name = tName.text();
        fields.code = tKurz.text();
        fields.country = tLand.text();
        fields.unitsPerEuro = t1Euro.text();
        fields.euroPerUnit = t1Waehrung.text();
        fields.fixed = cFix.value();
        fields.decimals = tNachkomma.text();
        const std::string line = composeCurrencyLine(fields);

        // The new row goes to its place; showing it on the tab stores nothing back while the list is updated.
        state.listUpdateInProgress = true;
        state.currencies.insert(line);
        state.notify(Changed::CurrencyRows);
        SelectCurrencyRow(state, state.currencies.find(line));
        if (state.currencies.count() == 1) {
            CurrencyEditor& editor = state.currencyEditor;
            editor.firstEnabled = false;
            editor.backEnabled = false;
            editor.nextEnabled = false;
            editor.lastEnabled = false;
            editor.fieldsEnabled = true;
            state.notify(Changed::CurrencyEditor);
        }
        // The working copies carry the new currency; reading them back refreshes both tabs.
        SaveRates(state, true);
        ReadRates(state, true);
        ReadKeyList(state, true);
        state.listUpdateInProgress = false;
    } catch (const RuntimeError& e) {
        reportError(state.platform, "Command1_Click (Fneu)", e.description());
        state.listUpdateInProgress = false;
    }
    unload();
}

void NewCurrencyDialog::Command2_Click() {
    unload();
}

void NewCurrencyDialog::unload() {
    form.setVisible(false);
}

} // namespace valumat::ui
