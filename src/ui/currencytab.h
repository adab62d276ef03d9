// The currencies tab ("Währungen"): browse, edit in place, add (dialog) and remove currencies. The edit boxes are
// bound to the program's currency editor state; List1 shows the names of the currency table.
#pragma once

#include "ui/controls.h"

#include <string>
#include <vector>

namespace valumat::ui {

class ConfigWindow;

class CurrencyTab {
public:
    explicit CurrencyTab(ConfigWindow& window);

    ListBox List1;
    TextBox tName, tLand, tKurz, t1Euro, t1Waehrung, tNachkomma;
    CheckBox cFix;
    Label Label6; // "1 " + code + " ="
    Label labelName, labelLand, labelKurz, labelEuro, labelKurs, labelNachkomma;
    Button cFirst, cBack, cNext, cLast;
    Button cAdd, cDelete;
    Label Label23; // link to the exchange-rate service

    std::vector<Control*> controls();

    void List1_Click(); // every change of the selected row
    void cFirst_Click();
    void cBack_Click();
    void cNext_Click();
    void cLast_Click();
    void tName_KeyPress(std::string& key);
    void tLand_KeyPress(std::string& key);
    void tKurz_KeyPress(std::string& key);
    void t1Euro_KeyPress(std::string& key);
    void t1Waehrung_KeyPress(std::string& key);
    void tNachkomma_KeyPress(std::string& key);
    void t1Euro_LostFocus();
    void cFix_Click();
    void cAdd_Click();
    void cDelete_Click();
    void Label23_Click();

    // Window-side reactions to the tables.
    void rowsChanged();   // the table's rows (List1)
    void editorChanged(); // fields, label, selection, enabled states

private:
    // A box's text changed: edits that came without a character key (pasting, Delete) mark a change as well, and
    // characters the record line cannot hold are taken out again.
    void boxChange(TextBox& box, bool isName);
    void setFromCode(TextBox& box, const std::string& text);

    ConfigWindow& w_;
    bool mirroring_ = false;   // the selection is being set to match the editor state: no Click handling
    bool settingText_ = false; // a box's text is being set by this tab, not by the user
};

// The address behind the exchange-rate link and the name shown in its caption.
inline constexpr const char* kRateServiceName = "Devisenrechner.example";
inline constexpr const char* kRateServiceAddress = "https://devisenrechner.example/convert/classic?lang=de";

// Input rules shared by the tab and the new-currency dialog.
// Rate and decimals boxes: only "0"-"9", Backspace, "," and "." pass.
void rateKeyFilter(std::string& key);
// Name, country and code boxes: every character that the record line and the file can hold passes; ";" (the
// field separator), control characters other than Backspace and characters outside Windows-1252 are discarded.
// In a name, the "#" that would complete the key-binding separator "#:#" is discarded as well.
void textKeyFilter(std::string& key, const std::string& textBefore, bool isName);
// The same rules applied to a whole text (for edits that come without a key): refused characters are removed.
std::string withoutRefusedCharacters(const std::string& text, bool isName);

} // namespace valumat::ui
