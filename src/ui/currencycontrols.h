// The fields of one currency, as the currencies tab and the new-currency dialog both show them: the six boxes, the
// "Fix" box and their labels, with their tooltips, length limits and key filters.
#pragma once

#include "ui/controls.h"

#include <string>

namespace valumat::ui {

class CurrencyControls {
public:
    TextBox tName, tLand, tKurz, t1Euro, t1Waehrung, tNachkomma;
    CheckBox cFix;
    Label Label6; // "1 " + code + " ="
    Label labelName, labelLand, labelKurz, labelEuro, labelKurs, labelNachkomma;

protected:
    // What the tooltips speak of: the currency shown (the tab) or a new one (the dialog).
    enum class Wording { Shown, New };
    // The group stands with its labels at `left` (twips); the name and country boxes are `wideWidth` wide.
    CurrencyControls(Wording wording, int left, int wideWidth);
    virtual ~CurrencyControls() = default;

    // The owner's part. A character key reached a box (before the box's filter sees it).
    virtual void keyTyped() {}
    // A box's text changed, by the user or by code other than setFromCode. Characters the record line cannot hold,
    // which edits without a key (pasting, Delete) can bring, are gone by then.
    virtual void textChanged(TextBox& /*box*/) {}

    // Sets a box's text without raising textChanged.
    void setFromCode(TextBox& box, const std::string& text);

private:
    void filterKey(const TextBox& box, std::string& key) const;
    void boxChanged(TextBox& box);

    bool settingText_ = false;
};

// Input rules of the group.
// Rate and decimals boxes: only "0"-"9", Backspace, "," and "." pass.
void rateKeyFilter(std::string& key);
// Name, country and code boxes: every character that the record line and the file can hold passes; ";" (the
// field separator), control characters other than Backspace and characters outside Windows-1252 are discarded.
// In a name, the "#" that would complete the key-binding separator "#:#" is discarded as well.
void textKeyFilter(std::string& key, const std::string& textBefore, bool isName);
// The same rules applied to a whole text (for edits that come without a key): refused characters are removed.
std::string withoutRefusedCharacters(const std::string& text, bool isName);

} // namespace valumat::ui
