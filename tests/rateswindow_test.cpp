// Rates from the tray menu: the load runs apart from the hot keys, its result goes through the table the window
// edits; written at once without pending edits, else kept for "Übernehmen"; bad answers change nothing.
#include "windowutil.h"

#include "store/currencyfile.h"
#include "store/ratesupdate.h"

#include <gtest/gtest.h>

#include <tuple>

namespace valumat::test {
namespace {

// Loads that finish when the test says so.
struct HeldRates : platform::RateSource {
    void load(const std::string& address, std::function<void(platform::RateLoad)> done) override {
        addresses.push_back(address);
        pending = std::move(done);
    }
    void finish(platform::RateLoad load) {
        auto done = std::move(pending);
        pending = nullptr;
        done(std::move(load));
    }
    std::vector<std::string> addresses;
    std::function<void(platform::RateLoad)> pending;
};

const platform::RateLoad kDay{{{"2026-12-08", {{"USD", "1.1642"}, {"JPY", "180.42"}, {"BGN", "1.9558"}}}}, ""};
const std::string kDollarBefore = "US-Dollar; USD ;Vereinigte Staaten; 1,1050; 0,9049774; 0; 2";
const std::string kDollarAfter = "US-Dollar; USD ;Vereinigte Staaten; 1,1642; 0,858959; 0; 2";

struct RatesWindow : ::testing::Test {
    RatesWindow() {
        h.state.platform.rates = &rates;
        h.startWithShippedData();
        h.tray.ShowTray();
        shipped = h.temp.read(kCurrencyFile);
    }
    std::string file(const std::string& name) const { return h.temp.read(name); }
    bool fileHas(const std::string& name, const std::string& line) const {
        return file(name).find(cp1252(line) + "\r\n") != std::string::npos;
    }
    HeldRates rates;
    WindowHarness h;
    std::string shipped;
};

TEST_F(RatesWindow, WithoutPendingEditsTheFilesAreWrittenAtOnce) {
    EXPECT_EQ(h.tray.mKurse.caption(), "Kurse aktualisieren (EZB)");
    h.tray.mKurse.click();
    ASSERT_EQ(rates.addresses, std::vector<std::string>{kEcbDailyAddress});
    h.tray.mKurse.click(); // one load at a time
    EXPECT_EQ(rates.addresses.size(), 1u);
    EXPECT_EQ(file(kCurrencyFile), shipped); // nothing before the answer

    rates.finish(kDay);
    EXPECT_EQ(h.desktop.trayMessages().back(), "Valumat: 2 Kurse vom 08.12.2026 aktualisiert");
    EXPECT_TRUE(fileHas(kCurrencyFile, kDollarAfter));
    EXPECT_TRUE(fileHas(kCurrencyWorkingCopy, kDollarAfter)); // "Abbrechen" keeps them
    EXPECT_TRUE(fileHas(kCurrencyFile, "Bulgarischer Lew; BGN ;Bulgarien; 1,95583; 0,5112919; 1; 2"));
    EXPECT_FALSE(h.state.ChangesPending);
    const RatesInfo info = parseRatesInfo(file(kRatesInfoFile));
    EXPECT_EQ(info.date, "2026-12-08");
    EXPECT_EQ(info.source, kEcbDailyAddress);
    EXPECT_EQ(h.desktop.trayTooltip(), "Valumat - www.valumat.example\nKurse vom 08.12.2026 (EZB)");
    h.window.CCancel_Click();
    EXPECT_TRUE(fileHas(kCurrencyFile, kDollarAfter));
}

TEST_F(RatesWindow, PendingEditsWaitForApplyWithTheRates) {
    h.window.selectTab(2);
    ui::CurrencyTab& tab = h.window.currencies;
    tab.List1.setListIndex(h.state.currencies.find(kDollarBefore));
    tab.tLand.type("\b\b\b\b\b\b\b\b\b\b\b\b\b\b\b\b\b\b\bUSA"); // the shown row, not yet stored
    ASSERT_TRUE(h.state.ChangesPending);

    h.tray.mKurse.click();
    rates.finish(kDay);
    EXPECT_EQ(h.desktop.trayMessages().back(),
              "Valumat: 2 Kurse vom 08.12.2026 aktualisiert (gespeichert mit „Übernehmen“)");
    EXPECT_EQ(file(kCurrencyFile), shipped); // the user's edits are not written behind their back
    EXPECT_FALSE(h.temp.exists(kRatesInfoFile));
    EXPECT_EQ(tab.tLand.text(), "USA"); // the edit and the new rate, side by side
    EXPECT_EQ(tab.t1Euro.text(), "1,1642");
    EXPECT_EQ(tab.t1Waehrung.text(), "0,858959");

    h.window.CApply_Click();
    EXPECT_TRUE(fileHas(kCurrencyFile, "US-Dollar; USD ;USA; 1,1642; 0,858959; 0; 2"));
    EXPECT_EQ(parseRatesInfo(file(kRatesInfoFile)).date, "2026-12-08");
}

// The info tab names the day of the rates in the currency file, as the tooltip does: nothing before an update,
// nothing while the rates wait for "Übernehmen", the day once they are written.
TEST_F(RatesWindow, InfoTabNamesTheDayOfTheWrittenRates) {
    h.window.selectTab(4);
    const ui::Label& shown = h.window.info.labelRates;
    EXPECT_EQ(shown.caption(), "");
    h.state.markChanged();
    h.tray.mKurse.click();
    rates.finish(kDay);
    EXPECT_EQ(shown.caption(), "");
    h.window.CApply_Click();
    EXPECT_EQ(shown.caption(), "Kurse vom 08.12.2026 (EZB)");
    h.temp.write(kRatesInfoFile, composeRatesInfo({"2026-12-09", "C:\\Kurse\\tag.xml", "2026-12-09", false}));
    h.window.selectTab(1);
    h.window.selectTab(4);
    EXPECT_EQ(shown.caption(), "Kurse vom 09.12.2026 (tag.xml)");
}

TEST_F(RatesWindow, CancelDropsRatesTakenWithPendingEdits) {
    h.state.markChanged();
    h.tray.mKurse.click();
    rates.finish(kDay);
    h.window.CCancel_Click();
    EXPECT_EQ(file(kCurrencyFile), shipped);
    EXPECT_FALSE(h.temp.exists(kRatesInfoFile));
}

TEST_F(RatesWindow, BadAnswersChangeNothing) {
    const struct {
        platform::RateLoad load;
        std::string message;
    } cases[] = {
        {{{}, "Keine Verbindung zu www.ecb.europa.eu (offline?)"},
         "Kurse nicht aktualisiert: Keine Verbindung zu www.ecb.europa.eu (offline?)"},
        {{{{"2026-12-08", {{"USD", "0"}}}}, ""},
         "Kurse nicht aktualisiert: Ungültiger Kurs für USD am 08.12.2026: \"0\""},
        {{{{"", {{"USD", "1.2"}}}}, ""}, "Kurse nicht aktualisiert: Das Datum der Kurse fehlt"},
    };
    for (const auto& c : cases) {
        h.tray.mKurse.click();
        rates.finish(c.load);
        EXPECT_EQ(h.desktop.trayMessages().back(), "Valumat: " + c.message);
        EXPECT_EQ(file(kCurrencyFile), shipped);
        EXPECT_FALSE(h.temp.exists(kRatesInfoFile));
        EXPECT_FALSE(h.state.ChangesPending);
    }
}

TEST(RatesAtStart, OnceADayWhenSwitchedOn) {
    for (const auto& [daily, loadedOn, loads] :
         {std::tuple{false, "", 0u}, std::tuple{true, "2000-01-01", 1u}, std::tuple{true, "today", 0u}}) {
        HeldRates rates;
        WindowHarness h;
        h.state.platform.rates = &rates;
        h.copyShippedData();
        const std::string day = std::string(loadedOn) == "today" ? shell::todayIso() : loadedOn;
        h.temp.write(kRatesInfoFile, composeRatesInfo({"2000-01-01", kEcbDailyAddress, day, daily}));
        h.program.Form_Load();
        EXPECT_EQ(rates.addresses.size(), loads) << daily << " " << loadedOn;
        EXPECT_EQ(h.tray.mKurseTaeglich.caption(), daily ? "Kurse täglich beim Start aktualisieren: ein"
                                                         : "Kurse täglich beim Start aktualisieren: aus");
    }
    HeldRates rates;
    WindowHarness h;
    h.state.platform.rates = &rates;
    h.startWithShippedData();
    h.tray.mKurseTaeglich.click();
    EXPECT_TRUE(parseRatesInfo(h.temp.read(kRatesInfoFile)).dailyAtStart);
    EXPECT_EQ(h.tray.mKurseTaeglich.caption(), "Kurse täglich beim Start aktualisieren: ein");
}

} // namespace
} // namespace valumat::test
