// The currencies tab on the fake desktop: navigation, editing in place, the reciprocal rate, the key filters,
// removal and the limits of "Hinzufügen".
#include "windowutil.h"

#include "store/currencyfile.h"
#include "store/keyfile.h"

#include <gtest/gtest.h>

namespace valumat::test {
namespace {

using platform::DefaultButton;
using platform::MessageAnswer;
using platform::MessageButtons;
using platform::MessageIcon;

const std::string kFour = "Euro; EUR ;Europa; 1; 1; 1; 2\r\n"
                          "US-Dollar; USD ;USA; 1,1; 0,9090909; 0; 2\r\n"
                          "Deutsche Mark; DEM ;Deutschland; 1,95583; 0,5112919; 1; 2\r\n"
                          "Schweizer Franken ;CHF;  Schweiz ;1,5;0,6666667;0;2\r\n";
const std::string kEuroToMark = "Euro#:#Deutsche Mark#:#STRG#:#D#:#0#:##:#2#:#,\r\n";

struct CurrencyTabTest : ::testing::Test {
    WindowHarness h;
    ui::CurrencyTab& tab = h.window.currencies;

    // The data files and their working copies, loaded as at start-up.
    void load(const std::string& currencies, const std::string& bindings = "") {
        h.temp.write("waehrungen.dat", cp1252(currencies));
        h.temp.write("tasten.dat", cp1252(bindings));
        ReadRates(h.state, false);
        SaveRates(h.state, true);
        ReadKeyList(h.state, false);
        SaveKeyList(h.state, true);
        h.state.clearChanges();
    }
    std::vector<std::string> lines() const {
        std::vector<std::string> out;
        for (int i = 0; i < h.state.currencies.count(); ++i) {
            out.push_back(h.state.currencies.line(i));
        }
        return out;
    }
    std::string navigation() const {
        std::string s;
        for (const ui::Button* b : {&tab.cFirst, &tab.cBack, &tab.cNext, &tab.cLast}) {
            s += b->enabled() ? '1' : '0';
        }
        return s;
    }
};

TEST_F(CurrencyTabTest, ControlsCarryTheirCaptionsTooltipsAndLimitsInsideThePanel) {
    EXPECT_EQ(tab.Label23.caption(), "Aktuelle Kurse von Devisenrechner.example");
    EXPECT_EQ(tab.cFix.tooltip(), "Fixer Kurs");
    EXPECT_EQ(tab.cAdd.caption(), "Hinzufügen");
    EXPECT_EQ(tab.cAdd.tooltip(), "Neue Währung hinzufügen");
    EXPECT_EQ(tab.cDelete.caption(), "Entfernen");
    EXPECT_EQ(tab.cDelete.tooltip(), "Gewählte Währung entfernen");
    EXPECT_EQ(tab.cFirst.caption() + tab.cBack.caption() + tab.cNext.caption() + tab.cLast.caption(), "|<<>>|");

    const struct {
        ui::TextBox& box;
        const char* tooltip;
        int maxLength;
    } boxes[] = {
        {tab.tName, "Name der Währung", 100},
        {tab.tLand, "Land/Union in dem mit dieser Währung gehandelt wird", 50},
        {tab.tKurz, "ISO-Kennung der Währung", 5},
        {tab.t1Euro, "Betrag der Währung, für den man einen Euro bekommt", 20},
        {tab.t1Waehrung, "Betrag in Euro, für den man eine Einheit der Währung bekommt", 20},
        {tab.tNachkomma, "Anzahl der Nachkommastellen für die Währung", 1},
    };
    for (const auto& b : boxes) {
        EXPECT_EQ(b.box.tooltip(), b.tooltip) << b.box.name();
        EXPECT_EQ(b.box.maxLength, b.maxLength) << b.box.name();
    }
    for (const ui::Control* c : tab.controls()) {
        const ui::Twips& r = c->rect();
        EXPECT_TRUE(r.left >= 0 && r.top >= 0 && r.width > 0 && r.height > 0 && r.left + r.width <= 6975 &&
                    r.top + r.height <= 3855)
            << c->name();
    }
    // Every control of the tab is on the window, once.
    EXPECT_EQ(&ui::controlOf<ui::TextBox>(h.window.form, "t1Waehrung"), &tab.t1Waehrung);
}

TEST_F(CurrencyTabTest, NavigationButtonsFollowTheSelectedRowAndNeverMarkAChange) {
    load(kFour);
    // A blank before the first ";" belongs to the listed name.
    EXPECT_EQ(tab.List1.items(),
              (std::vector<std::string>{"Deutsche Mark", "Euro", "Schweizer Franken ", "US-Dollar"}));

    // Each step: an action, then the selected row, the name and code label shown, and |< < > >| enabled.
    const struct {
        const char* action;
        int row;
        const char* name;
        const char* label;
        const char* buttons;
    } steps[] = {
        {"start", 0, "Deutsche Mark", "1 DEM =", "0011"},
        {"down", 1, "Euro", "1 EUR =", "1111"},
        {"down", 2, "Schweizer Franken", "1 CHF =", "1111"},
        {"down", 3, "US-Dollar", "1 USD =", "1100"},
        {">", 3, "US-Dollar", "1 USD =", "1100"},
        {"<", 2, "Schweizer Franken", "1 CHF =", "1111"},
        {"|<", 0, "Deutsche Mark", "1 DEM =", "0011"},
        {"<", 0, "Deutsche Mark", "1 DEM =", "0011"},
        {">|", 3, "US-Dollar", "1 USD =", "1100"},
        {"click 1", 1, "Euro", "1 EUR =", "1111"},
        {">", 2, "Schweizer Franken", "1 CHF =", "1111"},
    };
    for (const auto& s : steps) {
        const std::string action = s.action;
        if (action == "down") {
            tab.List1.select(tab.List1.listIndex() + 1);
        } else if (action == "click 1") {
            tab.List1.select(1);
        } else if (action == ">") {
            tab.cNext_Click(); // also when the button is disabled: nothing beyond the last row
        } else if (action == "<") {
            tab.cBack_Click();
        } else if (action == "|<") {
            tab.cFirst.click();
        } else if (action == ">|") {
            tab.cLast.click();
        }
        EXPECT_EQ(tab.List1.listIndex(), s.row) << action;
        EXPECT_EQ(h.state.CurrentCurrencyRow, s.row) << action;
        EXPECT_EQ(tab.tName.text(), s.name) << action;
        EXPECT_EQ(tab.Label6.caption(), s.label) << action;
        EXPECT_EQ(navigation(), s.buttons) << action;
        EXPECT_FALSE(h.state.ChangesPending) << action;
        EXPECT_FALSE(h.window.CApply.enabled()) << action;
    }
    // The fixed flag was loaded with each row, without counting as a click.
    EXPECT_EQ(tab.cFix.value(), 0);
    tab.cFirst.click();
    EXPECT_EQ(tab.cFix.value(), 1);
    EXPECT_FALSE(h.state.ChangesPending);
}

TEST_F(CurrencyTabTest, OneCurrencyDisablesAllFourNavigationButtons) {
    load("Euro; EUR ;Europa; 1; 1; 1; 2\r\n");
    EXPECT_EQ(navigation(), "0000");
    EXPECT_EQ(tab.tName.text(), "Euro");
    EXPECT_TRUE(tab.tName.enabled());
}

TEST_F(CurrencyTabTest, EditsEndUpInTheRowTheyWereMadeIn) {
    load(kFour);
    tab.tName.type(" alt");                 // row 0
    tab.List1.select(1);                    // down arrow
    tab.tLand.type("\b\b\b\b\b\bEurozone"); // row 1
    tab.cFix.click();
    tab.List1.select(3); // mouse, skipping row 2
    EXPECT_EQ(lines(), (std::vector<std::string>{
                           "Deutsche Mark alt; DEM ;Deutschland; 1,95583; 0,5112919; 1; 2",
                           "Euro; EUR ;Eurozone; 1; 1; 0; 2",
                           "Schweizer Franken ;CHF;  Schweiz ;1,5;0,6666667;0;2",
                           "US-Dollar; USD ;USA; 1,1; 0,9090909; 0; 2",
                       }));
    EXPECT_EQ(tab.List1.item(0), "Deutsche Mark alt");
    EXPECT_TRUE(h.state.ChangesPending);
    EXPECT_TRUE(h.window.CApply.enabled());

    // Renamed in place: the row keeps its position until the table is read again.
    tab.tName.edit("AAA");
    tab.cFirst.click();
    EXPECT_EQ(tab.List1.item(3), "AAA");
}

TEST_F(CurrencyTabTest, AReloadDropsTheBoxesAndLeavesEveryRowAsRead) {
    const std::string odd = "Albanischer Lek ;ALL;Albanien ;1;1;0;2\r\n";
    load(odd + kFour);
    tab.List1.select(2);
    tab.tName.type("!");
    ReadRates(h.state, false); // as "Abbrechen" does with the working copy
    EXPECT_EQ(lines(), (std::vector<std::string>{
                           "Albanischer Lek ;ALL;Albanien ;1;1;0;2",
                           "Deutsche Mark; DEM ;Deutschland; 1,95583; 0,5112919; 1; 2",
                           "Euro; EUR ;Europa; 1; 1; 1; 2",
                           "Schweizer Franken ;CHF;  Schweiz ;1,5;0,6666667;0;2",
                           "US-Dollar; USD ;USA; 1,1; 0,9090909; 0; 2",
                       }));
    EXPECT_EQ(tab.List1.listIndex(), 0);
    EXPECT_EQ(tab.tName.text(), "Albanischer Lek");
    EXPECT_EQ(tab.tLand.text(), "Albanien");
}

TEST_F(CurrencyTabTest, LeavingOneEuroSetsTheReciprocalRate) {
    load(kFour); // Deutsche Mark shown: t1Waehrung "0,5112919"
    const struct {
        const char* typed;
        const char* expected;
    } cases[] = {
        {"1,95583", "0,5112919"}, {"2", "0,5"},       {"0,5", "2"},      {"3", "0,3333333"}, {"1,5,5", "0,6666667"},
        {"1.2.3", "0,8333333"},   {"0", "0,5112919"}, {"", "0,5112919"}, {",", "0,5112919"},
    };
    for (const auto& c : cases) {
        tab.t1Waehrung.edit("0,5112919");
        tab.t1Euro.edit("");
        tab.t1Euro.type(c.typed);
        tab.t1Euro.loseFocus();
        EXPECT_EQ(tab.t1Waehrung.text(), c.expected) << c.typed;
        EXPECT_EQ(tab.t1Euro.text(), c.typed); // kept as typed
    }
    // Only this direction is automatic.
    tab.t1Waehrung.type("\b\b9");
    EXPECT_EQ(tab.t1Euro.text(), ",");
}

TEST_F(CurrencyTabTest, RateBoxesTakeOnlyDigitsCommaPointAndBackspaceButEveryKeyMarksAChange) {
    load(kFour);
    for (ui::TextBox* box : {&tab.t1Euro, &tab.t1Waehrung, &tab.tNachkomma}) {
        for (const char* refusedKey : {"a", "-", ";", " ", "€", "\r"}) {
            h.state.clearChanges();
            const std::string before = box->text();
            box->type(refusedKey);
            EXPECT_EQ(box->text(), before) << box->name() << " " << refusedKey;
            EXPECT_TRUE(h.state.ChangesPending) << box->name() << " " << refusedKey;
            EXPECT_TRUE(h.window.CApply.enabled());
        }
    }
    tab.t1Euro.edit("");
    tab.t1Euro.type("12,3.4\b5");
    EXPECT_EQ(tab.t1Euro.text(), "12,3.5");
    tab.tNachkomma.type("\b7");
    EXPECT_EQ(tab.tNachkomma.text(), "7");
    tab.tNachkomma.type("8"); // one character at most
    EXPECT_EQ(tab.tNachkomma.text(), "7");
}

TEST_F(CurrencyTabTest, TextBoxesRefuseWhatTheRecordLineCannotHold) {
    load(kFour);
    for (ui::TextBox* box : {&tab.tName, &tab.tLand, &tab.tKurz}) {
        box->edit("");
        h.state.clearChanges();
        box->type("a;Ω\r");
        EXPECT_EQ(box->text(), "a") << box->name();
        EXPECT_TRUE(h.state.ChangesPending);
        // Pasted (no character key): cleaned all the same, and counted as a change.
        h.state.clearChanges();
        box->edit("ä;€\r\nΩ");
        EXPECT_EQ(box->text(), "ä€") << box->name();
        EXPECT_TRUE(h.state.ChangesPending);
    }
    tab.tName.edit("A#:");
    tab.tName.type("#B");
    EXPECT_EQ(tab.tName.text(), "A#:B");
    tab.tName.edit("x#:#y");
    EXPECT_EQ(tab.tName.text(), "x#:y");
    tab.t1Euro.edit("1;5");
    EXPECT_EQ(tab.t1Euro.text(), "15");

    tab.List1.select(1);
    EXPECT_EQ(h.state.currencies.line(0), "x#:y; ä€ ;ä€; 15; 0,5112919; 1; 2");
}

TEST_F(CurrencyTabTest, RemovalIsRefusedWhileABindingUsesTheCurrency) {
    load(kFour, kEuroToMark);
    tab.cDelete.click(); // Deutsche Mark, the binding's target
    ASSERT_EQ(h.desktop.boxes().size(), 1u);
    const auto& refusal = h.desktop.boxes()[0];
    EXPECT_EQ(refusal.text, "Es sind noch Tastenkombinationen vorhanden die diese Währung verwenden. Bitte entfernen "
                            "Sie diese zuerst.");
    EXPECT_EQ(refusal.title, "Achtung");
    EXPECT_EQ(refusal.icon, MessageIcon::Exclamation);
    EXPECT_EQ(refusal.buttons, MessageButtons::Ok);
    EXPECT_EQ(h.state.currencies.count(), 4);
    tab.List1.select(1); // Euro, the source
    tab.cDelete.click();
    EXPECT_EQ(h.desktop.boxes().size(), 2u);
    EXPECT_EQ(h.state.currencies.count(), 4);
    EXPECT_FALSE(h.state.ChangesPending);

    // The binding is gone: the question comes, No keeps the currency, Yes removes it.
    h.state.bindings[0] = KeyBinding{};
    tab.cDelete.click();
    ASSERT_EQ(h.desktop.boxes().size(), 3u);
    const auto& question = h.desktop.boxes()[2];
    EXPECT_EQ(question.text, "Folgende Währung wirklich löschen?\r\nEuro");
    EXPECT_EQ(question.title, "Währung löschen");
    EXPECT_EQ(question.icon, MessageIcon::Question);
    EXPECT_EQ(question.buttons, MessageButtons::YesNo);
    EXPECT_EQ(question.defaultButton, DefaultButton::Second);
    EXPECT_EQ(h.state.currencies.count(), 4);
    EXPECT_FALSE(h.state.ChangesPending);

    tab.tName.edit("edited, then removed");
    h.desktop.queueAnswer(MessageAnswer::Yes);
    tab.cDelete.click();
    EXPECT_EQ(lines(), (std::vector<std::string>{
                           "Deutsche Mark; DEM ;Deutschland; 1,95583; 0,5112919; 1; 2",
                           "Schweizer Franken ;CHF;  Schweiz ;1,5;0,6666667;0;2",
                           "US-Dollar; USD ;USA; 1,1; 0,9090909; 0; 2",
                       }));
    EXPECT_EQ(tab.List1.listIndex(), 0); // the row before the removed one
    EXPECT_EQ(h.state.CurrentCurrencyRow, 0);
    EXPECT_EQ(tab.tName.text(), "Deutsche Mark");
    EXPECT_EQ(navigation(), "0011");
    EXPECT_TRUE(h.state.ChangesPending);
    EXPECT_FALSE(h.state.listUpdateInProgress);

    // Removing the first row shows the new first row.
    h.desktop.queueAnswer(MessageAnswer::Yes);
    tab.cDelete.click();
    EXPECT_EQ(tab.List1.listIndex(), 0);
    EXPECT_EQ(tab.tName.text(), "Schweizer Franken");
    EXPECT_EQ(tab.tLand.text(), "Schweiz");
    EXPECT_EQ(h.state.currencies.line(0), "Schweizer Franken ;CHF;  Schweiz ;1,5;0,6666667;0;2");
}

TEST_F(CurrencyTabTest, RemoveWithAnEmptyTableSaysNoCurrencyIsChosen) {
    load("\r\n");
    EXPECT_EQ(navigation(), "0000");
    EXPECT_FALSE(tab.tName.enabled());
    tab.cDelete.click();
    ASSERT_EQ(h.desktop.boxes().size(), 1u);
    EXPECT_EQ(h.desktop.boxes()[0].text, "Keine Währung gewählt!");
    EXPECT_EQ(h.desktop.boxes()[0].title, "Keine Währung");
    EXPECT_EQ(h.desktop.boxes()[0].icon, MessageIcon::Information);
    EXPECT_FALSE(h.state.ChangesPending);
}

TEST_F(CurrencyTabTest, RemovingTheOnlyCurrencyEmptiesAndDisablesTheEditor) {
    load("Euro; EUR ;Europa; 1; 1; 1; 2\r\n");
    h.desktop.queueAnswer(MessageAnswer::Yes);
    tab.cDelete.click();
    EXPECT_EQ(h.state.currencies.count(), 0);
    EXPECT_EQ(tab.List1.count(), 0);
    EXPECT_EQ(tab.List1.listIndex(), -1);
    EXPECT_EQ(h.state.CurrentCurrencyRow, -1);
    for (const ui::TextBox* box : {&tab.tName, &tab.tLand, &tab.tKurz, &tab.t1Euro, &tab.t1Waehrung, &tab.tNachkomma}) {
        EXPECT_EQ(box->text(), "") << box->name();
        EXPECT_FALSE(box->enabled()) << box->name();
    }
    EXPECT_FALSE(tab.cFix.enabled());
    EXPECT_EQ(navigation(), "0000");
    EXPECT_TRUE(h.state.ChangesPending);

    // Saving the empty table writes an empty file.
    h.window.CApply_Click();
    EXPECT_EQ(h.temp.read("waehrungen.dat"), "");
}

TEST_F(CurrencyTabTest, AddRefusesAt32000CurrenciesAndStoresTheShownOneBeforeOpening) {
    load(kFour);
    tab.tLand.type(" (alt)");
    std::vector<std::string> many;
    for (int i = 0; i < 32000; ++i) {
        many.push_back("W" + std::to_string(100000 + i) + "; X ;; 1; 1; 0; 2");
    }
    // The shown row (0) is not stored on the limit message.
    const std::string row0 = "Deutsche Mark; DEM ;Deutschland; 1,95583; 0,5112919; 1; 2";
    many[0] = row0;
    h.state.currencies.assign(many);
    h.state.notify(Changed::CurrencyRows);
    tab.cAdd.click();
    ASSERT_EQ(h.desktop.boxes().size(), 1u);
    EXPECT_EQ(h.desktop.boxes()[0].text, "Maximale Anzahl von Währungen erreicht!");
    EXPECT_EQ(h.desktop.boxes()[0].title, "Information");
    EXPECT_EQ(h.desktop.boxes()[0].icon, MessageIcon::Information);
    EXPECT_TRUE(h.modal.shown.empty());
    EXPECT_EQ(h.state.currencies.line(0), row0);

    // One fewer: the dialog opens (and is closed unsaved), after the shown row was stored.
    h.state.currencies.remove(31999);
    h.state.notify(Changed::CurrencyRows);
    tab.cAdd.click();
    EXPECT_EQ(h.modal.shown, std::vector<std::string>{"FNeu"});
    EXPECT_EQ(h.state.currencies.line(0), "Deutsche Mark; DEM ;Deutschland (alt); 1,95583; 0,5112919; 1; 2");
    EXPECT_EQ(h.state.currencies.count(), 31999);
}

TEST_F(CurrencyTabTest, TheRateLinkOpensTheServicePage) {
    tab.Label23.click();
    ASSERT_EQ(h.desktop.shellRequests().size(), 1u);
    const auto& request = h.desktop.shellRequests()[0];
    EXPECT_EQ(request.owner, h.state.configWindow);
    EXPECT_EQ(request.verb, "open");
    EXPECT_EQ(request.target, "https://devisenrechner.example/convert/classic?lang=de");
    EXPECT_EQ(request.directory, "");
}

} // namespace
} // namespace valumat::test
