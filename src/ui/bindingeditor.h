// The editor of one key binding, as the key-bindings tab and the new key-binding dialog both have it: the two
// currencies, the key combination, the currency code and its position, the decimals and their separator.
#pragma once

#include "runtime/errors.h"
#include "ui/controls.h"

#include <cstdint>
#include <string>
#include <vector>

namespace valumat::ui {

class BindingEditor {
public:
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

protected:
    // Where the owner shows the editor, and the captions of its two headings.
    struct Design {
        const char* currencyHeading; // Label10
        const char* keysHeading;     // Label8
        Twips label10, label11, label8, label9, label13, label12;
        Twips combo3, combo4, check1, text1, option1, option2, combo1, combo2, text2, text3;
    };
    // Tooltips, alignment and font of the labels, length limits, the code box and options disabled until
    // "+ Kürzel:" is ticked, the separator ","; the key filters, the modifier rule and the code switch.
    explicit BindingEditor(const Design& design);
    virtual ~BindingEditor() = default;

    // The owner's part. The user changed a field (typed a key, made a choice), before the editor reacts to it.
    virtual void userChanged() {}
    // "+ Kürzel:" was clicked; the code box and the position options follow it after this.
    virtual void codeSwitching() {}
    // A field's value changed, by the user or by code; the texts hold only what the binding file can hold.
    virtual void fieldsChanged() {}

private:
    // Takes out of a box what the key filter would have refused (pasted text); true when something was.
    static bool cleaned(TextBox& box, std::string (*clean)(std::string));
};

// A handler step that fails is skipped; the handler goes on with its next step.
template <class Step> void skipOnError(Step step) {
    try {
        step();
    } catch (const RuntimeError&) {
    }
}

// The two key sets of Combo2 and the modifier rule.
std::vector<std::string> allKeys();      // 0-9, A-Z, F1-F12
std::vector<std::string> functionKeys(); // F1-F12
// Refills the key list for the modifier and selects again as the modifier rule says.
void applyModifierRule(const ComboBox& modifier, ComboBox& keys);
// Enables the code text and the position options by the check box.
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
