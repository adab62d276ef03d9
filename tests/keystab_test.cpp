#include "keysfixture.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace valumat {
namespace {

using platform::DefaultButton;
using platform::MessageAnswer;
using platform::MessageButtons;
using platform::MessageIcon;
using ui::BackColor;

class KeysTab : public test::KeysWindow {
protected:
    std::vector<ui::Control*> editor() {
        return {&keys.Combo1, &keys.Combo2, &keys.Combo3,  &keys.Combo4,  &keys.Text1,
                &keys.Text2,  &keys.Text3,  &keys.Option1, &keys.Option2, &keys.Check1};
    }
    void expectEditorClearedAndLocked() {
        for (ui::Control* c : editor()) {
            EXPECT_FALSE(c->enabled()) << c->name();
        }
        for (ui::ComboBox* list : {&keys.Combo1, &keys.Combo2, &keys.Combo3, &keys.Combo4}) {
            EXPECT_EQ(list->listIndex(), -1) << list->name();
        }
        EXPECT_EQ(keys.Text1.text(), "");
        EXPECT_EQ(keys.Text2.text(), "");
        EXPECT_EQ(keys.Text3.text(), "");
        EXPECT_FALSE(keys.Option1.value());
        EXPECT_FALSE(keys.Option2.value());
        EXPECT_EQ(keys.Check1.value(), 0);
        EXPECT_TRUE(h.state.bindingEditorLocked);
    }
    const KeyBinding& slot(int i) { return h.state.bindings[i]; }
};

// ---------------------------------------------------------------------------------------------------------------
// The controls as designed.

TEST_F(KeysTab, ControlsAsDesigned) {
    struct Expected {
        const char* name;
        std::string caption; // button, label or check box caption
        std::string tooltip;
        ui::Twips rect;
    };
    const std::vector<Expected> expected = {
        {"KeyList", "", "", {120, 240, 6495, 900}},
        {"Command1", "Hinzufügen", "Neue Tastenkombination hinzufügen", {120, 1120, 1335, 255}},
        {"Command2", "Entfernen", "Gewählte Tastenkombination entfernen", {1440, 1120, 1335, 255}},
        {"Label10", " Währung:", "", {120, 1560, 2415, 255}},
        {"Combo3", "", "Einzulesende Währung", {120, 1920, 2775, 330}},
        {"Label11", "wird zu", "", {3000, 1960, 735, 255}},
        {"Combo4", "", "Zu berechnende Währung", {3840, 1920, 2775, 330}},
        {"Check1", "+ Kürzel:", "Währungskürzel ausgeben/ nicht ausgeben", {3840, 2470, 975, 255}},
        {"Text1", "", "Währungskürzel", {4920, 2450, 495, 315}},
        {"Option1", "davor", "Währungskürzel steht vor dem Betrag", {5640, 2380, 1095, 255}},
        {"Option2", "dahinter", "Währungskürzel steht hinter dem Betrag", {5640, 2600, 975, 255}},
        {"Label8", " Tastenkombination:", "", {120, 2520, 1695, 255}},
        {"Combo1", "", "", {120, 2880, 1095, 330}},
        {"Label9", "+", "", {1200, 2880, 375, 375}},
        {"Combo2", "", "", {1560, 2880, 735, 330}},
        {"Label13", "Nachkommastellen:", "", {3840, 3000, 1695, 255}},
        {"Text2",
         "",
         "Nachkommastellen, auf die der berechnete Betrag gerundet und ausgegeben werden soll",
         {5640, 3000, 615, 255}},
        {"Label12", "Trennzeichen:", "", {3840, 3240, 1695, 255}},
        {"Text3", "", "Trennzeichen, mit dem Dezimalstellen getrennt werden", {5640, 3240, 615, 255}},
        // not in the original design: under the editor while another program holds the combination
        {"LabelRefused", "Tastenkombination von einem anderen Programm belegt", "", {120, 3300, 3615, 495}},
    };
    const auto controls = keys.controls();
    ASSERT_EQ(controls.size(), expected.size());
    for (std::size_t i = 0; i < expected.size(); ++i) {
        const Expected& e = expected[i];
        ui::Control& c = *controls[i];
        EXPECT_EQ(c.name(), e.name);
        EXPECT_NE(std::find(h.window.form.controls.begin(), h.window.form.controls.end(), &c),
                  h.window.form.controls.end())
            << e.name;
        EXPECT_EQ(c.tooltip(), e.tooltip) << e.name;
        EXPECT_EQ(c.rect(), e.rect) << e.name;
        std::string caption;
        if (auto* b = dynamic_cast<ui::Button*>(&c)) {
            caption = b->caption();
        } else if (auto* l = dynamic_cast<ui::Label*>(&c)) {
            caption = l->caption();
        } else if (auto* x = dynamic_cast<ui::CheckBox*>(&c)) {
            caption = x->caption();
        } else if (auto* o = dynamic_cast<ui::OptionButton*>(&c)) {
            caption = o->caption();
        }
        EXPECT_EQ(caption, e.caption) << e.name;
    }
    EXPECT_EQ(keys.Label11.alignment, ui::Alignment::Center);
    EXPECT_EQ(keys.Label9.alignment, ui::Alignment::Center);
    EXPECT_EQ(keys.Label9.fontName, "Arial");
    EXPECT_EQ(keys.Label9.fontSizePoints, 12);
    EXPECT_EQ(keys.Label13.alignment, ui::Alignment::Right);
    EXPECT_EQ(keys.Label12.alignment, ui::Alignment::Right);

    EXPECT_EQ(keys.Text1.maxLength, 10);
    EXPECT_FALSE(keys.Text1.enabled());
    EXPECT_EQ(keys.Text1.backColor(), BackColor::ButtonFace);
    EXPECT_FALSE(keys.Option1.enabled());
    EXPECT_FALSE(keys.Option2.enabled());
    EXPECT_EQ(keys.Check1.value(), 0);
    EXPECT_EQ(keys.Text2.maxLength, 1);
    EXPECT_EQ(keys.Text2.text(), "");
    EXPECT_EQ(keys.Text3.maxLength, 1);
    EXPECT_EQ(keys.Text3.text(), ",");
}

TEST_F(KeysTab, KeyListsAtStartUp) {
    start();
    EXPECT_EQ(keys.Combo1.items(), (std::vector<std::string>{"-", "STRG"}));
    const auto keyNames = keys.Combo2.items();
    ASSERT_EQ(keyNames.size(), 48u);
    EXPECT_EQ(keyNames.front(), "0");
    EXPECT_EQ(keyNames[9], "9");
    EXPECT_EQ(keyNames[10], "A");
    EXPECT_EQ(keyNames[35], "Z");
    EXPECT_EQ(keyNames[36], "F1");
    EXPECT_EQ(keyNames.back(), "F12");
    EXPECT_EQ(keys.Combo3.items(), (std::vector<std::string>{"Euro", "Yen", "Deutsche Mark", "US-Dollar"}));
    EXPECT_EQ(keys.Combo4.items(), keys.Combo3.items());
}

// ---------------------------------------------------------------------------------------------------------------
// Selecting a binding loads it and changes nothing.

TEST_F(KeysTab, SelectingLoadsTheBindingIntoTheEditor) {
    start();
    keys.KeyList.select(2);
    EXPECT_EQ(keys.Combo3.text(), "Euro");
    EXPECT_EQ(keys.Combo4.text(), "Yen");
    EXPECT_EQ(keys.Combo1.text(), "-");
    EXPECT_EQ(keys.Combo2.items(), ui::functionKeys());
    EXPECT_EQ(keys.Combo2.text(), "F5");
    EXPECT_EQ(keys.Check1.value(), 1);
    EXPECT_EQ(keys.Text1.text(), "¥");
    EXPECT_TRUE(keys.Text1.enabled());
    EXPECT_EQ(keys.Text1.backColor(), BackColor::Window);
    EXPECT_TRUE(keys.Option1.enabled());
    EXPECT_TRUE(keys.Option1.value());
    EXPECT_FALSE(keys.Option2.value());
    EXPECT_EQ(keys.Text2.text(), "0");
    EXPECT_EQ(keys.Text3.text(), ".");
    EXPECT_EQ(keys.KeyList.tooltip(), "F5    Euro >> Yen");

    keys.KeyList.select(0); // code off, but its text is shown
    EXPECT_EQ(keys.Combo1.text(), "STRG");
    EXPECT_EQ(keys.Combo2.count(), 48);
    EXPECT_EQ(keys.Combo2.text(), "D");
    EXPECT_EQ(keys.Check1.value(), 0);
    EXPECT_EQ(keys.Text1.text(), "DM");
    EXPECT_FALSE(keys.Text1.enabled());
    EXPECT_EQ(keys.Text1.backColor(), BackColor::ButtonFace);
    EXPECT_FALSE(keys.Option1.value());
    EXPECT_FALSE(keys.Option2.value());
    EXPECT_FALSE(keys.Option1.enabled());
    EXPECT_EQ(keys.Text2.text(), "2");
    EXPECT_EQ(keys.Text3.text(), ",");
}

TEST_F(KeysTab, SelectingNeverChangesTableLinesOrPendingChanges) {
    for (const bool pending : {false, true}) {
        SCOPED_TRACE(pending);
        start();
        if (pending) {
            h.window.markChanged();
        }
        const auto table = slots();
        const auto lines = h.state.keyListLines;
        for (int row : {1, 2, 0, 2, 1}) {
            keys.KeyList.select(row);
            EXPECT_EQ(slots(), table) << row;
            EXPECT_EQ(h.state.keyListLines, lines) << row;
            EXPECT_EQ(h.state.ChangesPending, pending) << row;
            EXPECT_EQ(h.window.CApply.enabled(), pending) << row;
            EXPECT_FALSE(h.state.RefreshInProgress);
        }
    }
}

TEST_F(KeysTab, UnknownNamesKeepThePreviousSelection) {
    start({"Euro#:#Yen#:#STRG#:#1#:#0#:##:#2#:#,", "Franc#:#Lira#:#STRG#:#-#:#0#:##:#2#:#,"});
    keys.KeyList.select(1);
    EXPECT_EQ(keys.Combo3.text(), "Euro");
    EXPECT_EQ(keys.Combo4.text(), "Yen");
    EXPECT_EQ(keys.Combo2.text(), "1");
    EXPECT_EQ(slot(1).sourceCurrency, "Franc"); // unchanged until the user edits
    keys.Text3.type("\b;");
    EXPECT_EQ(slot(1), (KeyBinding{"Euro", "Yen", "STRG", "1", 0, "", 2, ";"}));
}

// ---------------------------------------------------------------------------------------------------------------
// Edits go into the selected slot and its row at once.

TEST_F(KeysTab, EditsWriteTheSlotAndTheRow) {
    start();
    keys.KeyList.select(1);
    pick(keys.Combo3, "US-Dollar");
    EXPECT_TRUE(h.state.ChangesPending);
    EXPECT_TRUE(h.window.CApply.enabled());
    EXPECT_EQ(slot(1), (KeyBinding{"US-Dollar", "Euro", "STRG", "E", 2, " €", 3, ","}));
    EXPECT_EQ(h.state.keyListLines[1], "STRG + E    US-Dollar >> Euro    ");
    EXPECT_EQ(keys.KeyList.item(1), "STRG + E    US-Dollar >> Euro    ");
    EXPECT_EQ(keys.KeyList.listIndex(), 1);

    pick(keys.Combo4, "Yen");
    pick(keys.Combo2, "Z");
    keys.Text1.type("\b\b$");
    EXPECT_EQ(slot(1), (KeyBinding{"US-Dollar", "Yen", "STRG", "Z", 2, "$", 3, ","}));
    EXPECT_EQ(h.state.keyListLines[1], "STRG + Z    US-Dollar >> Yen    ");
    EXPECT_EQ(h.state.keyListLines[0], "STRG + D    Euro >> Deutsche Mark"); // other rows as read
}

TEST_F(KeysTab, NoRowSelectedNoWriteBack) {
    start();
    keys.keyListRebuilt();
    const auto table = slots();
    pick(keys.Combo3, "Yen");
    keys.Text3.type("\b;");
    EXPECT_EQ(slots(), table);
    EXPECT_TRUE(h.state.ChangesPending);
}

// ---------------------------------------------------------------------------------------------------------------
// The modifier rule.

TEST_F(KeysTab, ModifierRule) {
    struct Case {
        std::string binding;
        std::string modifier;
        std::string key; // selected afterwards
        int keys;        // entries offered
        std::string line;
    };
    const std::vector<Case> cases = {
        {"Euro#:#Yen#:#STRG#:#E#:#0#:##:#2#:#,", "-", "F1", 12, "F1    Euro >> Yen    "},
        {"Euro#:#Yen#:#STRG#:#7#:#0#:##:#2#:#,", "-", "F1", 12, "F1    Euro >> Yen    "},
        {"Euro#:#Yen#:#STRG#:#F5#:#0#:##:#2#:#,", "-", "F5", 12, "F5    Euro >> Yen    "},
        {"Euro#:#Yen#:#STRG#:#F12#:#0#:##:#2#:#,", "-", "F12", 12, "F12    Euro >> Yen    "},
        {"Euro#:#Yen#:#-#:#F5#:#0#:##:#2#:#,", "STRG", "F5", 48, "STRG + F5    Euro >> Yen    "},
        {"Euro#:#Yen#:#-#:#F11#:#0#:##:#2#:#,", "STRG", "F11", 48, "STRG + F11    Euro >> Yen    "},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.binding + " -> " + c.modifier);
        start({c.binding});
        pick(keys.Combo1, c.modifier);
        EXPECT_EQ(keys.Combo2.count(), c.keys);
        EXPECT_EQ(keys.Combo2.text(), c.key);
        EXPECT_EQ(slot(0).firstKey, c.modifier);
        EXPECT_EQ(slot(0).secondKey, c.key);
        EXPECT_EQ(h.state.keyListLines[0], c.line);
        EXPECT_TRUE(h.state.ChangesPending);
        EXPECT_TRUE(h.window.CApply.enabled());
    }
}

// ---------------------------------------------------------------------------------------------------------------
// The currency code: Check1, "davor", "dahinter" and the code text.

TEST_F(KeysTab, TickingTheCodeStoresAfterUntilBeforeIsChosen) {
    start();
    keys.Check1.click();
    EXPECT_TRUE(h.state.ChangesPending);
    EXPECT_EQ(slot(0).codePosition, 2);
    EXPECT_EQ(keys.Text1.text(), "DM");
    EXPECT_TRUE(keys.Text1.enabled());
    EXPECT_EQ(keys.Text1.backColor(), BackColor::Window);
    EXPECT_TRUE(keys.Option1.enabled());
    EXPECT_TRUE(keys.Option2.enabled());
    EXPECT_FALSE(keys.Option1.value());
    EXPECT_FALSE(keys.Option2.value());

    keys.Option1.click();
    EXPECT_EQ(slot(0).codePosition, 1);
    keys.Option2.click();
    EXPECT_EQ(slot(0).codePosition, 2);
    EXPECT_FALSE(keys.Option1.value());
    keys.Option1.click();

    keys.Check1.click(); // off again: 0, the code text stays
    EXPECT_EQ(slot(0).codePosition, 0);
    EXPECT_EQ(slot(0).codeText, "DM");
    EXPECT_EQ(keys.Text1.text(), "DM");
    EXPECT_FALSE(keys.Text1.enabled());
    EXPECT_EQ(keys.Text1.backColor(), BackColor::ButtonFace);
    EXPECT_FALSE(keys.Option1.enabled());
    EXPECT_FALSE(keys.Option2.enabled());
    EXPECT_FALSE(keys.Option1.value());
    EXPECT_EQ(h.state.keyListLines[0], "STRG + D    Euro >> Deutsche Mark    ");
}

TEST_F(KeysTab, TickingWithoutASelectedRowLoadsTheFirstBinding) {
    start();
    keys.keyListRebuilt(); // as after adding a binding: the editor still shows binding 0, code off
    const auto table = slots();
    keys.Check1.click(); // ticked, but loading binding 0 brings back its own state: code off
    EXPECT_EQ(keys.KeyList.listIndex(), 0);
    EXPECT_EQ(keys.Check1.value(), 0);
    EXPECT_EQ(keys.Combo3.text(), "Euro");
    EXPECT_EQ(keys.Text1.text(), "DM");
    EXPECT_EQ(slots(), table);
    EXPECT_TRUE(h.state.ChangesPending);
}

// ---------------------------------------------------------------------------------------------------------------
// Decimals and separator.

TEST_F(KeysTab, DecimalsFilter) {
    start();
    keys.Text2.type("x");
    EXPECT_EQ(keys.Text2.text(), "2");
    EXPECT_TRUE(h.state.ChangesPending); // discarded, but marked all the same
    EXPECT_TRUE(h.window.CApply.enabled());
    EXPECT_EQ(slot(0).resultDecimals, 2);

    struct Case {
        std::string typed;
        std::string shown;
        int stored;
    };
    for (const Case& c : std::vector<Case>{{"\b,", ",", 0},
                                           {"\b.", ".", 0},
                                           {"\b7", "7", 7},
                                           {"\b-", "", 0},
                                           {"\ba", "", 0},
                                           {"\b\r", "", 0},
                                           {"\b 5", "5", 5},
                                           {"\b", "", 0}}) {
        keys.Text2.type(c.typed);
        EXPECT_EQ(keys.Text2.text(), c.shown) << c.typed;
        EXPECT_EQ(slot(0).resultDecimals, c.stored) << c.typed;
    }
}

TEST_F(KeysTab, LeavingDecimalsEmptyMakesZero) {
    start();
    for (const auto& [typed, after] :
         std::vector<std::pair<std::string, std::string>>{{"\b", "0"}, {"\b4", "4"}, {"\b,", ","}}) {
        keys.Text2.type(typed);
        keys.Text2.loseFocus();
        EXPECT_EQ(keys.Text2.text(), after) << typed;
    }
    keys.Text2.edit(" "); // pasted blank
    keys.Text2.loseFocus();
    EXPECT_EQ(keys.Text2.text(), "0");
    EXPECT_EQ(slot(0).resultDecimals, 0);
    EXPECT_EQ(h.state.keyListLines[0], "STRG + D    Euro >> Deutsche Mark    ");
}

TEST_F(KeysTab, EmptySeparatorIsStoredOnlyWithDecimals) {
    start();
    keys.Text3.type("\b"); // decimals 2: the empty separator is stored
    EXPECT_EQ(slot(0).decimalSeparator, "");

    keys.Text3.type(";");
    keys.Text2.type("\b0");
    keys.Text3.type("\b"); // decimals 0: the stored separator stays
    EXPECT_EQ(keys.Text3.text(), "");
    EXPECT_EQ(slot(0).decimalSeparator, ";");
    EXPECT_EQ(slot(0).resultDecimals, 0);

    keys.Text3.type("'"); // a typed separator is always stored
    EXPECT_EQ(slot(0).decimalSeparator, "'");
}

// ---------------------------------------------------------------------------------------------------------------
// The texts stay within their fields of the binding file.

TEST_F(KeysTab, CodeTextNeverHoldsTheFieldSeparatorOrALineBreak) {
    struct Case {
        bool paste;
        std::string input;
        std::string shown;
    };
    const std::vector<Case> cases = {
        {false, "#:#", "##"},      {false, "a#:b", "a#b"},   {false, "#x:#", "#x:#"},
        {false, "\r\nUS$", "US$"}, {true, "x#:#y", "xy"},    {true, "##:#:##", "#"},
        {true, "ab#:", "ab#"},     {true, "C\r\nHF", "CHF"}, {true, ":#x#", ":#x#"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.input);
        start();
        keys.Check1.click();
        keys.Text1.type("\b\b");
        if (c.paste) {
            keys.Text1.edit(c.input);
        } else {
            keys.Text1.type(c.input);
        }
        EXPECT_EQ(keys.Text1.text(), c.shown);
        EXPECT_EQ(slot(0).codeText, c.shown);
        // The binding survives the file unchanged.
        SaveKeyList(h.state, true);
        const KeyBinding written = slot(0);
        ReadKeyList(h.state, true);
        EXPECT_EQ(slot(0), written);
        EXPECT_EQ(h.state.keyListLines.size(), 3u);
    }
}

TEST_F(KeysTab, SeparatorIsNeverALineBreak) {
    start();
    keys.Text3.type("\b\r");
    EXPECT_EQ(keys.Text3.text(), "");
    keys.Text3.edit("\n");
    EXPECT_EQ(keys.Text3.text(), "");
    EXPECT_EQ(slot(0).decimalSeparator, "");
    keys.Text3.type("#");
    EXPECT_EQ(slot(0).decimalSeparator, "#");
}

// ---------------------------------------------------------------------------------------------------------------
// Removing.

TEST_F(KeysTab, RemovingWithoutASelection) {
    start();
    keys.keyListRebuilt();
    const auto table = slots();
    keys.Command2.click();
    ASSERT_EQ(h.desktop.boxes().size(), 1u);
    const auto& box = h.desktop.boxes()[0];
    EXPECT_EQ(box.text, "Kein Eintrag zum Entfernen gewählt!");
    EXPECT_EQ(box.title, "Information");
    EXPECT_EQ(box.icon, MessageIcon::Information);
    EXPECT_EQ(box.buttons, MessageButtons::Ok);
    EXPECT_EQ(slots(), table);
    EXPECT_FALSE(h.state.ChangesPending);
}

TEST_F(KeysTab, AnsweringNoChangesNothing) {
    for (const bool pending : {false, true}) {
        start();
        if (pending) {
            h.window.markChanged();
        }
        keys.KeyList.select(1);
        const auto table = slots();
        const auto lines = h.state.keyListLines;
        h.desktop.queueAnswer(MessageAnswer::No);
        keys.Command2.click();
        ASSERT_EQ(h.desktop.boxes().size(), 1u);
        const auto& box = h.desktop.boxes()[0];
        EXPECT_EQ(box.text, "Diese Tastenkombination wirklich entfernen?");
        EXPECT_EQ(box.title, "Frage");
        EXPECT_EQ(box.icon, MessageIcon::Question);
        EXPECT_EQ(box.buttons, MessageButtons::YesNo);
        EXPECT_EQ(box.defaultButton, DefaultButton::Second);
        EXPECT_EQ(slots(), table);
        EXPECT_EQ(h.state.keyListLines, lines);
        EXPECT_EQ(keys.KeyList.listIndex(), 1);
        EXPECT_EQ(h.state.ChangesPending, pending);
        EXPECT_EQ(h.window.CApply.enabled(), pending);
    }
}

TEST_F(KeysTab, RemovingShiftsTheFollowingBindingsWithAllFields) {
    start();
    const auto before = slots();
    h.desktop.queueAnswer(MessageAnswer::Yes);
    keys.Command2.click(); // row 0
    EXPECT_EQ(slot(0), before[1]);
    EXPECT_EQ(slot(1), before[2]);
    EXPECT_EQ(slot(2), KeyBinding{});
    EXPECT_EQ(h.state.keyListLines,
              (std::vector<std::string>{"STRG + E    Deutsche Mark >> Euro", "F5    Euro >> Yen"}));
    // The former second binding, now row 0, is selected and in the editor.
    EXPECT_EQ(keys.KeyList.listIndex(), 0);
    EXPECT_EQ(keys.Combo3.text(), "Deutsche Mark");
    EXPECT_EQ(keys.Text1.text(), " €");
    EXPECT_EQ(keys.Text2.text(), "3");
    EXPECT_TRUE(h.state.ChangesPending);
    EXPECT_TRUE(h.window.CApply.enabled());

    SaveKeyList(h.state, false);
    EXPECT_EQ(h.temp.read(kBindingFile),
              test::cp1252(test::crlfLines({test::kTestBindings[1], test::kTestBindings[2]})));
}

TEST_F(KeysTab, RowSelectedAfterRemoving) {
    struct Case {
        int removed;
        int selected;
        std::string source; // in the editor afterwards
    };
    for (const Case& c : std::vector<Case>{{2, 1, "Deutsche Mark"}, {1, 1, "Euro"}, {0, 0, "Deutsche Mark"}}) {
        SCOPED_TRACE(c.removed);
        start();
        keys.KeyList.select(c.removed);
        h.desktop.queueAnswer(MessageAnswer::Yes);
        keys.Command2.click();
        EXPECT_EQ(keys.KeyList.count(), 2);
        EXPECT_EQ(keys.KeyList.listIndex(), c.selected);
        EXPECT_EQ(keys.Combo3.text(), c.source);
        EXPECT_FALSE(h.state.bindingEditorLocked);
        EXPECT_TRUE(keys.Combo3.enabled());
    }
}

TEST_F(KeysTab, RemovingTheOnlyBindingClearsAndLocksTheEditor) {
    start({test::kTestBindings[2]});
    h.desktop.queueAnswer(MessageAnswer::Yes);
    keys.Command2.click();
    EXPECT_EQ(keys.KeyList.count(), 0);
    EXPECT_EQ(keys.KeyList.listIndex(), -1);
    EXPECT_EQ(slot(0), KeyBinding{});
    expectEditorClearedAndLocked();
    EXPECT_TRUE(h.state.ChangesPending);
    SaveKeyList(h.state, false);
    EXPECT_EQ(h.temp.read(kBindingFile), "");
}

TEST_F(KeysTab, RemovingFromAFullTableEmptiesSlot200) {
    const auto lines = test::manyBindings(201);
    start(lines);
    const auto before = slots();
    keys.KeyList.select(5);
    h.desktop.queueAnswer(MessageAnswer::Yes);
    keys.Command2.click();
    EXPECT_EQ(keys.KeyList.count(), 200);
    EXPECT_EQ(slot(4), before[4]);
    EXPECT_EQ(slot(5), before[6]);
    EXPECT_EQ(slot(199), before[200]);
    EXPECT_EQ(slot(200), KeyBinding{});

    SaveKeyList(h.state, false);
    std::vector<std::string> expected = lines;
    expected.erase(expected.begin() + 5);
    EXPECT_EQ(h.temp.read(kBindingFile), test::cp1252(test::crlfLines(expected))); // the last one once
}

// ---------------------------------------------------------------------------------------------------------------
// Adding: the limit.

TEST_F(KeysTab, AddingStopsAtTwoHundredBindings) {
    for (const int n : {200, 201}) {
        start(test::manyBindings(n));
        keys.Command1.click();
        ASSERT_EQ(h.desktop.boxes().size(), 1u);
        const auto& box = h.desktop.boxes()[0];
        EXPECT_EQ(box.text, "Die maximale Anzahl von Tastenbelegungen ist erreicht!");
        EXPECT_EQ(box.title, "Information");
        EXPECT_EQ(box.icon, MessageIcon::Information);
        EXPECT_EQ(box.buttons, MessageButtons::Ok);
        EXPECT_TRUE(h.modal.shown.empty());
    }
}

TEST_F(KeysTab, AddingBelowTheLimitOpensTheDialog) {
    start(test::manyBindings(199));
    keys.Command1.click();
    EXPECT_TRUE(h.desktop.boxes().empty());
    EXPECT_EQ(h.modal.shown, (std::vector<std::string>{"FNeuKey"}));
    EXPECT_EQ(keys.KeyList.count(), 199); // closed without saving
}

// ---------------------------------------------------------------------------------------------------------------
// Reactions to the tables.

TEST_F(KeysTab, AnEmptyBindingFileClearsAndLocksTheEditor) {
    start();
    h.temp.write(kBindingWorkingCopy, "");
    ReadKeyList(h.state, true);
    EXPECT_EQ(keys.KeyList.count(), 0);
    expectEditorClearedAndLocked();
}

TEST_F(KeysTab, ReloadsLeaveNoRowOrCurrencySelected) {
    start();
    keys.KeyList.select(2);
    ReadKeyList(h.state, true);
    EXPECT_EQ(keys.KeyList.listIndex(), -1);
    EXPECT_EQ(keys.KeyList.count(), 3);
    EXPECT_EQ(keys.Combo3.text(), "Euro"); // the editor still shows the binding loaded last

    ReadRates(h.state, false);
    EXPECT_EQ(keys.Combo3.listIndex(), -1);
    EXPECT_EQ(keys.Combo4.listIndex(), -1);
    EXPECT_EQ(keys.Combo3.count(), 4);
}

} // namespace
} // namespace valumat

namespace valumat {
namespace {

// The tab within the whole window: start-up with the shipped data, then "Abbrechen".
class KeysTabInWindow : public ::testing::Test {
protected:
    test::WindowHarness h;
    ui::KeysTab& keys = h.window.keys;
};

TEST_F(KeysTabInWindow, StartUpShowsTheFirstBindingAndCancelRestoresIt) {
    h.startWithShippedData();
    EXPECT_EQ(keys.KeyList.listIndex(), 0);
    EXPECT_EQ(keys.Combo3.text(), "Euro");
    EXPECT_EQ(keys.Combo4.text(), "Deutsche Mark");
    EXPECT_EQ(keys.Combo1.text(), "STRG");
    EXPECT_EQ(keys.Combo2.text(), "D");
    EXPECT_EQ(keys.Text2.text(), "2");
    EXPECT_EQ(h.state.keyListLines[0], "STRG + D    Euro >> Deutsche Mark    "); // rewritten from the editor
    EXPECT_EQ(h.state.keyListLines[1], "STRG + E    Deutsche Mark >> Euro");
    EXPECT_FALSE(h.state.ChangesPending);
    EXPECT_FALSE(h.window.CApply.enabled());
    const KeyBinding first = h.state.bindings[0];

    keys.Combo2.select(keys.Combo2.count() - 1); // F12
    EXPECT_EQ(h.state.bindings[0].secondKey, "F12");
    EXPECT_TRUE(h.window.CApply.enabled());

    h.window.CCancel.click();
    EXPECT_EQ(h.state.bindings[0], first);
    EXPECT_EQ(keys.KeyList.listIndex(), -1);
    EXPECT_EQ(h.state.keyListLines[0], "STRG + D    Euro >> Deutsche Mark");
    EXPECT_EQ(keys.Combo3.listIndex(), -1); // the currency names were read again
    EXPECT_FALSE(h.state.ChangesPending);

    h.window.selectTab(1); // selects and loads the first binding again
    EXPECT_EQ(keys.KeyList.listIndex(), 0);
    EXPECT_EQ(keys.Combo2.text(), "D");
    EXPECT_EQ(keys.Combo3.text(), "Euro");
    EXPECT_FALSE(h.state.ChangesPending);
}

} // namespace
} // namespace valumat
