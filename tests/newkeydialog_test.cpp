#include "keysfixture.h"
#include "runtime/hotkeys.h"
#include "ui/newkeydialog.h"

#include <gtest/gtest.h>

#include <functional>
#include <set>

namespace valumat {
namespace {

using platform::MessageButtons;
using platform::MessageIcon;
using ui::BackColor;
using ui::Form;

template <class T> T& in(Form& f, const char* name) {
    return ui::controlOf<T>(f, name);
}
ui::ComboBox& combo(Form& f, const char* name) {
    return in<ui::ComboBox>(f, name);
}
ui::TextBox& box(Form& f, const char* name) {
    return in<ui::TextBox>(f, name);
}
ui::CheckBox& check(Form& f) {
    return in<ui::CheckBox>(f, "Check1");
}
ui::OptionButton& option(Form& f, const char* name) {
    return in<ui::OptionButton>(f, name);
}
void press(Form& f, const char* name) {
    in<ui::Button>(f, name).click();
}

const std::string kCheck1 = "- Bitte wählen Sie die Währung 1 (Ausgangswährung)\r\n";
const std::string kCheck2 = "- Bitte wählen Sie die Währung 2 (Zielwährung)\r\n";
const std::string kCheck3 = "- Bitte wählen Sie die zweite Taste für die Tastenkombination\r\n";
const std::string kCheck4 = "- Bitte geben Sie an auf wieviel Nachkommastellen das Ergebnis berechnet werden soll\r\n";
const std::string kCheck5 = "- Bitte geben Sie ein Kürzel ein oder deaktivieren Sie die Kürzelfunktion\r\n";
const std::string kCheck6 = "- Bitte geben Sie an ob das Währungskürzel vor oder hinter dem Betrag stehen soll\r\n";

class NewKeyDialog : public test::KeysWindow {
public:
    // Opens the dialog with "Hinzufügen" and works it with the script.
    void open(std::function<void(Form&)> script) {
        h.modal.queue(std::move(script));
        keys.Command1.click();
        ASSERT_FALSE(h.modal.shown.empty());
        EXPECT_EQ(h.modal.shown.back(), "FNeuKey");
    }
    // Chooses currencies and key, as a user fills the dialog.
    void fill(Form& f, const std::string& source, const std::string& target, const std::string& modifier,
              const std::string& key) {
        pick(combo(f, "Combo3"), source);
        pick(combo(f, "Combo4"), target);
        pick(combo(f, "Combo1"), modifier);
        pick(combo(f, "Combo2"), key);
    }
    // The validation message of one "Speichern" that is refused; the dialog stays open.
    std::string refused(Form& f) {
        h.desktop.clearBoxes();
        press(f, "Command1");
        EXPECT_TRUE(f.visible());
        if (h.desktop.boxes().size() != 1) {
            ADD_FAILURE() << "expected one message box";
            return {};
        }
        const auto& shown = h.desktop.boxes()[0];
        EXPECT_EQ(shown.title, "Achtung!");
        EXPECT_EQ(shown.icon, MessageIcon::Exclamation);
        EXPECT_EQ(shown.buttons, MessageButtons::Ok);
        return shown.text;
    }
};

// ---------------------------------------------------------------------------------------------------------------
// Opening.

TEST_F(NewKeyDialog, ControlsDefaultsAndPlace) {
    start();
    h.window.form.move(3000, 2000);
    open([&](Form& f) {
        EXPECT_EQ(f.name(), "FNeuKey");
        EXPECT_EQ(f.caption(), "Neue Tastenkombination hinzufügen");
        EXPECT_EQ(f.rect(), (ui::Twips{2400, 1400, 6870, 3510}));
        EXPECT_TRUE(f.visible());

        struct Expected {
            const char* name;
            std::string caption;
            std::string tooltip;
            ui::Twips rect;
        };
        const std::vector<Expected> expected = {
            {"Label10", "Währung:", "", {240, 240, 2415, 255}},
            {"Combo3", "", "Einzulesende Währung", {240, 600, 2775, 315}},
            {"Label11", "wird zu", "", {3000, 645, 855, 255}},
            {"Combo4", "", "Zu berechnende Währung", {3840, 600, 2775, 315}},
            {"Check1", "+ Kürzel:", "Währungskürzel ausgeben/ nicht ausgeben", {3840, 1155, 975, 255}},
            {"Text1", "", "Währungskürzel", {4920, 1125, 495, 315}},
            {"Option1", "davor", "Währungskürzel steht vor dem Betrag", {5640, 1065, 1095, 255}},
            {"Option2", "dahinter", "Währungskürzel steht hinter dem Betrag", {5640, 1275, 975, 255}},
            {"Label8", "Tastenkombination:", "", {240, 1200, 1695, 255}},
            {"Combo1", "", "", {240, 1560, 1095, 315}},
            {"Label9", "+", "", {1320, 1560, 375, 375}},
            {"Combo2", "", "", {1680, 1560, 735, 315}},
            {"Label13", "Nachkommastellen:", "", {3600, 1680, 1695, 255}},
            {"Text2",
             "",
             "Nachkommastellen, auf die der berechnete Betrag gerundet und ausgegeben werden soll",
             {5400, 1680, 615, 255}},
            {"Label12", "Trennzeichen:", "", {3600, 1920, 1695, 255}},
            {"Text3", "", "Trennzeichen, mit dem Dezimalstellen getrennt werden", {5400, 1920, 615, 255}},
            {"Command1", "Speichern", "", {4080, 2880, 1215, 375}},
            {"Command2", "Abbrechen", "", {5400, 2880, 1215, 375}},
        };
        ASSERT_EQ(f.controls.size(), expected.size());
        for (const Expected& e : expected) {
            ui::Control& c = in<ui::Control>(f, e.name);
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
        EXPECT_EQ(in<ui::Label>(f, "Label9").fontName, "Arial");
        EXPECT_EQ(in<ui::Label>(f, "Label9").fontSizePoints, 12);
        EXPECT_EQ(in<ui::Label>(f, "Label13").alignment, ui::Alignment::Right);

        // "STRG" with the 48 keys, each once, none chosen; the currencies of the window, none chosen.
        EXPECT_EQ(combo(f, "Combo1").items(), (std::vector<std::string>{"-", "STRG"}));
        EXPECT_EQ(combo(f, "Combo1").text(), "STRG");
        const auto keyNames = combo(f, "Combo2").items();
        EXPECT_EQ(keyNames, ui::allKeys());
        EXPECT_EQ(std::set<std::string>(keyNames.begin(), keyNames.end()).size(), 48u);
        EXPECT_EQ(combo(f, "Combo2").listIndex(), -1);
        EXPECT_EQ(combo(f, "Combo3").items(), keys.Combo3.items());
        EXPECT_EQ(combo(f, "Combo4").items(), keys.Combo4.items());
        EXPECT_EQ(combo(f, "Combo3").listIndex(), -1);
        EXPECT_EQ(combo(f, "Combo4").listIndex(), -1);

        // The code switched off; decimals "2", separator ",".
        EXPECT_EQ(check(f).value(), 0);
        EXPECT_EQ(box(f, "Text1").text(), "");
        EXPECT_FALSE(box(f, "Text1").enabled());
        EXPECT_EQ(box(f, "Text1").backColor(), BackColor::ButtonFace);
        EXPECT_EQ(box(f, "Text1").maxLength, 10);
        for (const char* name : {"Option1", "Option2"}) {
            EXPECT_FALSE(option(f, name).value()) << name;
            EXPECT_FALSE(option(f, name).enabled()) << name;
        }
        EXPECT_EQ(box(f, "Text2").text(), "2");
        EXPECT_EQ(box(f, "Text2").maxLength, 1);
        EXPECT_EQ(box(f, "Text3").text(), ",");
        EXPECT_EQ(box(f, "Text3").maxLength, 1);
    });
    EXPECT_FALSE(h.state.ChangesPending);
}

// ---------------------------------------------------------------------------------------------------------------
// The editor's rules, without marking changes.

TEST_F(NewKeyDialog, ModifierRule) {
    struct Case {
        std::string key; // chosen with "STRG" ("" for none)
        std::string withoutModifier;
    };
    for (const Case& c : std::vector<Case>{{"K", "F1"}, {"3", "F1"}, {"F7", "F7"}, {"", "F1"}}) {
        SCOPED_TRACE(c.key);
        start();
        open([&](Form& f) {
            if (!c.key.empty()) {
                pick(combo(f, "Combo2"), c.key);
            }
            pick(combo(f, "Combo1"), "-");
            EXPECT_EQ(combo(f, "Combo2").items(), ui::functionKeys());
            EXPECT_EQ(combo(f, "Combo2").text(), c.withoutModifier);
            pick(combo(f, "Combo1"), "STRG");
            EXPECT_EQ(combo(f, "Combo2").count(), 48);
            EXPECT_EQ(combo(f, "Combo2").text(), c.withoutModifier);
        });
        EXPECT_FALSE(h.state.ChangesPending);
    }
}

TEST_F(NewKeyDialog, CodeSwitchAndDecimalsFilter) {
    start();
    open([&](Form& f) {
        check(f).click();
        EXPECT_TRUE(box(f, "Text1").enabled());
        EXPECT_EQ(box(f, "Text1").backColor(), BackColor::Window);
        EXPECT_TRUE(option(f, "Option1").enabled());
        EXPECT_TRUE(option(f, "Option2").enabled());
        box(f, "Text1").type("sFr");
        option(f, "Option2").click();

        check(f).click();
        EXPECT_EQ(box(f, "Text1").text(), "sFr");
        EXPECT_FALSE(box(f, "Text1").enabled());
        EXPECT_EQ(box(f, "Text1").backColor(), BackColor::ButtonFace);
        EXPECT_FALSE(option(f, "Option2").value());
        EXPECT_FALSE(option(f, "Option2").enabled());

        ui::TextBox& decimals = box(f, "Text2");
        decimals.type("\bx");
        EXPECT_EQ(decimals.text(), "");
        for (const std::string key : {"7", ",", ".", "0"}) {
            decimals.type("\b" + key);
            EXPECT_EQ(decimals.text(), key);
        }
    });
    EXPECT_FALSE(h.state.ChangesPending);
    EXPECT_FALSE(h.window.CApply.enabled());
}

// ---------------------------------------------------------------------------------------------------------------
// Checking the input.

TEST_F(NewKeyDialog, SavingAtOnceNamesCurrenciesAndKeyInOrder) {
    start();
    const auto table = slots();
    open([&](Form& f) { EXPECT_EQ(refused(f), kCheck1 + kCheck2 + kCheck3); });
    EXPECT_EQ(slots(), table);
    EXPECT_EQ(keys.KeyList.count(), 3);
}

TEST_F(NewKeyDialog, EachCheckOnItsOwn) {
    struct Case {
        std::function<void(NewKeyDialog&, Form&)> input;
        std::string message;
    };
    const std::vector<Case> cases = {
        {[](NewKeyDialog& t, Form& f) { t.fill(f, "   ", "Yen", "STRG", "K"); }, kCheck1},
        {[](NewKeyDialog& t, Form& f) { t.fill(f, "Euro", "", "STRG", "K"); }, kCheck2},
        {[](NewKeyDialog& t, Form& f) {
             t.fill(f, "Euro", "Yen", "STRG", "K");
             box(f, "Text2").type("\b");
         },
         kCheck4},
        {[](NewKeyDialog& t, Form& f) {
             t.fill(f, "Euro", "Yen", "STRG", "K");
             check(f).click();
         },
         kCheck5 + kCheck6},
        {[](NewKeyDialog& t, Form& f) {
             t.fill(f, "Euro", "Yen", "STRG", "K");
             check(f).click();
             box(f, "Text1").type("$");
         },
         kCheck6},
        {[](NewKeyDialog& t, Form& f) {
             t.fill(f, "Euro", "Yen", "STRG", "K");
             check(f).click();
             option(f, "Option1").click();
         },
         kCheck5},
        {[](NewKeyDialog&, Form& f) {
             pick(combo(f, "Combo4"), "Yen");
             box(f, "Text2").type("\b");
             check(f).click();
         },
         kCheck1 + kCheck3 + kCheck4 + kCheck5 + kCheck6},
    };
    for (std::size_t i = 0; i < cases.size(); ++i) {
        SCOPED_TRACE(i);
        start(test::kTestBindings);
        h.state.selectorNames.push_back("   "); // a blank name trims to nothing
        h.state.selectorNames.push_back("");
        keys.selectorNamesChanged();
        open([&](Form& f) {
            cases[i].input(*this, f);
            EXPECT_EQ(refused(f), cases[i].message);
        });
        EXPECT_EQ(keys.KeyList.count(), 3);
    }
}

// ---------------------------------------------------------------------------------------------------------------
// Saving.

TEST_F(NewKeyDialog, SavedBindingIsAppendedWrittenReadBackAndRegistered) {
    for (const bool pending : {false, true}) {
        SCOPED_TRACE(pending);
        start();
        SetHotKeys(h.state);
        if (pending) {
            h.window.markChanged();
        }
        const std::string applied = h.temp.read(kBindingFile);
        EXPECT_FALSE(h.desktop.isRegistered(platform::kModControl, 'K'));
        open([&](Form& f) {
            fill(f, "US-Dollar", "Yen", "STRG", "K");
            check(f).click();
            box(f, "Text1").type("US$");
            option(f, "Option1").click();
            box(f, "Text2").type("\b0");
            press(f, "Command1");
            EXPECT_FALSE(f.visible());
        });
        EXPECT_TRUE(h.desktop.boxes().empty());

        const std::string added = "US-Dollar#:#Yen#:#STRG#:#K#:#1#:#US$#:#0#:#,";
        EXPECT_EQ(h.state.bindings[3], (KeyBinding{"US-Dollar", "Yen", "STRG", "K", 1, "US$", 0, ","}));
        std::vector<std::string> lines = test::kTestBindings;
        lines.push_back(added);
        EXPECT_EQ(h.temp.read(kBindingWorkingCopy), test::cp1252(test::crlfLines(lines)));
        EXPECT_EQ(h.temp.read(kBindingFile), applied);
        EXPECT_EQ(h.state.keyListLines,
                  (std::vector<std::string>{"STRG + D    Euro >> Deutsche Mark", "STRG + E    Deutsche Mark >> Euro",
                                            "F5    Euro >> Yen", "STRG + K    US-Dollar >> Yen"}));
        EXPECT_EQ(keys.KeyList.listIndex(), -1);
        EXPECT_TRUE(h.desktop.isRegistered(platform::kModControl, 'K'));
        EXPECT_TRUE(h.desktop.isRegistered(0, 116)); // F5 of slot 2 still works
        EXPECT_EQ(h.desktop.registeredCount(), 4u);
        EXPECT_EQ(h.state.ChangesPending, pending);
        EXPECT_EQ(h.window.CApply.enabled(), pending);
        EXPECT_FALSE(h.state.RefreshInProgress);
        RemoveHotKeys(h.state);
    }
}

TEST_F(NewKeyDialog, FirstBindingEnablesTheEditorAndShowsIt) {
    start({});
    ASSERT_TRUE(h.state.bindingEditorLocked);
    ASSERT_FALSE(keys.Combo3.enabled());
    open([&](Form& f) {
        fill(f, "Yen", "Euro", "-", "F8");
        press(f, "Command1");
    });
    EXPECT_EQ(h.state.keyListLines, (std::vector<std::string>{"F8    Yen >> Euro"}));
    EXPECT_EQ(h.state.bindings[0], (KeyBinding{"Yen", "Euro", "-", "F8", 0, "", 2, ","}));
    EXPECT_FALSE(h.state.bindingEditorLocked);
    for (ui::Control* c : std::vector<ui::Control*>{&keys.Combo1, &keys.Combo2, &keys.Combo3, &keys.Combo4, &keys.Text2,
                                                    &keys.Text3, &keys.Check1}) {
        EXPECT_TRUE(c->enabled()) << c->name();
    }
    EXPECT_FALSE(keys.Text1.enabled()); // the new binding has its code switched off
    EXPECT_EQ(keys.Combo3.text(), "Yen");
    EXPECT_EQ(keys.Combo4.text(), "Euro");
    EXPECT_EQ(keys.Combo1.text(), "-");
    EXPECT_EQ(keys.Combo2.text(), "F8");
    EXPECT_EQ(keys.Text2.text(), "2");
    EXPECT_EQ(keys.Text3.text(), ",");
    EXPECT_EQ(keys.KeyList.listIndex(), -1);
    EXPECT_FALSE(h.state.ChangesPending);
    EXPECT_TRUE(h.desktop.isRegistered(0, 119));
}

TEST_F(NewKeyDialog, AcceptedInputs) {
    struct Case {
        std::string what;
        std::function<void(NewKeyDialog&, Form&)> input;
        KeyBinding stored;
    };
    const std::vector<Case> cases = {
        {"a code of spaces",
         [](NewKeyDialog& t, Form& f) {
             t.fill(f, "Euro", "Yen", "STRG", "Y");
             check(f).click();
             box(f, "Text1").type("  ");
             option(f, "Option2").click();
         },
         {"Euro", "Yen", "STRG", "Y", 2, "  ", 2, ","}},
        {"\",\" as decimals",
         [](NewKeyDialog& t, Form& f) {
             t.fill(f, "Euro", "Yen", "STRG", "Y");
             box(f, "Text2").type("\b,");
         },
         {"Euro", "Yen", "STRG", "Y", 0, "", 0, ","}},
        {"no separator without decimals",
         [](NewKeyDialog& t, Form& f) {
             t.fill(f, "Euro", "Yen", "STRG", "Y");
             box(f, "Text2").type("\b0");
             box(f, "Text3").type("\b");
         },
         {"Euro", "Yen", "STRG", "Y", 0, "", 0, ""}},
        {"a key already bound, same currencies",
         [](NewKeyDialog& t, Form& f) { t.fill(f, "Euro", "Euro", "STRG", "D"); },
         {"Euro", "Euro", "STRG", "D", 0, "", 2, ","}},
        {"a code text kept while switched off",
         [](NewKeyDialog& t, Form& f) {
             t.fill(f, "Euro", "Yen", "-", "F2");
             check(f).click();
             box(f, "Text1").type("JPY");
             check(f).click();
         },
         {"Euro", "Yen", "-", "F2", 0, "JPY", 2, ","}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        start();
        open([&](Form& f) {
            c.input(*this, f);
            press(f, "Command1");
        });
        EXPECT_TRUE(h.desktop.boxes().empty());
        EXPECT_EQ(h.state.bindings[3], c.stored);
        EXPECT_EQ(keys.KeyList.count(), 4);
    }
}

TEST_F(NewKeyDialog, FieldSeparatorCannotEnterTheCodeText) {
    for (const bool paste : {false, true}) {
        SCOPED_TRACE(paste);
        start();
        open([&](Form& f) {
            fill(f, "Euro", "Yen", "STRG", "Y");
            check(f).click();
            if (paste) {
                box(f, "Text1").edit("a#:#b\r\n#:");
                EXPECT_EQ(box(f, "Text1").text(), "ab#");
            } else {
                box(f, "Text1").type("a#:#\r");
                EXPECT_EQ(box(f, "Text1").text(), "a##");
            }
            option(f, "Option1").click();
            box(f, "Text3").type("\b\n");
            EXPECT_EQ(box(f, "Text3").text(), "");
            press(f, "Command1");
        });
        // Read back from the working copy: four whole bindings, the last one as entered.
        ASSERT_EQ(keys.KeyList.count(), 4);
        EXPECT_EQ(h.state.bindings[3], (KeyBinding{"Euro", "Yen", "STRG", "Y", 1, paste ? "ab#" : "a##", 2, ""}));
    }
}

TEST_F(NewKeyDialog, CancelChangesNothing) {
    start();
    SetHotKeys(h.state);
    keys.KeyList.select(1);
    const auto table = slots();
    const auto lines = h.state.keyListLines;
    const std::string workingCopy = h.temp.read(kBindingWorkingCopy);
    const std::string applied = h.temp.read(kBindingFile);
    const auto registered = h.desktop.registeredCount();
    open([&](Form& f) {
        fill(f, "Euro", "Yen", "STRG", "Y");
        press(f, "Command2");
        EXPECT_FALSE(f.visible());
    });
    EXPECT_EQ(slots(), table);
    EXPECT_EQ(h.state.keyListLines, lines);
    EXPECT_EQ(keys.KeyList.listIndex(), 1);
    EXPECT_EQ(h.temp.read(kBindingWorkingCopy), workingCopy);
    EXPECT_EQ(h.temp.read(kBindingFile), applied);
    EXPECT_EQ(h.desktop.registeredCount(), registered);
    EXPECT_FALSE(h.desktop.isRegistered(platform::kModControl, 'Y'));
    EXPECT_FALSE(h.state.ChangesPending);
    EXPECT_TRUE(h.desktop.boxes().empty());
}

TEST_F(NewKeyDialog, CloseBoxStoresNothing) {
    start();
    const auto table = slots();
    open([&](Form& f) { fill(f, "Euro", "Yen", "STRG", "Y"); }); // left open: closed through its close box
    EXPECT_EQ(slots(), table);
    EXPECT_EQ(keys.KeyList.count(), 3);
}

TEST_F(NewKeyDialog, FailureIsReportedUnderItsOwnName) {
    start(test::manyBindings(201)); // only the binding file can fill every slot
    const auto lines = h.state.keyListLines;
    const std::string workingCopy = h.temp.read(kBindingWorkingCopy);
    ui::NewKeyDialog dialog(h.window);
    dialog.Form_Load();
    dialog.form.setVisible(true);
    fill(dialog.form, "Euro", "Yen", "STRG", "Y");
    dialog.Command1.click();
    ASSERT_EQ(h.desktop.boxes().size(), 1u);
    const auto& report = h.desktop.boxes()[0];
    EXPECT_EQ(report.title, "Fehler!");
    EXPECT_EQ(report.text, "Folgender Fehler ist im Modul Command1_Click (FNeuKey) aufgetreten: Index außerhalb des "
                           "gültigen Bereichs.\n\rSoll das Programm fortgeführt werden?");
    EXPECT_EQ(h.state.keyListLines, lines);
    EXPECT_EQ(h.temp.read(kBindingWorkingCopy), workingCopy);
    EXPECT_FALSE(dialog.form.visible());
}

} // namespace
} // namespace valumat
