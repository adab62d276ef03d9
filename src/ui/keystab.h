// The key-bindings tab ("Tasten"): the binding list, the editor of the selected binding (changes go into the
// table at once), "Hinzufügen" and "Entfernen".
#pragma once

#include "runtime/tables.h"
#include "ui/bindingeditor.h"
#include "ui/controls.h"

namespace valumat::ui {

class ConfigWindow;

class KeysTab : public BindingEditor {
public:
    explicit KeysTab(ConfigWindow& window);

    ListBox KeyList;
    Button Command1; // "Hinzufügen"
    Button Command2; // "Entfernen"
    // Shown under the editor while the selected binding's combination is held by another program.
    Label LabelRefused;

    std::vector<Control*> controls();

    // Handlers.
    void KeyList_Click();
    // Writes the editor's fields into the selected binding and its list line.
    void SetLine();
    void Text2_LostFocus();
    void Command1_Click();
    void Command2_Click();

    // Window-side reactions to the tables: the list was rebuilt; the editor is cleared and disabled (no binding);
    // the editor is enabled again (the first binding arrived); the currency names changed.
    void keyListRebuilt();
    void clearAndLockEditor();
    void unlockEditor();
    void selectorNamesChanged();
    // The hot keys were registered anew, or another binding is selected: the refusal label follows.
    void showRefusal();
    // Fills Combo1 with "-", "STRG" and Combo2 with the 48 keys (at start-up).
    void fillKeyLists();

private:
    // Every change by the user is a pending change; every changed field goes into the binding at once.
    void userChanged() override;
    void codeSwitching() override;
    void fieldsChanged() override;
    // The ten controls that show a binding, enabled and disabled together.
    std::vector<Control*> editorControls();
    // The binding in KeyList's selected row; nullptr when no row is selected.
    const KeyBinding* selectedBinding() const;

    ConfigWindow& w_;
};

// What the key-bindings tab and the tray say of a combination another program holds.
inline constexpr const char* kRefusedHotKey = "Tastenkombination von einem anderen Programm belegt";

} // namespace valumat::ui
