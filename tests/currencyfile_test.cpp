#include "runtime/errors.h"
#include "store/currencyfile.h"
#include "testutil.h"

#include <gtest/gtest.h>

namespace valumat {
namespace {

const std::string kEuro = "Euro; EUR ;Europa; 1; 1; 1; 2";
const std::string kYen = "Yen; JPY ;Japan; 156,33; 0,0063967; 0; 0";
const std::string kMark = "Deutsche Mark; DEM ;Deutschland; 1,95583; 0,5112919; 1; 2";

class CurrencyFile : public ::testing::Test {
protected:
    void file(const std::string& utf8Lines) { h.temp.write(kCurrencyFile, test::cp1252(utf8Lines)); }
    std::vector<std::string> rows() const {
        std::vector<std::string> out;
        for (int i = 0; i < h.state.currencies.count(); ++i) {
            out.push_back(h.state.currencies.line(i));
        }
        return out;
    }
    test::Harness h;
};

TEST_F(CurrencyFile, LoadsSortedSelectsFirstAndSavesInThatOrder) {
    file(kYen + "\r\n" + kEuro + "\r\n\r\n" + kMark + "\r\n");
    ReadRates(h.state, false);
    EXPECT_EQ(rows(), (std::vector<std::string>{kMark, kEuro, kYen}));
    EXPECT_EQ(h.state.selectorNames, (std::vector<std::string>{"Yen", "Euro", "Deutsche Mark"}));
    EXPECT_EQ(h.state.CurrentCurrencyRow, 0);
    const CurrencyEditor& e = h.state.currencyEditor;
    EXPECT_EQ(e.selectedRow, 0);
    EXPECT_EQ(e.fields, (CurrencyFields{"Deutsche Mark", "DEM", "Deutschland", "1,95583", "0,5112919", 1, "2"}));
    EXPECT_EQ(e.codeLabel, "1 DEM =");
    EXPECT_FALSE(e.firstEnabled);
    EXPECT_FALSE(e.backEnabled);
    EXPECT_TRUE(e.nextEnabled);
    EXPECT_TRUE(e.lastEnabled);

    SaveRates(h.state, true);
    EXPECT_EQ(h.temp.read(kCurrencyWorkingCopy), kMark + "\r\n" + kEuro + "\r\n" + kYen + "\r\n");
    EXPECT_TRUE(h.desktop.boxes().empty());
}

TEST_F(CurrencyFile, SpacesAroundTheLineAndBeforeTheFirstSemicolon) {
    file(" " + kEuro + " \r\nYen ; JPY ;Japan; 156,33; 0,0063967; 0; 0\r\n");
    ReadRates(h.state, false);
    EXPECT_EQ(h.state.currencies.line(0), kEuro);
    EXPECT_EQ(h.state.currencies.name(0), "Euro");
    EXPECT_EQ(h.state.currencies.name(1), "Yen "); // the list keeps the space before the semicolon
    EXPECT_EQ(h.state.selectorNames[1], "Yen");    // the selectors do not
}

TEST_F(CurrencyFile, EmptyOrBlankFileDisablesEverything) {
    for (const std::string content : {"", "   \r\n\r\n  "}) {
        h.state.currencyEditor.fields.name = "alt";
        file(content);
        ReadRates(h.state, false);
        const CurrencyEditor& e = h.state.currencyEditor;
        EXPECT_EQ(h.state.currencies.count(), 0);
        EXPECT_FALSE(e.firstEnabled || e.backEnabled || e.nextEnabled || e.lastEnabled);
        EXPECT_FALSE(e.fieldsEnabled);
        EXPECT_EQ(e.fields.name, "");
        EXPECT_TRUE(h.desktop.boxes().empty());
    }
}

TEST_F(CurrencyFile, OneCurrencyDisablesOnlyNextAndLast) {
    file(kEuro + "\r\n");
    ReadRates(h.state, false);
    const CurrencyEditor& e = h.state.currencyEditor;
    EXPECT_FALSE(e.nextEnabled || e.lastEnabled || e.firstEnabled || e.backEnabled);
    EXPECT_TRUE(e.fieldsEnabled);
    EXPECT_EQ(e.fields.name, "Euro");
}

TEST_F(CurrencyFile, OnlyTheFirst32000LinesCount) {
    std::string content;
    for (int i = 0; i < 32001; ++i) {
        content += "W" + std::to_string(100000 + i) + "; X ;Y; 1; 1; 0; 2\r\n";
    }
    file(content);
    ReadRates(h.state, false);
    EXPECT_EQ(h.state.currencies.count(), 32000);
    EXPECT_EQ(h.state.currencies.name(31999), "W131999");
}

TEST_F(CurrencyFile, LoneLineFeedDoesNotEndALine) {
    file(kEuro + "\n" + kYen + "\r" + kMark);
    ReadRates(h.state, false);
    EXPECT_EQ(rows(), (std::vector<std::string>{kMark, kEuro + "\n" + kYen}));
}

TEST_F(CurrencyFile, MissingFileReportsAndLeavesTheEditorAsItWas) {
    file(kEuro + "\r\n" + kYen + "\r\n");
    ReadRates(h.state, false);
    const CurrencyEditor before = h.state.currencyEditor;
    h.temp.remove(kCurrencyFile);
    ReadRates(h.state, false);
    ASSERT_EQ(h.desktop.boxes().size(), 1u);
    EXPECT_EQ(h.desktop.boxes()[0].text, "Folgender Fehler ist im Modul ReadRates aufgetreten: Datei nicht gefunden."
                                         "\n\rSoll das Programm fortgeführt werden?");
    EXPECT_EQ(h.state.currencies.count(), 0);
    EXPECT_TRUE(h.state.selectorNames.empty());
    EXPECT_EQ(h.state.currencyEditor.fields, before.fields);
    EXPECT_EQ(h.state.currencyEditor.nextEnabled, before.nextEnabled);
}

TEST_F(CurrencyFile, LineWithoutSemicolonStopsReading) {
    file(kYen + "\r\nkaputt\r\n" + kEuro + "\r\n");
    ReadRates(h.state, false);
    ASSERT_EQ(h.desktop.boxes().size(), 1u);
    EXPECT_EQ(h.desktop.boxes()[0].title, "Fehler!");
    EXPECT_EQ(rows(), (std::vector<std::string>{kYen}));
    EXPECT_EQ(h.state.selectorNames, (std::vector<std::string>{"Yen"}));
}

TEST_F(CurrencyFile, SaveStoresTheShownCurrencyAndOnlyTheDataFileClearsChanges) {
    file("Euro;EUR;Europa;1;1;1;2\r\n" + kYen + "\r\n");
    ReadRates(h.state, false);
    h.state.currencyEditor.fields.country = "Europäische Union";
    h.state.markChanged();
    SaveRates(h.state, true);
    EXPECT_TRUE(h.state.ChangesPending);
    EXPECT_EQ(h.temp.read(kCurrencyWorkingCopy),
              test::cp1252("Euro; EUR ;Europäische Union; 1; 1; 1; 2\r\n" + kYen + "\r\n"));
    SaveRates(h.state, false);
    EXPECT_FALSE(h.state.ChangesPending);
    EXPECT_FALSE(h.state.applyEnabled);
    EXPECT_EQ(h.temp.read(kCurrencyFile), h.temp.read(kCurrencyWorkingCopy));
}

TEST_F(CurrencyFile, ReloadNeverWritesTheEditorIntoARow) {
    file(kEuro + "\r\n" + kYen + "\r\n");
    ReadRates(h.state, false);
    SelectCurrencyRow(h.state, 1);
    h.state.currencyEditor.fields.name = "Geändert";
    ReadRates(h.state, false);
    EXPECT_EQ(rows(), (std::vector<std::string>{kEuro, kYen}));
}

TEST_F(CurrencyFile, SelectionStoresEditsIntoTheRowTheyWereMadeIn) {
    file(kEuro + "\r\n" + kMark + "\r\n" + kYen + "\r\n");
    ReadRates(h.state, false);
    h.state.currencyEditor.fields.unitsPerEuro = "1,0";
    SelectCurrencyRow(h.state, 1);
    h.state.currencyEditor.fields.decimals = "3";
    SelectCurrencyRow(h.state, 2);
    EXPECT_EQ(rows(), (std::vector<std::string>{"Deutsche Mark; DEM ;Deutschland; 1,0; 0,5112919; 1; 2",
                                                "Euro; EUR ;Europa; 1; 1; 1; 3", kYen}));
    EXPECT_TRUE(h.state.currencyEditor.backEnabled);
    EXPECT_FALSE(h.state.currencyEditor.nextEnabled);
    EXPECT_FALSE(h.state.ChangesPending);
}

TEST_F(CurrencyFile, ShortRecordKeepsMissingFields) {
    CurrencyFields previous{"a", "b", "c", "d", "e", 1, "f"};
    EXPECT_EQ(splitCurrencyLine("X; Y ;Z", previous), (CurrencyFields{"X", "Y", "c", "d", "e", 1, "Z"}));
    EXPECT_EQ(splitCurrencyLine("1;2;3;4;5;0;7;8", previous), (CurrencyFields{"1", "2", "3", "4", "5", 0, "7;8"}));
    EXPECT_EQ(composeCurrencyLine({"Deutsche Mark", "DEM", "Deutschland", "1,95583", "0,5112919", 1, "2"}), kMark);
}

TEST_F(CurrencyFile, FailedWriteReportsAndKeepsThePreviousFile) {
    test::FaultyFiles faulty;
    h.state.files = &faulty;
    file(kEuro + "\r\n" + kYen + "\r\n");
    const std::string before = h.temp.read(kCurrencyFile);
    ReadRates(h.state, false);
    h.state.markChanged();
    for (auto point :
         {test::FaultyFiles::Point::Create, test::FaultyFiles::Point::Write, test::FaultyFiles::Point::Commit}) {
        faulty.failAt(point, 2);
        h.desktop.clearBoxes();
        SaveRates(h.state, false);
        ASSERT_EQ(h.desktop.boxes().size(), 1u);
        EXPECT_TRUE(h.desktop.boxes()[0].text.starts_with("Folgender Fehler ist im Modul SaveRates aufgetreten: "));
        EXPECT_EQ(h.temp.read(kCurrencyFile), before);
        EXPECT_TRUE(h.state.ChangesPending) << "a failed save is not a save";
        EXPECT_FALSE(h.temp.exists(std::string(kCurrencyFile) + ".new"));
    }
    h.errorAnswer = platform::MessageAnswer::No;
    EXPECT_THROW(SaveRates(h.state, false), ProgramEnded);
}

} // namespace
} // namespace valumat
