#include "ui/optionstab.h"

#include "ui/configwindow.h"

namespace valumat::ui {

OptionsTab::OptionsTab(ConfigWindow& window)
    : Check2("Check2"), Check3("Check3"), Label22("Label22"), Option4("Option4"), Option3("Option3"), Frame1("Frame1"),
      Command5("Command5"), Command6("Command6"), w_(window) {}
std::vector<Control*> OptionsTab::controls() { return {}; }
void OptionsTab::optionsChanged() {}

} // namespace valumat::ui
