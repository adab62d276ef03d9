// Placeholder until the key-bindings tab lands.
#include "ui/keystab.h"

#include "ui/configwindow.h"

namespace valumat::ui {

KeysTab::KeysTab(ConfigWindow& window)
    : KeyList("KeyList"), Command1("Command1"), Command2("Command2"), Label10("Label10"), Label11("Label11"),
      Label8("Label8"), Label9("Label9"), Label13("Label13"), Label12("Label12"), Combo3("Combo3"), Combo4("Combo4"),
      Check1("Check1"), Text1("Text1"), Option1("Option1"), Option2("Option2"), Combo1("Combo1"), Combo2("Combo2"),
      Text2("Text2"), Text3("Text3"), w_(window) {}

std::vector<Control*> KeysTab::controls() { return {&KeyList}; }
void KeysTab::KeyList_Click() {}
void KeysTab::SetLine() {}
void KeysTab::keyListRebuilt() {}
void KeysTab::clearAndLockEditor() {}
void KeysTab::unlockEditor() {}
void KeysTab::selectorNamesChanged() {}
void KeysTab::fillKeyLists() {}

} // namespace valumat::ui
