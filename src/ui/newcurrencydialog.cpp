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
constexpr Twips kLabelName{240, 285, 1215, 255};
constexpr Twips kName{1560, 240, 3615, 315};
constexpr Twips kLabelLand{240, 645, 1215, 255};
constexpr Twips kLand{1560, 600, 3615, 315};
constexpr Twips kLabelKurz{240, 1005, 1215, 255};
constexpr Twips kKurz{1560, 960, 855, 315};
constexpr Twips kLabelKurs{240, 1365, 615, 255};
constexpr Twips kLabelEuro{900, 1365, 975, 255};
constexpr Twips kEuro{1920, 1320, 1455, 315};
constexpr Twips kFix{3480, 1350, 735, 255};
constexpr Twips kLabel6{900, 1725, 975, 255};
constexpr Twips kWaehrung{1920, 1680, 1455, 315};
constexpr Twips kLabelNachkomma{240, 2085, 1215, 255};
constexpr Twips kNachkomma{1560, 2040, 375, 315};
constexpr Twips kSave{2520, 2640, 1215, 375};
constexpr Twips kCancel{3960, 2640, 1215, 375};

} // namespace

NewCurrencyDialog::NewCurrencyDialog(ConfigWindow& window)
    : form("FNeu", "Neue Währung hinzufügen", kForm), tName("tName", kName), tLand("tLand", kLand),
      tKurz("tKurz", kKurz), t1Euro("t1Euro", kEuro), t1Waehrung("t1Waehrung", kWaehrung),
      tNachkomma("tNachkomma", kNachkomma), cFix("cFix", "Fix", kFix), Label6("Label6", "", kLabel6),
      labelName("labelName", "Name:", kLabelName), labelLand("labelLand", "Land:", kLabelLand),
      labelKurz("labelKurz", "ISO-Kennung:", kLabelKurz), labelEuro("labelEuro", "1 Euro =", kLabelEuro),
      labelKurs("labelKurs", "Kurs:", kLabelKurs), labelNachkomma("labelNachkomma", "Nachkommast.", kLabelNachkomma),
      Command1("Command1", "Speichern", kSave), Command2("Command2", "Abbrechen", kCancel), w_(window) {
    tName.setTooltip("Name der neuen Währung");
    tLand.setTooltip("Land/Union in dem mit der neuen Währung gehandelt wird");
    tKurz.setTooltip("ISO-Kennung der neuen Währung");
    t1Euro.setTooltip("Betrag der Währung, für den man einen Euro bekommt");
    t1Waehrung.setTooltip("Betrag in Euro, für den man eine Einheit der Währung bekommt");
    cFix.setTooltip("   Fixer Kurs");
    tNachkomma.setTooltip("Anzahl der Nachkommastellen für die neue Währung");
    tName.maxLength = 100;
    tLand.maxLength = 50;
    tKurz.maxLength = 5;
    t1Euro.maxLength = 20;
    t1Waehrung.maxLength = 20;
    tNachkomma.maxLength = 1;

    tName.onKeyPress = [this](std::string& key) { tName_KeyPress(key); };
    tLand.onKeyPress = [this](std::string& key) { tLand_KeyPress(key); };
    tKurz.onKeyPress = [this](std::string& key) { tKurz_KeyPress(key); };
    t1Euro.onKeyPress = [this](std::string& key) { t1Euro_KeyPress(key); };
    t1Waehrung.onKeyPress = [this](std::string& key) { t1Waehrung_KeyPress(key); };
    tNachkomma.onKeyPress = [this](std::string& key) { tNachkomma_KeyPress(key); };
    tName.onChange = [this] { cleanEdit(tName, true); };
    tLand.onChange = [this] { cleanEdit(tLand, false); };
    tKurz.onChange = [this] {
        if (!cleanEdit(tKurz, false)) {
            tKurz_Change();
        }
    };
    t1Euro.onChange = [this] { cleanEdit(t1Euro, false); };
    t1Waehrung.onChange = [this] { cleanEdit(t1Waehrung, false); };
    tNachkomma.onChange = [this] { cleanEdit(tNachkomma, false); };
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

void NewCurrencyDialog::tName_KeyPress(std::string& key) {
    textKeyFilter(key, tName.text(), true);
}
void NewCurrencyDialog::tLand_KeyPress(std::string& key) {
    textKeyFilter(key, tLand.text(), false);
}
void NewCurrencyDialog::tKurz_KeyPress(std::string& key) {
    textKeyFilter(key, tKurz.text(), false);
}
void NewCurrencyDialog::t1Euro_KeyPress(std::string& key) {
    rateKeyFilter(key);
}
void NewCurrencyDialog::t1Waehrung_KeyPress(std::string& key) {
    rateKeyFilter(key);
}
void NewCurrencyDialog::tNachkomma_KeyPress(std::string& key) {
    rateKeyFilter(key);
}

bool NewCurrencyDialog::cleanEdit(TextBox& box, bool isName) {
    const std::string clean = withoutRefusedCharacters(box.text(), isName);
    if (clean == box.text()) {
        return false;
    }
    box.setText(clean);
    return true;
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
