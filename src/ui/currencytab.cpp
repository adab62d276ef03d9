#include "ui/currencytab.h"

#include "runtime/convert.h"
#include "runtime/errors.h"
#include "runtime/report.h"
#include "runtime/text.h"
#include "store/currencyfile.h"
#include "ui/configwindow.h"
#include "ui/newcurrencydialog.h"

#include <cmath>

namespace valumat::ui {

namespace {

using platform::MessageButtons;
using platform::MessageIcon;

// Design geometry in twips, relative to the tab's panel (6975 x 3855): the list with the navigation buttons on the
// left, the editor of the shown currency on the right, the exchange-rate link along the bottom.
constexpr Twips kList1{120, 240, 2535, 2655};
constexpr Twips kFirst{120, 2985, 615, 315};
constexpr Twips kBack{760, 2985, 615, 315};
constexpr Twips kNext{1400, 2985, 615, 315};
constexpr Twips kLast{2040, 2985, 615, 315};
constexpr int kFieldsLeft = 2880;
constexpr int kWideWidth = 2655; // the name and country boxes
constexpr Twips kAdd{2880, 2985, 1335, 315};
constexpr Twips kDelete{4320, 2985, 1335, 315};
constexpr Twips kLabel23{120, 3480, 6735, 255};

} // namespace

CurrencyTab::CurrencyTab(ConfigWindow& window)
    : CurrencyControls(Wording::Shown, kFieldsLeft, kWideWidth), List1("List1", kList1), cFirst("cFirst", "|<", kFirst),
      cBack("cBack", "<", kBack), cNext("cNext", ">", kNext), cLast("cLast", ">|", kLast),
      cAdd("cAdd", "Hinzufügen", kAdd), cDelete("cDelete", "Entfernen", kDelete),
      Label23("Label23", std::string("Aktuelle Kurse von ") + kRateServiceName, kLabel23), w_(window) {
    cAdd.setTooltip("Neue Währung hinzufügen");
    cDelete.setTooltip("Gewählte Währung entfernen");

    // The boxes edit the program's currency editor; the list shows the table's names.
    AppState& state = w_.state;
    CurrencyFields& fields = state.currencyEditor.fields;
    tName.bind(&fields.name);
    tLand.bind(&fields.country);
    tKurz.bind(&fields.code);
    t1Euro.bind(&fields.unitsPerEuro);
    t1Waehrung.bind(&fields.euroPerUnit);
    tNachkomma.bind(&fields.decimals);
    cFix.bind([&fields] { return fields.fixed; }, [&fields](int value) { fields.fixed = value; });
    List1.bindItems([&state] { return state.currencies.count(); },
                    [&state](int row) { return state.currencies.name(row); });

    List1.onClick = [this] { List1_Click(); };
    cFirst.onClick = [this] { cFirst_Click(); };
    cBack.onClick = [this] { cBack_Click(); };
    cNext.onClick = [this] { cNext_Click(); };
    cLast.onClick = [this] { cLast_Click(); };
    t1Euro.onLostFocus = [this] { t1Euro_LostFocus(); };
    cFix.onClick = [this] { cFix_Click(); };
    cAdd.onClick = [this] { cAdd_Click(); };
    cDelete.onClick = [this] { cDelete_Click(); };
    Label23.onClick = [this] { Label23_Click(); };

    editorChanged();
}

std::vector<Control*> CurrencyTab::controls() {
    return {&List1,      &cFirst,         &cBack,      &cNext,     &cLast,     &labelName, &tName, &labelLand,
            &tLand,      &labelKurz,      &tKurz,      &labelKurs, &labelEuro, &t1Euro,    &cFix,  &Label6,
            &t1Waehrung, &labelNachkomma, &tNachkomma, &cAdd,      &cDelete,   &Label23};
}

void CurrencyTab::rowsChanged() {
    List1.itemsChanged();
}

void CurrencyTab::editorChanged() {
    const CurrencyEditor& editor = w_.state.currencyEditor;
    for (TextBox* box : {&tName, &tLand, &tKurz, &t1Euro, &t1Waehrung, &tNachkomma}) {
        box->setEnabled(editor.fieldsEnabled);
        box->refresh();
    }
    cFix.setEnabled(editor.fieldsEnabled);
    cFix.refresh();
    Label6.setCaption(editor.codeLabel);
    cFirst.setEnabled(editor.firstEnabled);
    cBack.setEnabled(editor.backEnabled);
    cNext.setEnabled(editor.nextEnabled);
    cLast.setEnabled(editor.lastEnabled);
    // The selection follows the state; the row has been loaded already, so its Click must not load it again.
    mirroring_ = true;
    List1.setListIndex(editor.selectedRow);
    mirroring_ = false;
}

void CurrencyTab::List1_Click() {
    if (mirroring_) {
        return;
    }
    try {
        SelectCurrencyRow(w_.state, List1.listIndex());
    } catch (const RuntimeError&) {
        // A failing step is skipped.
    }
}

void CurrencyTab::cFirst_Click() {
    if (List1.count() > 0) {
        List1.setListIndex(0);
    }
}

void CurrencyTab::cBack_Click() {
    if (List1.count() > 0 && List1.listIndex() >= 1) {
        List1.setListIndex(List1.listIndex() - 1);
    }
}

void CurrencyTab::cNext_Click() {
    const int n = List1.count();
    if (n > 0 && List1.listIndex() < n - 1) {
        List1.setListIndex(List1.listIndex() + 1);
    }
}

void CurrencyTab::cLast_Click() {
    const int n = List1.count();
    if (n > 0) {
        List1.setListIndex(n - 1);
    }
}

void CurrencyTab::keyTyped() {
    w_.markChanged();
}

void CurrencyTab::textChanged(TextBox& /*box*/) {
    w_.markChanged();
}

void CurrencyTab::t1Euro_LostFocus() {
    try {
        std::string text = t1Euro.text(); // the box keeps its text as typed
        const float x = TextToRate(text);
        if (x == 0.0f) {
            return;
        }
        const float y = 1.0f / x;
        if (!std::isfinite(y)) {
            return; // overflow: the step is skipped
        }
        setFromCode(t1Waehrung, RateToText(y));
    } catch (const RuntimeError&) {
        // A failing step is skipped.
    }
}

void CurrencyTab::cFix_Click() {
    w_.markChanged();
}

void CurrencyTab::cAdd_Click() {
    AppState& state = w_.state;
    try {
        if (state.currencies.count() >= CurrencyTable::kMaxRows) {
            w_.message("Maximale Anzahl von Währungen erreicht!", "Information", MessageIcon::Information);
            return;
        }
        if (state.CurrentCurrencyRow >= 0) {
            StoreCurrencyRow(state, state.CurrentCurrencyRow);
        }
        NewCurrencyDialog dialog(w_);
        dialog.Form_Load();
        dialog.form.setVisible(true);
        w_.host.runModal(dialog.form);
    } catch (const RuntimeError&) {
        // A failing step is skipped.
    }
}

void CurrencyTab::cDelete_Click() {
    AppState& state = w_.state;
    try {
        const int row = List1.listIndex();
        if (row < 0) {
            w_.message("Keine Währung gewählt!", "Keine Währung", MessageIcon::Information);
            return;
        }
        const std::string name = List1.text();
        for (int slot = 0; slot < KeyBindingTable::kSlots; ++slot) {
            const KeyBinding& binding = state.bindings[slot];
            if (binding.sourceCurrency.empty() && binding.targetCurrency.empty()) {
                continue; // no binding in this slot
            }
            if (binding.sourceCurrency == name || binding.targetCurrency == name) {
                w_.message("Es sind noch Tastenkombinationen vorhanden die diese Währung verwenden. Bitte entfernen "
                           "Sie diese zuerst.",
                           "Achtung", MessageIcon::Exclamation);
                return;
            }
        }
        if (w_.message("Folgende Währung wirklich löschen?\r\n" + name, "Währung löschen", MessageIcon::Question,
                       MessageButtons::YesNo, platform::DefaultButton::Second) != platform::MessageAnswer::Yes) {
            return;
        }

        // The removed row is dropped as it stands; the row shown next is loaded without storing anything back.
        state.listUpdateInProgress = true;
        state.currencies.remove(row);
        state.notify(Changed::CurrencyRows);
        const int n = state.currencies.count();
        const int next = n == 0 ? -1 : (row == 0 ? 0 : row - 1);
        SelectCurrencyRow(state, next);
        if (next < 0) {
            state.CurrentCurrencyRow = -1;
        }
        state.listUpdateInProgress = false;

        if (n == 0) {
            CurrencyEditor& editor = state.currencyEditor;
            editor.fieldsEnabled = false;
            for (std::string* text :
                 {&editor.fields.name, &editor.fields.code, &editor.fields.country, &editor.fields.unitsPerEuro,
                  &editor.fields.euroPerUnit, &editor.fields.decimals}) {
                text->clear();
            }
            editor.firstEnabled = false;
            editor.backEnabled = false;
            editor.nextEnabled = false;
            editor.lastEnabled = false;
            state.notify(Changed::CurrencyEditor);
        }
        w_.markChanged();
    } catch (const RuntimeError& e) {
        reportError(state.platform, "cDelete_Click", e.description());
        state.listUpdateInProgress = false;
    }
}

void CurrencyTab::Label23_Click() {
    AppState& state = w_.state;
    state.platform.shell->shellOpen(state.configWindow, "open", kRateServiceAddress, "");
}

} // namespace valumat::ui
