#include "ui/keystab.h"

#include "runtime/errors.h"
#include "runtime/numbers.h"
#include "runtime/text.h"
#include "store/keyfile.h"
#include "ui/configwindow.h"
#include "ui/newkeydialog.h"

#include <cmath>

namespace valumat::ui {

namespace {

constexpr int kMaxBindingsAdded = 200;

// A handler step that fails is skipped; the handler goes on with its next step.
template <class Step> void skipOnError(Step step) {
    try {
        step();
    } catch (const RuntimeError&) {
    }
}

} // namespace

// ---------------------------------------------------------------------------------------------------------------
// Shared with the new key-binding dialog.

std::vector<std::string> allKeys() {
    std::vector<std::string> keys;
    for (char c = '0'; c <= '9'; ++c) {
        keys.emplace_back(1, c);
    }
    for (char c = 'A'; c <= 'Z'; ++c) {
        keys.emplace_back(1, c);
    }
    const auto f = functionKeys();
    keys.insert(keys.end(), f.begin(), f.end());
    return keys;
}

std::vector<std::string> functionKeys() {
    std::vector<std::string> keys;
    for (int n = 1; n <= 12; ++n) {
        keys.push_back("F" + std::to_string(n));
    }
    return keys;
}

void applyModifierRule(const ComboBox& modifier, ComboBox& keys) {
    const std::string remembered = keys.text();
    keys.clear();
    if (modifier.text() == "STRG") {
        for (auto& key : allKeys()) {
            keys.addItem(std::move(key));
        }
        keys.selectText(remembered);
        return;
    }
    for (auto& key : functionKeys()) {
        keys.addItem(std::move(key));
    }
    // A digit or a letter has no place among the function keys: F1 stands in for it.
    if (utf8Length(remembered) >= 2) {
        keys.selectText(remembered);
    } else {
        keys.setListIndex(0);
    }
}

void applyCodeEnabling(const CheckBox& check, TextBox& text, OptionButton& before, OptionButton& after) {
    const bool on = check.value() != 0;
    text.setEnabled(on);
    text.setBackColor(on ? BackColor::Window : BackColor::ButtonFace);
    before.setEnabled(on);
    after.setEnabled(on);
    if (!on) {
        before.setValue(false);
        after.setValue(false);
    }
}

void decimalsKeyFilter(std::string& key) {
    const bool digit = key.size() == 1 && key[0] >= '0' && key[0] <= '9';
    if (!digit && key != "\b" && key != "," && key != ".") {
        key.clear();
    }
}

void lineBreakKeyFilter(std::string& key) {
    if (key == "\r" || key == "\n") {
        key.clear();
    }
}

void codeTextKeyFilter(const std::string& current, std::string& key) {
    lineBreakKeyFilter(key);
    // Characters are only ever appended: "#:" at the end would run into the field separator that follows the code
    // text in the binding file, so the ":" is refused there (and with it every way to type "#:#").
    if (key == ":" && current.ends_with("#")) {
        key.clear();
    }
    if (key == "#" && current.ends_with("#:")) {
        key.clear();
    }
}

std::string withoutLineBreaks(std::string text) {
    std::erase_if(text, [](char c) { return c == '\r' || c == '\n'; });
    return text;
}

std::string cleanCodeText(std::string text) {
    text = withoutLineBreaks(std::move(text));
    for (;;) {
        if (const auto at = text.find(kFieldSeparator); at != std::string::npos) {
            text.erase(at, 3);
        } else if (text.ends_with("#:")) {
            text.pop_back();
        } else {
            return text;
        }
    }
}

std::uint8_t decimalsValue(const std::string& text) {
    const double value = std::nearbyint(readNumber(text));
    if (value < 0 || value > 255) {
        throw RuntimeError(err::kOverflow);
    }
    return static_cast<std::uint8_t>(value);
}

std::uint8_t codePositionOf(const CheckBox& check, const OptionButton& before) {
    if (check.value() == 0) {
        return 0;
    }
    return before.value() ? 1 : 2;
}

// ---------------------------------------------------------------------------------------------------------------

void designBindingEditor(const BindingEditorControls& e) {
    e.combo3.setTooltip("Einzulesende Währung");
    e.combo4.setTooltip("Zu berechnende Währung");
    e.check1.setTooltip("Währungskürzel ausgeben/ nicht ausgeben");
    e.text1.setTooltip("Währungskürzel");
    e.option1.setTooltip("Währungskürzel steht vor dem Betrag");
    e.option2.setTooltip("Währungskürzel steht hinter dem Betrag");
    e.text2.setTooltip("Nachkommastellen, auf die der berechnete Betrag gerundet und ausgegeben werden soll");
    e.text3.setTooltip("Trennzeichen, mit dem Dezimalstellen getrennt werden");
    e.label11.alignment = Alignment::Center;
    e.label9.alignment = Alignment::Center;
    e.label9.fontName = "Arial";
    e.label9.fontSizePoints = 12;
    e.label13.alignment = Alignment::Right;
    e.label12.alignment = Alignment::Right;

    e.text1.maxLength = 10;
    e.text1.setEnabled(false);
    e.text1.setBackColor(BackColor::ButtonFace);
    e.option1.setEnabled(false);
    e.option2.setEnabled(false);
    OptionButton::group({&e.option1, &e.option2});
    e.text2.maxLength = 1;
    e.text3.maxLength = 1;
    e.text3.setText(",");
}

KeysTab::KeysTab(ConfigWindow& window)
    : KeyList("KeyList", {120, 240, 6495, 900}), Command1("Command1", "Hinzufügen", {120, 1120, 1335, 255}),
      Command2("Command2", "Entfernen", {1440, 1120, 1335, 255}),
      Label10("Label10", " Währung:", {120, 1560, 2415, 255}), Label11("Label11", "wird zu", {3000, 1960, 735, 255}),
      Label8("Label8", " Tastenkombination:", {120, 2520, 1695, 255}), Label9("Label9", "+", {1200, 2880, 375, 375}),
      Label13("Label13", "Nachkommastellen:", {3840, 3000, 1695, 255}),
      Label12("Label12", "Trennzeichen:", {3840, 3240, 1695, 255}), Combo3("Combo3", {120, 1920, 2775, 330}),
      Combo4("Combo4", {3840, 1920, 2775, 330}), Check1("Check1", "+ Kürzel:", {3840, 2470, 975, 255}),
      Text1("Text1", {4920, 2450, 495, 315}), Option1("Option1", "davor", {5640, 2380, 1095, 255}),
      Option2("Option2", "dahinter", {5640, 2600, 975, 255}), Combo1("Combo1", {120, 2880, 1095, 330}),
      Combo2("Combo2", {1560, 2880, 735, 330}), Text2("Text2", {5640, 3000, 615, 255}),
      Text3("Text3", {5640, 3240, 615, 255}), LabelRefused("LabelRefused", kRefusedHotKey, {120, 3300, 3615, 495}),
      w_(window) {
    LabelRefused.setVisible(false);
    Command1.setTooltip("Neue Tastenkombination hinzufügen");
    Command2.setTooltip("Gewählte Tastenkombination entfernen");
    designBindingEditor(
        {Label11, Label9, Label13, Label12, Combo3, Combo4, Check1, Text1, Option1, Option2, Text2, Text3});

    AppState& state = w_.state;
    KeyList.bindItems([&state] { return static_cast<int>(state.keyListLines.size()); },
                      [&state](int i) { return state.keyListLines[static_cast<std::size_t>(i)]; });
    for (ComboBox* names : {&Combo3, &Combo4}) {
        names->bindItems([&state] { return static_cast<int>(state.selectorNames.size()); },
                         [&state](int i) { return state.selectorNames[static_cast<std::size_t>(i)]; });
    }

    KeyList.onClick = [this] { KeyList_Click(); };
    Combo1.onClick = [this] { Combo1_Click(); };
    Combo2.onClick = [this] { Combo2_Click(); };
    Combo3.onClick = [this] { Combo3_Click(); };
    Combo4.onClick = [this] { Combo4_Click(); };
    Check1.onClick = [this] { Check1_Click(); };
    Option1.onClick = [this] { Option1_Click(); };
    Option2.onClick = [this] { Option2_Click(); };
    Text1.onKeyPress = [this](std::string& key) { Text1_KeyPress(key); };
    Text2.onKeyPress = [this](std::string& key) { Text2_KeyPress(key); };
    Text3.onKeyPress = [this](std::string& key) { Text3_KeyPress(key); };
    Text1.onChange = [this] { Text1_Change(); };
    Text2.onChange = [this] { Text2_Change(); };
    Text3.onChange = [this] { Text3_Change(); };
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

void KeysTab::Combo1_Click() {
    w_.markChanged();
    applyModifierRule(Combo1, Combo2);
    SetLine();
}

void KeysTab::Combo2_Click() {
    w_.markChanged();
    SetLine();
}

void KeysTab::Combo3_Click() {
    w_.markChanged();
    SetLine();
}

void KeysTab::Combo4_Click() {
    w_.markChanged();
    SetLine();
}

void KeysTab::Check1_Click() {
    w_.markChanged();
    if (KeyList.listIndex() < 0) {
        KeyList.setListIndex(0); // loads binding 0, its own code state included
    }
    // Both ways the box shows the stored code text: switching the code off keeps it for later.
    skipOnError([&] {
        if (const KeyBinding* b = selectedBinding()) {
            Text1.setText(b->codeText);
        }
    });
    applyCodeEnabling(Check1, Text1, Option1, Option2);
    SetLine();
}

void KeysTab::Option1_Click() {
    w_.markChanged();
    SetLine();
}

void KeysTab::Option2_Click() {
    w_.markChanged();
    SetLine();
}

void KeysTab::Text1_KeyPress(std::string& key) {
    w_.markChanged();
    codeTextKeyFilter(Text1.text(), key);
}

void KeysTab::Text2_KeyPress(std::string& key) {
    w_.markChanged();
    decimalsKeyFilter(key);
}

void KeysTab::Text3_KeyPress(std::string& key) {
    w_.markChanged();
    lineBreakKeyFilter(key);
}

void KeysTab::Text1_Change() {
    // Pasted text does not pass the key filter: what the binding file cannot hold is taken out here (the
    // corrected text comes back through this handler).
    const std::string text = Text1.text();
    if (const std::string clean = cleanCodeText(text); clean != text) {
        Text1.setText(clean);
        return;
    }
    SetLine();
}

void KeysTab::Text2_Change() {
    SetLine();
}

void KeysTab::Text3_Change() {
    const std::string text = Text3.text();
    if (const std::string clean = withoutLineBreaks(text); clean != text) {
        Text3.setText(clean);
        return;
    }
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
