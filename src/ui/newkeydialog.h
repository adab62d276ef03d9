// The dialog "Neue Tastenkombination hinzufügen" (FNeuKey): the only way to add a key binding.
#pragma once

#include "ui/bindingeditor.h"
#include "ui/controls.h"

namespace valumat::ui {

class ConfigWindow;

class NewKeyDialog : public BindingEditor {
public:
    explicit NewKeyDialog(ConfigWindow& window);

    Form form;
    Button Command1; // "Speichern"
    Button Command2; // "Abbrechen"
    // Keyboard order, first to last.
    std::vector<Control*> tabOrder;

    void Form_Load();
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
