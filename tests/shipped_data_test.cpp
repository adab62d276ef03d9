// The data shipped in data/: it loads without a report, it round-trips unchanged, and every binding works.
#include "runtime/convert.h"
#include "runtime/script.h"
#include "store/currencyfile.h"
#include "store/keyfile.h"
#include "store/optionsfile.h"
#include "testutil.h"

#include <gtest/gtest.h>

namespace valumat {
namespace {

class ShippedData : public ::testing::Test {
protected:
    void SetUp() override {
        h.copyShippedData();
        ReadRates(h.state, false);
        ReadKeyList(h.state, false);
        ReadOptions(h.state, false);
        ASSERT_TRUE(h.desktop.boxes().empty());
    }
    test::Harness h;
};

TEST_F(ShippedData, RoundTripsByteForByte) {
    SaveRates(h.state, true);
    SaveKeyList(h.state, true);
    SaveOptions(h.state, true);
    EXPECT_EQ(h.temp.read(kCurrencyWorkingCopy), h.temp.read(kCurrencyFile));
    EXPECT_EQ(h.temp.read(kBindingWorkingCopy), h.temp.read(kBindingFile));
    EXPECT_EQ(h.temp.read(kOptionsWorkingCopy), h.temp.read(kOptionsFile));
    EXPECT_EQ(h.temp.read(kOptionsFile), "autostart: 0\r\nminimiert: 0\r\n\"exceloptimiert: 0\"\r\n");
}

TEST_F(ShippedData, FixedRatesAndReciprocals) {
    EXPECT_GE(h.state.currencies.count(), 30);
    for (int i = 0; i < h.state.currencies.count(); ++i) {
        const CurrencyFields f = splitCurrencyLine(h.state.currencies.line(i), {});
        std::string units = f.unitsPerEuro;
        EXPECT_EQ(f.euroPerUnit, RateToText(1.0f / TextToRate(units))) << f.name;
    }
    EXPECT_FLOAT_EQ(h.state.currencies.unitsPerEuroFor("Deutsche Mark"), 1.95583f);
    EXPECT_FLOAT_EQ(h.state.currencies.unitsPerEuroFor("Euro"), 1.0f);
}

TEST_F(ShippedData, EveryBindingNamesExistingCurrenciesAndConverts) {
    ASSERT_GE(h.state.keyListLines.size(), 2u);
    EXPECT_EQ(h.state.bindings[0], (KeyBinding{"Euro", "Deutsche Mark", "STRG", "D", 0, "", 2, ","}));
    for (std::size_t i = 0; i < h.state.keyListLines.size(); ++i) {
        const KeyBinding& b = h.state.bindings[static_cast<int>(i)];
        EXPECT_NE(h.state.currencies.unitsPerEuroFor(b.sourceCurrency), 0.0f) << b.sourceCurrency;
        EXPECT_NE(h.state.currencies.unitsPerEuroFor(b.targetCurrency), 0.0f) << b.targetCurrency;
    }
    EXPECT_EQ(convertAmount(h.state.currencies, h.state.bindings[0], "100"), "195,58");
    EXPECT_EQ(convertAmount(h.state.currencies, h.state.bindings[1], "195,58"), "100,00");
}

TEST_F(ShippedData, ScriptsHoldTheExpectedCommands) {
    ReadKeypress(h.state);
    EXPECT_EQ(h.state.scriptText, "PRESS \"STRG+67\"\r\nCALCULATE\r\nPRESS \"STRG+86\"\r\n");
    h.state.options.excelMode = true;
    ReadKeypress(h.state);
    EXPECT_EQ(h.state.scriptText, "PRESS \"113\"\r\nPRESS \"SHIFT+36\"\r\nPRESS \"STRG+67\"\r\n"
                                  "CALCULATE\r\nPRESS \"STRG+86\"\r\nPRESS \"13\"\r\n");
    EXPECT_TRUE(h.desktop.boxes().empty());
}

TEST(Script, CommentsBlankLinesAndLineEnds) {
    EXPECT_EQ(scriptFromBytes("// Kommentar\r\n   // eingerückt\r\n\r\n  \r\n"), "");
    EXPECT_EQ(scriptFromBytes("  PRESS \"113\" // F2  \r\nSLEEP \"5\"\rCALCULATE"),
              "  PRESS \"113\" // F2  \r\nSLEEP \"5\"\r\nCALCULATE\r\n");
    EXPECT_EQ(scriptFromBytes("PRESS \"113\"\nSLEEP \"5\"\n"), "PRESS \"113\"\nSLEEP \"5\"\n\r\n"); // one line
}

TEST(Script, MissingFileReportsAndLeavesTheScriptEmpty) {
    test::Harness h;
    h.state.scriptText = "alt\r\n";
    ReadKeypress(h.state);
    EXPECT_EQ(h.state.scriptText, "");
    ASSERT_EQ(h.desktop.boxes().size(), 1u);
    EXPECT_EQ(h.desktop.boxes()[0].text, "Folgender Fehler ist im Modul ReadKeypress aufgetreten: Datei nicht "
                                         "gefunden.\n\rSoll das Programm fortgeführt werden?");
}

} // namespace
} // namespace valumat
