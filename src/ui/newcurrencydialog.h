// The dialog "Neue Währung hinzufügen" (FNeu): one new currency, inserted at its place in the table.
#pragma once

#include "ui/controls.h"

#include <string>

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

    // Opening: the initial contents and the place over the configuration window.
    void Form_Load();
    void tName_KeyPress(std::string& key);
    void tLand_KeyPress(std::string& key);
    void tKurz_KeyPress(std::string& key);
    void t1Euro_KeyPress(std::string& key);
    void t1Waehrung_KeyPress(std::string& key);
    void tNachkomma_KeyPress(std::string& key);
    void tKurz_Change();
    void t1Euro_LostFocus();
    void Command1_Click();
    void Command2_Click();
    void unload();

private:
    // Removes characters the record line cannot hold from an edit that came without a key; true when it did.
    bool cleanEdit(TextBox& box, bool isName);

    ConfigWindow& w_;
};

} // namespace valumat::ui
