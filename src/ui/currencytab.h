// The currencies tab ("Währungen"): browse, edit in place, add (dialog) and remove currencies. The edit boxes are
// bound to the program's currency editor state; List1 shows the names of the currency table.
#pragma once

#include "ui/controls.h"
#include "ui/currencycontrols.h"

#include <string>
#include <vector>

namespace valumat::ui {

class ConfigWindow;

class CurrencyTab : public CurrencyControls {
public:
    explicit CurrencyTab(ConfigWindow& window);

    ListBox List1;
    Button cFirst, cBack, cNext, cLast;
    Button cAdd, cDelete;
    Label Label23; // link to the exchange-rate service

    std::vector<Control*> controls();

    void List1_Click(); // every change of the selected row
    void cFirst_Click();
    void cBack_Click();
    void cNext_Click();
    void cLast_Click();
    void t1Euro_LostFocus();
    void cFix_Click();
    void cAdd_Click();
    void cDelete_Click();
    void Label23_Click();

    // Window-side reactions to the tables.
    void rowsChanged();   // the table's rows (List1)
    void editorChanged(); // fields, label, selection, enabled states

private:
    // Every character key is a change, whether or not the box then takes the character; so is every edit that
    // came without a character key (pasting, Delete).
    void keyTyped() override;
    void textChanged(TextBox& box) override;

    ConfigWindow& w_;
    bool mirroring_ = false; // the selection is being set to match the editor state: no Click handling
};

// The address behind the exchange-rate link and the name shown in its caption.
inline constexpr const char* kRateServiceName = "Devisenrechner.example";
inline constexpr const char* kRateServiceAddress = "https://devisenrechner.example/convert/classic?lang=de";

} // namespace valumat::ui
