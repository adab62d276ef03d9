// Placeholder until the currencies tab lands.
#include "ui/currencytab.h"

#include "ui/configwindow.h"

namespace valumat::ui {

CurrencyTab::CurrencyTab(ConfigWindow& window)
    : List1("List1"), tName("tName"), tLand("tLand"), tKurz("tKurz"), t1Euro("t1Euro"), t1Waehrung("t1Waehrung"),
      tNachkomma("tNachkomma"), cFix("cFix"), Label6("Label6"), labelName("labelName"), labelLand("labelLand"),
      labelKurz("labelKurz"), labelEuro("labelEuro"), labelKurs("labelKurs"), labelNachkomma("labelNachkomma"),
      cFirst("cFirst"), cBack("cBack"), cNext("cNext"), cLast("cLast"), cAdd("cAdd"), cDelete("cDelete"),
      Label23("Label23"), w_(window) {}

std::vector<Control*> CurrencyTab::controls() { return {&List1}; }
void CurrencyTab::rowsChanged() {}
void CurrencyTab::editorChanged() {}

} // namespace valumat::ui
