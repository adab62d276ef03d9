// The dialog "Neue Währung hinzufügen", opened from the currencies tab and worked like a user would.
#include "windowutil.h"

#include "store/currencyfile.h"
#include "store/keyfile.h"

#include <gtest/gtest.h>

namespace valumat::test {
namespace {

using platform::MessageButtons;
using platform::MessageIcon;
using ui::controlOf;

const std::string kThree = "Euro; EUR ;Europa; 1; 1; 1; 2\r\n"
                           "US-Dollar; USD ;USA; 1,1; 0,9090909; 0; 2\r\n"
                           "Deutsche Mark; DEM ;Deutschland; 1,95583; 0,5112919; 1; 2\r\n";

struct NewCurrencyTest : ::testing::Test {
    WindowHarness h;
    ui::CurrencyTab& tab = h.window.currencies;

    void load(const std::string& currencies) {
        h.temp.write("waehrungen.dat", cp1252(currencies));
        h.temp.write("tasten.dat", cp1252("Euro#:#Deutsche Mark#:#STRG#:#D#:#0#:##:#2#:#,\r\n"));
        ReadRates(h.state, false);
        SaveRates(h.state, true);
        ReadKeyList(h.state, false);
        SaveKeyList(h.state, true);
        h.state.clearChanges();
    }
    // Opens the dialog and works it with the script.
    void add(std::function<void(ui::Form&)> script) {
        h.modal.queue(std::move(script));
        tab.cAdd.click();
    }
};

ui::TextBox& box(ui::Form& f, const char* name) {
    return controlOf<ui::TextBox>(f, name);
}
void save(ui::Form& f) {
    controlOf<ui::Button>(f, "Command1").click();
}

TEST_F(NewCurrencyTest, OpensWithItsCaptionTooltipsLimitsAndInitialContents) {
    load(kThree);
    add([&](ui::Form& f) {
        EXPECT_EQ(f.name(), "FNeu");
        EXPECT_EQ(f.caption(), "Neue Währung hinzufügen");
        EXPECT_TRUE(f.visible());
        const struct {
            const char* name;
            const char* tooltip;
            int maxLength;
            const char* text;
        } boxes[] = {
            {"tName", "Name der neuen Währung", 100, ""},
            {"tLand", "Land/Union in dem mit der neuen Währung gehandelt wird", 50, ""},
            {"tKurz", "ISO-Kennung der neuen Währung", 5, ""},
            {"t1Euro", "Betrag der Währung, für den man einen Euro bekommt", 20, ""},
            {"t1Waehrung", "Betrag in Euro, für den man eine Einheit der Währung bekommt", 20, ""},
            {"tNachkomma", "Anzahl der Nachkommastellen für die neue Währung", 1, "2"},
        };
        for (const auto& b : boxes) {
            EXPECT_EQ(box(f, b.name).tooltip(), b.tooltip) << b.name;
            EXPECT_EQ(box(f, b.name).maxLength, b.maxLength) << b.name;
            EXPECT_EQ(box(f, b.name).text(), b.text) << b.name;
        }
        EXPECT_EQ(controlOf<ui::CheckBox>(f, "cFix").tooltip(), "   Fixer Kurs");
        EXPECT_EQ(controlOf<ui::CheckBox>(f, "cFix").value(), 0);
        EXPECT_EQ(controlOf<ui::Label>(f, "Label6").caption(), "");
        EXPECT_EQ(controlOf<ui::Button>(f, "Command1").caption(), "Speichern");
        EXPECT_EQ(controlOf<ui::Button>(f, "Command2").caption(), "Abbrechen");
        controlOf<ui::Button>(f, "Command2").click();
        EXPECT_FALSE(f.visible());
    });
    EXPECT_EQ(h.modal.shown, std::vector<std::string>{"FNeu"});
    EXPECT_EQ(h.state.currencies.count(), 3);
}

TEST_F(NewCurrencyTest, MissingFieldsAreListedInOrderAndTheDialogStaysOpen) {
    load(kThree);
    const std::string before = h.temp.read("waehrungen.tmp");
    add([&](ui::Form& f) {
        box(f, "tName").type("   ");
        box(f, "tNachkomma").edit("");
        save(f);
        EXPECT_TRUE(f.visible());
        box(f, "tName").type("Yen");
        box(f, "tNachkomma").type("0");
        save(f);
        EXPECT_TRUE(f.visible());
    });
    ASSERT_EQ(h.desktop.boxes().size(), 2u);
    EXPECT_EQ(h.desktop.boxes()[0].text, "- Bitte geben Sie einen Namen für die Währung ein\r\n"
                                         "- Bitte geben Sie die Anzahl der Nachkommastellen für die Währung ein\r\n"
                                         "- Bitte geben Sie ein wieviel 1 Euro in der neuen Währung wert ist\r\n"
                                         "- Bitte geben Sie ein wieviel Euro eine Waehrungseinheit wert ist\r\n");
    EXPECT_EQ(h.desktop.boxes()[1].text, "- Bitte geben Sie ein wieviel 1 Euro in der neuen Währung wert ist\r\n"
                                         "- Bitte geben Sie ein wieviel Euro eine Waehrungseinheit wert ist\r\n");
    for (const auto& shown : h.desktop.boxes()) {
        EXPECT_EQ(shown.title, "Achtung!");
        EXPECT_EQ(shown.icon, MessageIcon::Exclamation);
        EXPECT_EQ(shown.buttons, MessageButtons::Ok);
    }
    EXPECT_EQ(h.state.currencies.count(), 3);
    EXPECT_EQ(h.temp.read("waehrungen.tmp"), before);
}

TEST_F(NewCurrencyTest, CodeLabelFollowsEveryChangeAndTheReciprocalIsZeroForNoAmount) {
    load(kThree);
    add([&](ui::Form& f) {
        const ui::Label& label = controlOf<ui::Label>(f, "Label6");
        ui::TextBox& code = box(f, "tKurz");
        std::vector<std::string> seen;
        for (const char* key : {"U", "S", "D", "\b"}) {
            code.type(key);
            seen.push_back(label.caption());
        }
        EXPECT_EQ(seen, (std::vector<std::string>{"1 U =", "1 US =", "1 USD =", "1 US ="}));
        code.edit("A;B");
        EXPECT_EQ(code.text(), "AB");
        EXPECT_EQ(label.caption(), "1 AB =");

        const struct {
            const char* typed;
            const char* expected;
        } cases[] = {{"2", "0,5"}, {"", "0"}, {"0", "0"}, {"1,95583", "0,5112919"}, {"3", "0,3333333"}};
        ui::TextBox& euro = box(f, "t1Euro");
        for (const auto& c : cases) {
            euro.edit("");
            euro.type(c.typed);
            euro.loseFocus();
            EXPECT_EQ(box(f, "t1Waehrung").text(), c.expected) << c.typed;
        }
    });
    EXPECT_FALSE(h.state.ChangesPending); // typing in the dialog is no change of the window
}

TEST_F(NewCurrencyTest, BoxesRefuseSemicolonsAndCharactersOutsideTheCodePage) {
    load(kThree);
    add([&](ui::Form& f) {
        for (const char* name : {"tName", "tLand", "tKurz"}) {
            box(f, name).type("x;Ω\t");
            EXPECT_EQ(box(f, name).text(), "x") << name;
            box(f, name).edit("ö;€\rΩ");
            EXPECT_EQ(box(f, name).text(), "ö€") << name;
        }
        for (const char* name : {"t1Euro", "t1Waehrung", "tNachkomma"}) {
            box(f, name).edit("");
            box(f, name).type("a;-1");
            EXPECT_EQ(box(f, name).text(), "1") << name;
        }
        box(f, "tName").edit("Neu#:");
        box(f, "tName").type("#");
        EXPECT_EQ(box(f, "tName").text(), "Neu#:");
    });
    EXPECT_FALSE(h.state.ChangesPending);
}

TEST_F(NewCurrencyTest, SavingInsertsInOrderWritesTheWorkingCopyAndShowsTheFirstCurrency) {
    load(kThree);
    tab.List1.select(2); // US-Dollar shown
    add([&](ui::Form& f) {
        box(f, "tName").type("  Japanischer Yen");
        box(f, "tKurz").type("JPY");
        box(f, "tLand").type("Japan");
        box(f, "t1Euro").type("160");
        box(f, "t1Euro").loseFocus();
        controlOf<ui::CheckBox>(f, "cFix").click();
        box(f, "tNachkomma").type("\b0");
        save(f);
        EXPECT_FALSE(f.visible());
    });
    EXPECT_TRUE(h.desktop.boxes().empty());
    EXPECT_EQ(h.temp.read("waehrungen.tmp"), "Deutsche Mark; DEM ;Deutschland; 1,95583; 0,5112919; 1; 2\r\n"
                                             "Euro; EUR ;Europa; 1; 1; 1; 2\r\n"
                                             "Japanischer Yen; JPY ;Japan; 160; 0,00625; 1; 0\r\n"
                                             "US-Dollar; USD ;USA; 1,1; 0,9090909; 0; 2\r\n");
    EXPECT_EQ(tab.List1.items(), (std::vector<std::string>{"Deutsche Mark", "Euro", "Japanischer Yen", "US-Dollar"}));
    EXPECT_EQ(h.state.selectorNames,
              (std::vector<std::string>{"Deutsche Mark", "Euro", "Japanischer Yen", "US-Dollar"}));
    EXPECT_EQ(tab.List1.listIndex(), 0);
    EXPECT_EQ(h.state.CurrentCurrencyRow, 0);
    EXPECT_EQ(tab.tName.text(), "Deutsche Mark");
    EXPECT_EQ(tab.Label6.caption(), "1 DEM =");
    EXPECT_FALSE(h.state.listUpdateInProgress);
    EXPECT_FALSE(h.state.ChangesPending);
    EXPECT_FALSE(h.window.CApply.enabled());
    EXPECT_EQ(h.state.keyListLines.size(), 1u);
}

TEST_F(NewCurrencyTest, TheFirstCurrencyOfAnEmptyTableEnablesTheEditor) {
    load("Euro; EUR ;Europa; 1; 1; 1; 2\r\n");
    h.state.bindings[0] = KeyBinding{};
    h.desktop.queueAnswer(platform::MessageAnswer::Yes);
    tab.cDelete.click();
    ASSERT_FALSE(tab.tName.enabled());

    add([&](ui::Form& f) {
        box(f, "tName").type("Yen");
        box(f, "t1Euro").type("160");
        box(f, "t1Euro").loseFocus();
        save(f);
    });
    EXPECT_EQ(tab.List1.items(), std::vector<std::string>{"Yen"});
    EXPECT_EQ(tab.List1.listIndex(), 0);
    EXPECT_EQ(tab.tName.text(), "Yen");
    EXPECT_EQ(tab.t1Waehrung.text(), "0,00625");
    for (const ui::Control* c : std::initializer_list<const ui::Control*>{
             &tab.tName, &tab.tLand, &tab.tKurz, &tab.t1Euro, &tab.t1Waehrung, &tab.tNachkomma, &tab.cFix}) {
        EXPECT_TRUE(c->enabled()) << c->name();
    }
    for (const ui::Button* b : {&tab.cFirst, &tab.cBack, &tab.cNext, &tab.cLast}) {
        EXPECT_FALSE(b->enabled()) << b->name();
    }
    EXPECT_EQ(h.temp.read("waehrungen.tmp"), "Yen;  ;; 160; 0,00625; 0; 2\r\n");
}

TEST_F(NewCurrencyTest, AfterStartUpANewCurrencyGoesToTheWorkingCopyOnly) {
    h.startWithShippedData();
    const std::string applied = h.temp.read("waehrungen.dat");
    const int before = h.state.currencies.count();
    const auto bindings = h.state.keyListLines;
    add([&](ui::Form& f) {
        box(f, "tName").type("Aserbaidschan-Manat");
        box(f, "tKurz").type("AZN");
        box(f, "t1Euro").type("1,9");
        box(f, "t1Euro").loseFocus();
        save(f);
    });
    EXPECT_EQ(h.state.currencies.count(), before + 1);
    EXPECT_EQ(h.state.currencies.line(0), "Aserbaidschan-Manat; AZN ;; 1,9; 0,5263158; 0; 2");
    EXPECT_EQ(tab.tName.text(), "Aserbaidschan-Manat");
    EXPECT_TRUE(h.temp.read("waehrungen.tmp").starts_with("Aserbaidschan-Manat; AZN ;; 1,9; 0,5263158; 0; 2\r\n"));
    EXPECT_EQ(h.temp.read("waehrungen.dat"), applied);
    EXPECT_EQ(h.state.keyListLines.size(), bindings.size());
    EXPECT_FALSE(h.state.ChangesPending);
}

} // namespace
} // namespace valumat::test
