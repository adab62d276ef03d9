#include "ui/keystab.h"

#include "runtime/errors.h"
#include "runtime/text.h"
#include "ui/configwindow.h"
#include "ui/newkeydialog.h"

namespace valumat::ui {

namespace {

constexpr int kMaxBindingsAdded = 200;

} // namespace

KeysTab::KeysTab(ConfigWindow& window)
    : BindingEditor({.currencyHeading = " Währung:",
                     .keysHeading = " Tastenkombination:",
                     .label10 = {120, 1560, 2415, 255},
                     .label11 = {3000, 1960, 735, 255},
                     .label8 = {120, 2520, 1695, 255},
                     .label9 = {1200, 2880, 375, 375},
                     .label13 = {3840, 3000, 1695, 255},
                     .label12 = {3840, 3240, 1695, 255},
                     .combo3 = {120, 1920, 2775, 330},
                     .combo4 = {3840, 1920, 2775, 330},
                     .check1 = {3840, 2470, 975, 255},
                     .text1 = {4920, 2450, 495, 315},
                     .option1 = {5640, 2380, 1095, 255},
                     .option2 = {5640, 2600, 975, 255},
                     .combo1 = {120, 2880, 1095, 330},
                     .combo2 = {1560, 2880, 735, 330},
                     .text2 = {5640, 3000, 615, 255},
                     .text3 = {5640, 3240, 615, 255}}),
      KeyList("KeyList", {120, 240, 6495, 900}), Command1("Command1", "Hinzufügen", {120, 1120, 1335, 255}),
      Command2("Command2", "Entfernen", {1440, 1120, 1335, 255}),
      LabelRefused("LabelRefused", kRefusedHotKey, {120, 3300, 3615, 495}), w_(window) {
    LabelRefused.setVisible(false);
    Command1.setTooltip("Neue Tastenkombination hinzufügen");
    Command2.setTooltip("Gewählte Tastenkombination entfernen");
    AppState& state = w_.state;
    KeyList.bindItems([&state] { return static_cast<int>(state.keyListLines.size()); },
                      [&state](int i) { return state.keyListLines[static_cast<std::size_t>(i)]; });
    for (ComboBox* names : {&Combo3, &Combo4}) {
        names->bindItems([&state] { return static_cast<int>(state.selectorNames.size()); },
                         [&state](int i) { return state.selectorNames[static_cast<std::size_t>(i)]; });
    }

    KeyList.onClick = [this] { KeyList_Click(); };
    Text2.onLostFocus = [this] { Text2_LostFocus(); };
    Command1.onClick = [this] { Command1_Click(); };
    Command2.onClick = [this] { Command2_Click(); };
}

std::vector<Control*> KeysTab::controls() {
    return {&KeyList, &Command1, &Command2, &Label10, &Combo3, &Label11, &Combo4, &Check1,  &Text1, &Option1,
            &Option2, &Label8,   &Combo1,   &Label9,  &Combo2, &Label13, &Text2,  &Label12, &Text3, &LabelRefused};
}

std::vector<Control*> KeysTab::editorControls() {
    return {&Combo1, &Combo2, &Combo3, &Combo4, &Text1, &Text2, &Text3, &Option1, &Option2, &Check1};
}

const KeyBinding* KeysTab::selectedBinding() const {
    const int i = KeyList.listIndex();
    return i < 0 ? nullptr : &w_.state.bindings.at(i);
}

void KeysTab::KeyList_Click() {
    AppState& state = w_.state;
    const int i = KeyList.listIndex();
    if (i < 0 || state.RefreshInProgress) {
        return;
    }
    state.RefreshInProgress = true;
    const bool remembered = state.ChangesPending;

    skipOnError([&] {
        // A copy: the nested events must not see the slot change underneath them (they cannot write while
        // RefreshInProgress is set, but the copy keeps this loading independent of that).
        const KeyBinding b = state.bindings.at(i);
        Combo3.selectText(b.sourceCurrency);
        Combo4.selectText(b.targetCurrency);
        Combo1.selectText(b.firstKey); // rebuilds Combo2 by the modifier rule
        Combo2.selectText(b.secondKey);
        Check1.setValue(b.codePosition > 0 ? 1 : 0);
        Text1.setText(b.codeText);
        applyCodeEnabling(Check1, Text1, Option1, Option2);
        if (b.codePosition > 0) {
            (b.codePosition == 1 ? Option1 : Option2).setValue(true);
        }
        Text2.setText(std::to_string(b.resultDecimals));
        Text3.setText(b.decimalSeparator);
    });
    KeyList.setTooltip(KeyList.item(i));
    showRefusal();

    state.RefreshInProgress = false;
    state.ChangesPending = remembered;
    state.applyEnabled = remembered;
    state.notify(Changed::ChangesPending);
}

void KeysTab::SetLine() {
    AppState& state = w_.state;
    const int i = KeyList.listIndex();
    if (i < 0 || state.RefreshInProgress) {
        return;
    }
    skipOnError([&] {
        KeyBinding& b = state.bindings.at(i);
        b.firstKey = Combo1.text();
        b.secondKey = Combo2.text();
        b.sourceCurrency = Combo3.text();
        b.targetCurrency = Combo4.text();
        b.codeText = Text1.text();
        b.codePosition = codePositionOf(Check1, Option1);
        skipOnError([&] { b.resultDecimals = decimalsValue(Text2.text()); });
        // An empty box means "no separator" only where there are decimals to separate.
        if (b.resultDecimals > 0 || !Text3.text().empty()) {
            b.decimalSeparator = Text3.text();
        }
    });
    const std::string keys = Combo1.text() == "-" ? Combo2.text() : Combo1.text() + " + " + Combo2.text();
    if (static_cast<std::size_t>(i) < state.keyListLines.size()) {
        state.keyListLines[static_cast<std::size_t>(i)] =
            keys + "    " + Combo3.text() + " >> " + Combo4.text() + "    ";
        KeyList.refresh();
    }
}

void KeysTab::userChanged() {
    w_.markChanged();
}

void KeysTab::codeSwitching() {
    if (KeyList.listIndex() < 0) {
        KeyList.setListIndex(0); // loads binding 0, its own code state included
    }
    // Both ways the box shows the stored code text: switching the code off keeps it for later.
    skipOnError([&] {
        if (const KeyBinding* b = selectedBinding()) {
            Text1.setText(b->codeText);
        }
    });
}

void KeysTab::fieldsChanged() {
    SetLine();
}

void KeysTab::Text2_LostFocus() {
    if (trimSpaces(Text2.text()).empty()) {
        Text2.setText("0");
    }
}

void KeysTab::Command1_Click() {
    if (KeyList.count() >= kMaxBindingsAdded) {
        w_.message("Die maximale Anzahl von Tastenbelegungen ist erreicht!", "Information",
                   platform::MessageIcon::Information);
        return;
    }
    NewKeyDialog dialog(w_);
    dialog.Form_Load();
    dialog.form.setVisible(true);
    w_.host.runModal(dialog.form);
}

void KeysTab::Command2_Click() {
    AppState& state = w_.state;
    const int s = KeyList.listIndex();
    if (s < 0) {
        w_.message("Kein Eintrag zum Entfernen gewählt!", "Information", platform::MessageIcon::Information);
        return;
    }
    if (w_.message("Diese Tastenkombination wirklich entfernen?", "Frage", platform::MessageIcon::Question,
                   platform::MessageButtons::YesNo, platform::DefaultButton::Second) != platform::MessageAnswer::Yes) {
        return;
    }
    const int rows = KeyList.count();
    const int next = s == rows - 1 ? s - 1 : s;

    skipOnError([&] {
        for (int j = s + 1; j < KeyBindingTable::kSlots; ++j) {
            state.bindings.at(j - 1) = state.bindings.at(j);
        }
        // The slot freed at the end of the list holds no binding. Only a full table of 201 bindings has one in
        // slot 200, which would otherwise stay there and be saved twice.
        state.bindings.at(rows - 1) = KeyBinding{};
    });

    if (static_cast<std::size_t>(s) < state.keyListLines.size()) {
        state.keyListLines.erase(state.keyListLines.begin() + s);
    }
    KeyList.setListIndex(-1); // the selected row is gone
    KeyList.itemsChanged();
    KeyList.setListIndex(next);
    showRefusal();

    w_.markChanged();
    if (KeyList.count() == 0) {
        clearAndLockEditor();
    }
}

void KeysTab::keyListRebuilt() {
    KeyList.setListIndex(-1);
    KeyList.itemsChanged();
    showRefusal();
}

void KeysTab::showRefusal() {
    const int i = KeyList.listIndex();
    const bool refused = i >= 0 && i < KeyBindingTable::kSlots && w_.state.hotKeys[static_cast<std::size_t>(i)].refused;
    if (LabelRefused.visible() != refused) {
        LabelRefused.setVisible(refused);
    }
}

void KeysTab::clearAndLockEditor() {
    w_.state.bindingEditorLocked = true;
    for (ComboBox* list : {&Combo3, &Combo4, &Combo1, &Combo2}) {
        list->setListIndex(-1);
    }
    for (TextBox* box : {&Text1, &Text2, &Text3}) {
        box->setText("");
    }
    Option1.setValue(false);
    Option2.setValue(false);
    Check1.setValue(0);
    for (Control* c : editorControls()) {
        c->setEnabled(false);
    }
}

void KeysTab::unlockEditor() {
    w_.state.bindingEditorLocked = false;
    for (Control* c : editorControls()) {
        c->setEnabled(true);
    }
}

void KeysTab::selectorNamesChanged() {
    for (ComboBox* names : {&Combo3, &Combo4}) {
        names->setListIndex(-1);
        names->itemsChanged();
    }
}

void KeysTab::fillKeyLists() {
    Combo1.clear();
    Combo1.addItem("-");
    Combo1.addItem("STRG");
    Combo2.clear();
    for (auto& key : allKeys()) {
        Combo2.addItem(std::move(key));
    }
}

} // namespace valumat::ui
