#include "store/ratesupdate.h"
#include "testutil.h"

#include <gtest/gtest.h>

namespace valumat {
namespace {

using platform::RateDay;

CurrencyTable tableOf(std::vector<std::string> lines) {
    CurrencyTable t;
    t.assign(std::move(lines));
    return t;
}

TEST(RateDays, BadInputIsNamed) {
    const RateDay good{"2026-12-08", {{"USD", "1.1642"}, {"JPY", "180.42"}}};
    EXPECT_EQ(checkRateDays({good}), "");
    struct Case {
        std::vector<RateDay> days;
        std::string message;
    };
    const Case cases[] = {
        {{}, "Die Kursdatei enthält keine Kurse"},
        {{{"", {{"USD", "1.1"}}}}, "Das Datum der Kurse fehlt"},
        {{{"2026-02-29", {{"USD", "1.1"}}}}, "Ungültiges Datum der Kurse: \"2026-02-29\""},
        {{{"08.12.2026", {{"USD", "1.1"}}}}, "Ungültiges Datum der Kurse: \"08.12.2026\""},
        {{good, good}, "Der 08.12.2026 steht zweimal in der Kursdatei"},
        {{{"2026-12-08", {}}}, "Keine Kurse für den 08.12.2026"},
        {{{"2026-12-08", {{"USD", "1.1"}, {"USD", "1.2"}}}}, "USD steht zweimal in den Kursen vom 08.12.2026"},
        {{{"2026-12-08", {{"usd", "1.1"}}}}, "Ungültiger Währungscode \"usd\" am 08.12.2026"},
        {{{"2026-12-08", {{"", "1.1"}}}}, "Ungültiger Währungscode \"\" am 08.12.2026"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(checkRateDays(c.days), c.message);
    }
    for (const char* rate : {"0", "0.0", "-1.5", "NaN", "inf", "1e3", "1,5", "", " 1.5", "1.", ".5", "10000000.1",
                             "99999999999999999999", "0.0009"}) {
        EXPECT_EQ(checkRateDays({{"2026-12-08", {{"USD", "1.1"}, {"JPY", rate}}}}),
                  std::string("Ungültiger Kurs für JPY am 08.12.2026: \"") + rate + "\"")
            << rate;
    }
    for (const char* rate : {"0.001", "10000000", "19402.57", "1.0000"}) {
        EXPECT_EQ(checkRateDays({{"2026-12-08", {{"IDR", rate}}}}), "") << rate;
    }
}

TEST(RateDays, PicksTheNewestOrTheDayAskedFor) {
    const std::vector<RateDay> days{
        {"2026-12-07", {{"USD", "1.1"}}}, {"2026-12-08", {{"USD", "1.2"}}}, {"2026-12-04", {{"USD", "1.3"}}}};
    std::string message;
    EXPECT_EQ(pickRateDay(days, "", message)->date, "2026-12-08");
    EXPECT_EQ(pickRateDay(days, "2026-12-04", message)->date, "2026-12-04");
    EXPECT_EQ(pickRateDay(days, "2026-12-06", message), nullptr);
    EXPECT_EQ(message, "Keine Kurse vom 06.12.2026 in der Kursdatei (die letzten davor: 04.12.2026)");
    EXPECT_EQ(pickRateDay(days, "2026-11-01", message), nullptr);
    EXPECT_EQ(message, "Keine Kurse vom 01.11.2026 in der Kursdatei");
}

// Floating rows of the day's codes get both rates in the tab's writing; fixed rows, rows of other codes and the
// spacing of untouched rows stay as they were.
TEST(RatePlan, OnlyFloatingRowsOfListedCodesChange) {
    const std::string mark = "Deutsche Mark; DEM ;Deutschland; 1,95583; 0,5112919; 1; 2";
    const std::string lew = "Bulgarischer Lew;BGN;Bulgarien;1,95583;0,5112919;1;2";
    const std::string euro = "Euro; EUR ;Europäische Union; 1; 1; 1; 2";
    const std::string rupee = "Rupie; INR ;Indien; 90; 0,0111111; 0; 2";
    const std::string yen = "Yen;jpy; Japan ;156,33;0,0063967;0;0";
    const std::string dollar = "US-Dollar; USD ;Vereinigte Staaten; 1,1050; 0,9049774; 0; 2";
    CurrencyTable table = tableOf({mark, lew, euro, rupee, yen, dollar});
    const RateDay day{"2026-12-08",
                      {{"USD", "1.1642"},
                       {"JPY", "180.42"},
                       {"BGN", "1.9558"},
                       {"EUR", "1"},
                       {"ZAR", "19.7520"},
                       {"KRW", "1712.28"}}};

    const RatePlan plan = planRateUpdate(table, day, false);
    ASSERT_EQ(plan.changes.size(), 2u);
    EXPECT_EQ(plan.changes[0].name, "US-Dollar");
    EXPECT_EQ(plan.changes[0].newLine, "US-Dollar; USD ;Vereinigte Staaten; 1,1642; 0,858959; 0; 2");
    EXPECT_EQ(plan.changes[1].name, "Yen");
    EXPECT_EQ(plan.changes[1].code, "JPY");
    EXPECT_EQ(plan.changes[1].oldUnitsPerEuro, "156,33");
    EXPECT_EQ(plan.changes[1].newLine, "Yen; jpy ;Japan; 180,42; 0,0055426; 0; 0");
    EXPECT_EQ(plan.fixedNames, (std::vector<std::string>{"Bulgarischer Lew", "Euro"}));
    EXPECT_EQ(plan.keptNames, (std::vector<std::string>{"Rupie"}));
    EXPECT_EQ(plan.missing, (std::vector<std::string>{"ZAR", "KRW"}));
    EXPECT_EQ(rateUpdateSummary(plan), "2 Kurse vom 08.12.2026 aktualisiert");

    EXPECT_EQ(applyRatePlan(table, plan), 2);
    EXPECT_EQ(table.line(0), lew);
    EXPECT_EQ(table.line(1), mark);
    EXPECT_EQ(table.line(2), euro);
    EXPECT_EQ(table.line(3), rupee);
    EXPECT_EQ(table.line(4), "US-Dollar; USD ;Vereinigte Staaten; 1,1642; 0,858959; 0; 2");

    // Asked to, codes no row has become rows with German names, at their place in the order.
    const RatePlan adding = planRateUpdate(table, day, true);
    ASSERT_EQ(adding.changes.size(), 4u);
    EXPECT_TRUE(adding.missing.empty());
    EXPECT_EQ(applyRatePlan(table, adding), 4);
    EXPECT_GE(table.find("Südafrikanischer Rand; ZAR ;Südafrika; 19,752; 0,0506278; 0; 2"), 0);
    EXPECT_GE(table.find("Südkoreanischer Won; KRW ;Südkorea; 1712,28; 0,000584; 0; 0"), 0);
    EXPECT_EQ(rateUpdateSummary(planRateUpdate(table, {"2026-12-09", {{"ZAR", "19"}}}, false)),
              "1 Kurs vom 09.12.2026 aktualisiert");
}

TEST(RatePlan, ARowEditedMeanwhileIsLeft) {
    CurrencyTable table = tableOf({"US-Dollar; USD ;USA; 1,1; 0,9090909; 0; 2"});
    const RatePlan plan = planRateUpdate(table, {"2026-12-08", {{"USD", "1.2"}}}, false);
    table.replace(0, "US-Dollar; USD ;USA; 1,3; 0,7692308; 0; 2");
    EXPECT_EQ(applyRatePlan(table, plan), 0);
    EXPECT_EQ(table.line(0), "US-Dollar; USD ;USA; 1,3; 0,7692308; 0; 2");
}

TEST(RatesInfo, FileBytesAndDisplay) {
    const RatesInfo info{"2026-12-08", kEcbDailyAddress, "2026-12-09", true};
    const std::string bytes = "datum: 2026-12-08\r\nquelle: "
                              "https://www.ecb.europa.eu/stats/eurofxref/eurofxref-daily.xml\r\ngeladen: "
                              "2026-12-09\r\ntaeglich: 1\r\n";
    EXPECT_EQ(composeRatesInfo(info), bytes);
    EXPECT_EQ(parseRatesInfo(bytes), info);
    EXPECT_EQ(ratesInfoLine(info), "Kurse vom 08.12.2026 (EZB)");
    EXPECT_EQ(ratesInfoLine({"2026-12-08", "/home/u/kurse/eurofxref.xml", "", false}),
              "Kurse vom 08.12.2026 (eurofxref.xml)");
    EXPECT_EQ(ratesInfoLine({}), "");
    test::TempDir temp;
    EXPECT_EQ(readRatesInfo(diskFileSystem(), temp.dir() + kRatesInfoFile), RatesInfo{});
}

// The elements of a rates file as an XML reader hands them over.
TEST(RateFileBuilder, DaysFromElements) {
    auto build = [](const std::string& root, bool withDay) {
        RateFileBuilder b;
        b.startElement(root, {});
        b.startElement("Cube", {});
        if (withDay) {
            b.startElement("Cube", {{"time", "2026-12-08"}});
        }
        b.startElement("Cube", {{"currency", "USD"}, {"rate", "1.1642"}});
        b.endElement();
        if (withDay) {
            b.endElement();
        }
        b.endElement();
        b.endElement();
        return b.finish();
    };
    const platform::RateLoad ok = build("Envelope", true);
    EXPECT_EQ(ok.error, "");
    ASSERT_EQ(ok.days.size(), 1u);
    EXPECT_EQ(ok.days[0].date, "2026-12-08");
    ASSERT_EQ(ok.days[0].rates.size(), 1u);
    EXPECT_EQ(ok.days[0].rates[0].rate, "1.1642");
    const platform::RateLoad undated = build("Envelope", false);
    EXPECT_EQ(checkRateDays(undated.days), "Das Datum der Kurse fehlt");
    EXPECT_EQ(build("html", true).error, "Die Antwort ist eine HTML-Seite, keine Kursdatei der EZB");
    EXPECT_EQ(build("rss", true).error, "Keine Kursdatei der EZB (Wurzelelement <rss>)");
    EXPECT_EQ(RateFileBuilder().finish().error, "Die Antwort ist leer, keine Kursdatei der EZB");
}

} // namespace
} // namespace valumat
