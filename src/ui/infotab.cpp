#include "ui/infotab.h"

#include "ui/configwindow.h"

namespace valumat::ui {

InfoTab::InfoTab(ConfigWindow& window)
    : TabInfo("TabInfo", {"Programminfo", "Hilfe", "Kontakt"}), Info1("Info(1)"), Info2("Info(2)"), Info3("Info(3)"),
      Image1("Image1"), labelProduct("labelProduct"), labelVersion("labelVersion"), labelDate("labelDate"),
      labelAuthor("labelAuthor"), labelMail("labelMail"), labelWeb("labelWeb"), Label19("Label19"),
      Label21("Label21"), Text4("Text4"), labelHeading("labelHeading"), Label27("Label27"), tName2("tName2"),
      tEmail("tEmail"), tHomepage("tHomepage"), tNachricht("tNachricht"), Command8("Command8"), w_(window) {}
std::vector<Control*> InfoTab::controls() { return {}; }

} // namespace valumat::ui
