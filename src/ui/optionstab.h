// The options tab ("Optionen"): working mode, autostart, minimised start, and the script file with its help page.
// The option controls are bound to the program's option values.
#pragma once

#include "ui/controls.h"

namespace valumat::ui {

class ConfigWindow;

class OptionsTab {
public:
    explicit OptionsTab(ConfigWindow& window);

    CheckBox Check2; // autostart
    CheckBox Check3; // start minimised
    Label Label22;
    OptionButton Option4; // normal mode
    OptionButton Option3; // spreadsheet mode
    Panel Frame1;
    Button Command5; // "keypress.txt verändern"
    Button Command6; // "<< Hilfe dazu"

    std::vector<Control*> controls();

    void Option3_Click();
    void Option4_Click();
    void Check2_Click();
    void Check3_Click();
    void Command5_Click();
    void Command6_Click();

    // The option values changed underneath (ReadOptions): mirror them and raise the controls' events.
    void optionsChanged();

private:
    void modeClicked();
    ConfigWindow& w_;
    // What the controls showed last, to raise Click only for real changes.
    bool shownAutostart_ = false;
    bool shownMinimised_ = false;
    bool shownExcel_ = false;
};

} // namespace valumat::ui
