// The dialog "Neue Tastenkombination hinzufügen" (FNeuKey): the only way to add a key binding.
#pragma once

#include "ui/controls.h"

namespace valumat::ui {

class ConfigWindow;

class NewKeyDialog {
public:
    explicit NewKeyDialog(ConfigWindow& window);

    Form form;
    Label Label10, Label11, Label8, Label9, Label13, Label12;
    ComboBox Combo3, Combo4, Combo1, Combo2;
    CheckBox Check1;
    TextBox Text1, Text2, Text3;
    OptionButton Option1, Option2;
    Button Command1; // "Speichern"
    Button Command2; // "Abbrechen"
    // Keyboard order, first to last.
    std::vector<Control*> tabOrder;

    void Form_Load();
    void Combo1_Click();
    void Check1_Click();
    void Text2_KeyPress(std::string& key);
    // The code text and the separator stay within their fields of the binding file.
    void Text1_KeyPress(std::string& key);
    void Text1_Change();
    void Text3_KeyPress(std::string& key);
    void Text3_Change();
    void Command1_Click();
    void Command2_Click();
    // Hides the dialog for good (also what its close box does).
    void unload();
    bool unloaded() const { return unloaded_; }

private:
    ConfigWindow& w_;
    bool unloaded_ = false;
};

} // namespace valumat::ui
