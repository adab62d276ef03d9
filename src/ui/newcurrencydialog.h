// The dialog "Neue Währung hinzufügen" (FNeu): one new currency, inserted at its place in the table.
#pragma once

#include "ui/controls.h"
#include "ui/currencycontrols.h"

#include <string>

namespace valumat::ui {

class ConfigWindow;

class NewCurrencyDialog : public CurrencyControls {
public:
    explicit NewCurrencyDialog(ConfigWindow& window);

    Form form;
    Button Command1; // "Speichern"
    Button Command2; // "Abbrechen"

    // Opening: the initial contents and the place over the configuration window.
    void Form_Load();
    void tKurz_Change();
    void t1Euro_LostFocus();
    void Command1_Click();
    void Command2_Click();
    void unload();

private:
    void textChanged(TextBox& box) override;

    ConfigWindow& w_;
};

} // namespace valumat::ui
