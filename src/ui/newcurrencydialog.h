// The dialog "Neue Währung hinzufügen" (FNeu): one new currency, inserted at its place in the table.
#pragma once

#include "ui/controls.h"

namespace valumat::ui {

class ConfigWindow;

class NewCurrencyDialog {
public:
    explicit NewCurrencyDialog(ConfigWindow& window);

    Form form;
    TextBox tName, tLand, tKurz, t1Euro, t1Waehrung, tNachkomma;
    CheckBox cFix;
    Label Label6;
    Label labelName, labelLand, labelKurz, labelEuro, labelKurs, labelNachkomma;
    Button Command1; // "Speichern"
    Button Command2; // "Abbrechen"

    void tKurz_Change();
    void t1Euro_LostFocus();
    void Command1_Click();
    void Command2_Click();
    void unload();

private:
    ConfigWindow& w_;
};

} // namespace valumat::ui
