// The key-bindings tab ("Tasten"): the binding list, the editor of the selected binding (changes go into the
// table at once), "Hinzufügen" and "Entfernen".
#pragma once

#include "runtime/tables.h"
#include "ui/controls.h"

#include <cstdint>

namespace valumat::ui {

class ConfigWindow;

class KeysTab {
public:
    explicit KeysTab(ConfigWindow& window);

    ListBox KeyList;
    Button Command1; // "Hinzufügen"
    Button Command2; // "Entfernen"
    Label Label10, Label11, Label8, Label9, Label13, Label12;
    ComboBox Combo3;               // source currency
    ComboBox Combo4;               // target currency
    CheckBox Check1;               // "+ Kürzel:"
    TextBox Text1;                 // code text
    OptionButton Option1, Option2; // "davor", "dahinter"
    ComboBox Combo1;               // "-" or "STRG"
    ComboBox Combo2;               // the key
    TextBox Text2;                 // decimals
    TextBox Text3;                 // decimal separator
    // Shown under the editor while the selected binding's combination is held by another program.
    Label LabelRefused;

    std::vector<Control*> controls();

    // Handlers.
    void KeyList_Click();
    void SetLine();
    void Combo1_Click();
    void Combo2_Click();
    void Combo3_Click();
    void Combo4_Click();
    void Check1_Click();
    void Option1_Click();
    void Option2_Click();
    void Text1_KeyPress(std::string& key);
    void Text2_KeyPress(std::string& key);
    void Text3_KeyPress(std::string& key);
    void Text1_Change();
    void Text2_Change();
    void Text3_Change();
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
    // The ten controls that show a binding, enabled and disabled together.
    std::vector<Control*> editorControls();
    // The binding in KeyList's selected row; nullptr when no row is selected.
    const KeyBinding* selectedBinding() const;

    ConfigWindow& w_;
};

// What the key-bindings tab and the tray say of a combination another program holds.
inline constexpr const char* kRefusedHotKey = "Tastenkombination von einem anderen Programm belegt";

// The binding editor's controls, as the tab and the new key-binding dialog both have them.
struct BindingEditorControls {
    Label& label11;
    Label& label9;
    Label& label13;
    Label& label12;
    ComboBox& combo3;
    ComboBox& combo4;
    CheckBox& check1;
    TextBox& text1;
    OptionButton& option1;
    OptionButton& option2;
    TextBox& text2;
    TextBox& text3;
};
// Their design: tooltips, alignment and font of the labels, length limits, the code box and options disabled until
// "+ Kürzel:" is ticked, the separator ",".
void designBindingEditor(const BindingEditorControls& editor);

// The two key sets of Combo2 and the modifier rule shared with the new key-binding dialog.
std::vector<std::string> allKeys();      // 0-9, A-Z, F1-F12
std::vector<std::string> functionKeys(); // F1-F12
// Refills the key list for the modifier and selects again as the modifier rule says.
void applyModifierRule(const ComboBox& modifier, ComboBox& keys);
// Enables the code text and the position options by the check box (shared with the dialog).
void applyCodeEnabling(const CheckBox& check, TextBox& text, OptionButton& before, OptionButton& after);
// Only "0"-"9", Backspace, "," and "." pass.
void decimalsKeyFilter(std::string& key);
// The field texts stay on one line of the binding file: CR and LF are refused.
void lineBreakKeyFilter(std::string& key);
std::string withoutLineBreaks(std::string text);
// The code text stays one field of the binding file: besides line breaks, a key that would make the text contain
// the field separator "#:#" or end in "#:" (which runs into the separator after it) is refused; pasted text is
// cleaned the same way.
void codeTextKeyFilter(const std::string& current, std::string& key);
std::string cleanCodeText(std::string text);
// The number of decimals a text stands for ("", "," and "." count as 0); fails with RuntimeError beyond 255.
std::uint8_t decimalsValue(const std::string& text);
// 0 with the code switched off, else 1 for "davor" and 2 otherwise.
std::uint8_t codePositionOf(const CheckBox& check, const OptionButton& before);

} // namespace valumat::ui
