#include "shell/tray.h"

#include "runtime/errors.h"
#include "runtime/report.h"
#include "runtime/script.h"
#include "runtime/text.h"
#include "store/currencyfile.h"
#include "store/optionsfile.h"
#include "store/ratesupdate.h"
#include "ui/infotab.h"

#include <chrono>
#include <cstdio>

namespace valumat::shell {

std::string trayTooltip() {
    return std::string("Valumat - ") + ui::kMakerDomain;
}

std::string todayIso() {
    const std::chrono::year_month_day ymd{std::chrono::floor<std::chrono::days>(std::chrono::system_clock::now())};
    char text[16];
    std::snprintf(text, sizeof text, "%04d-%02u-%02u", static_cast<int>(ymd.year()), static_cast<unsigned>(ymd.month()),
                  static_cast<unsigned>(ymd.day()));
    return text;
}

Tray::Tray(ui::ConfigWindow& window)
    : mTasten("mTasten", "Tastenbelegung"), mWaehrungen("mWaehrungen", "Währungen"), mOptionen("mOptionen", "Optionen"),
      mInfo("mInfo", "Info"), mSep2("mSep2", "-"), mChangeKeyPress("mChangeKeyPress", kModeCaptionInitial),
      mKurse("mKurse", kUpdateRatesCaption), mKurseTaeglich("mKurseTaeglich", kDailyRatesOff),
      mErgebnis("mErgebnis", kCopyResultCaption), mSep("mSep", "-"), mEnde("mEnde", "Beenden"), w_(window) {
    mTasten.onClick = [this] { mTasten_Click(); };
    mWaehrungen.onClick = [this] { mWaehrungen_Click(); };
    mOptionen.onClick = [this] { mOptionen_Click(); };
    mInfo.onClick = [this] { mInfo_Click(); };
    mChangeKeyPress.onClick = [this] { mChangeKeyPress_Click(); };
    mEnde.onClick = [this] { mEnde_Click(); };
    mKurse.onClick = [this] { mKurse_Click(); };
    mKurseTaeglich.onClick = [this] { mKurseTaeglich_Click(); };
    mErgebnis.onClick = [this] { mErgebnis_Click(); };
    mErgebnis.setVisible(false);
    w_.state.resultNotPasted = [this](const std::string& message) { resultNotPasted(message); };
    if (w_.state.platform.tray != nullptr) {
        w_.state.platform.tray->setMouseHandler([this](int message) { Picture1_MouseMove(message); });
    }
}

std::vector<MenuItem*> Tray::menu() {
    if (w_.state.platform.rates == nullptr) {
        return {&mTasten, &mWaehrungen, &mOptionen, &mInfo, &mSep2, &mChangeKeyPress, &mErgebnis, &mSep, &mEnde};
    }
    return {&mTasten, &mWaehrungen,    &mOptionen, &mInfo, &mSep2, &mChangeKeyPress,
            &mKurse,  &mKurseTaeglich, &mErgebnis, &mSep,  &mEnde};
}

void Tray::ShowTray() {
    try {
        w_.form.setVisible(false);
        w_.form.setShowInTaskbar(false);
        w_.state.platform.tray->add(tooltip());
    } catch (const RuntimeError& e) {
        reportError(w_.state.platform, "ShowTray", e.description());
    }
}

void Tray::HideTray(bool removeIcon) {
    if (removeIcon) {
        w_.state.platform.tray->remove();
    }
    w_.form.setShowInTaskbar(true);
    w_.form.setVisible(true);
}

void Tray::Picture1_MouseMove(int message) {
    if (message == platform::kTrayLeftDoubleClick) {
        HideTray(false);
        w_.selectTab(1);
    } else if (message == platform::kTrayRightButtonUp) {
        if (popupMenu) {
            popupMenu(); // the renderer brings the window to the foreground first
        }
    } else if (message == platform::kTrayMessageClick && resultMessageShown_) {
        mErgebnis_Click();
    }
}

void Tray::resultNotPasted(const std::string& message) {
    mErgebnis.setVisible(true);
    resultMessageShown_ = true;
    w_.state.platform.tray->showMessage(kUnpastedTitle, message);
}

void Tray::mErgebnis_Click() {
    if (w_.state.unpastedResult.empty()) {
        return;
    }
    try {
        w_.state.platform.clipboard->offerText(w_.state.unpastedResult);
    } catch (const RuntimeError&) {
        // the clipboard is held by another program: the entry stays for another try
    }
}

void Tray::openOnTab(int tab) {
    w_.selectTab(tab);
    HideTray(false);
}

void Tray::mTasten_Click() {
    openOnTab(1);
}
void Tray::mWaehrungen_Click() {
    openOnTab(2);
}
void Tray::mOptionen_Click() {
    openOnTab(3);
}
void Tray::mInfo_Click() {
    openOnTab(4);
}

void Tray::mChangeKeyPress_Click() {
    // Only options.dat is written here: edits pending on other tabs stay pending (and so does the save question on
    // leaving the program).
    const bool pending = w_.state.ChangesPending;
    if (w_.state.options.excelMode) {
        w_.options.Option4.setValue(true);
        w_.state.modeCaption = kModeCaptionToExcel;
    } else {
        w_.options.Option3.setValue(true);
        w_.state.modeCaption = kModeCaptionToNormal;
    }
    modeCaptionChanged();
    ReadKeypress(w_.state);
    w_.state.ChangesPending = pending;
    w_.state.applyEnabled = pending;
    w_.state.notify(Changed::ChangesPending);
    SaveOptions(w_.state, false);
}

void Tray::mEnde_Click() {
    if (leave) {
        leave();
    }
}

std::string Tray::tooltip() const {
    if (w_.state.dataDirectory.empty()) {
        return trayTooltip();
    }
    const std::string rates = ratesInfoLine(readRatesInfo(*w_.state.files, w_.state.path(kRatesInfoFile)));
    return rates.empty() ? trayTooltip() : trayTooltip() + "\n" + rates;
}

void Tray::mKurse_Click() {
    updateRates(kEcbDailyAddress);
}

void Tray::mKurseTaeglich_Click() {
    RatesInfo info = readRatesInfo(*w_.state.files, w_.state.path(kRatesInfoFile));
    info.dailyAtStart = !info.dailyAtStart;
    try {
        writeRatesInfo(*w_.state.files, w_.state.path(kRatesInfoFile), info);
    } catch (const RuntimeError& e) {
        resultMessageShown_ = false;
        w_.state.platform.tray->showMessage("Valumat", "Einstellung nicht gespeichert: " + e.description());
    }
    dailyCaptionChanged();
}

void Tray::dailyCaptionChanged() {
    const bool on = readRatesInfo(*w_.state.files, w_.state.path(kRatesInfoFile)).dailyAtStart;
    mKurseTaeglich.setCaption(on ? kDailyRatesOn : kDailyRatesOff);
}

void Tray::updateRates(const std::string& address) {
    if (w_.state.platform.rates == nullptr || loading_) {
        return;
    }
    loading_ = true;
    mKurse.setEnabled(false);
    w_.state.platform.rates->load(address, [this, address](platform::RateLoad load) {
        loading_ = false;
        mKurse.setEnabled(true);
        const std::string text = ratesLoaded(address, load, todayIso());
        resultMessageShown_ = false;
        w_.state.platform.tray->showMessage("Valumat", text);
    });
}

void Tray::updateRatesIfDue(const std::string& today) {
    dailyCaptionChanged();
    const RatesInfo info = readRatesInfo(*w_.state.files, w_.state.path(kRatesInfoFile));
    if (info.dailyAtStart && info.loadedOn != today) {
        updateRates(kEcbDailyAddress);
    }
}

std::string Tray::ratesLoaded(const std::string& address, const platform::RateLoad& load, const std::string& today) {
    AppState& state = w_.state;
    std::string message = load.error.empty() ? checkRateDays(load.days) : load.error;
    const platform::RateDay* day = message.empty() ? pickRateDay(load.days, "", message) : nullptr;
    if (day == nullptr) {
        return "Kurse nicht aktualisiert: " + message;
    }
    // The shown currency's boxes go into its row first, so that the update meets the user's edits in the table.
    const int shown = state.CurrentCurrencyRow;
    if (shown >= 0) {
        StoreCurrencyRow(state, shown);
    }
    const RatePlan plan = planRateUpdate(state.currencies, *day, false);
    applyRatePlan(state.currencies, plan);
    state.notify(Changed::CurrencyRows);
    if (shown >= 0) {
        state.CurrentCurrencyRow = -1; // reload the boxes from the row without storing them again
        SelectCurrencyRow(state, shown);
    }
    RatesInfo info = readRatesInfo(*state.files, state.path(kRatesInfoFile));
    info.date = plan.date;
    info.source = address;
    info.loadedOn = today;
    if (state.ChangesPending) {
        state.pendingRatesInfo = utf8ToCp1252(composeRatesInfo(info));
        state.markChanged();
        return rateUpdateSummary(plan) + " (gespeichert mit „Übernehmen“)";
    }
    state.pendingRatesInfo = utf8ToCp1252(composeRatesInfo(info));
    SaveRates(state, false);
    SaveRates(state, true); // "Abbrechen" keeps the new rates
    state.platform.tray->setTooltip(tooltip());
    return rateUpdateSummary(plan);
}

void Tray::modeCaptionChanged() {
    mChangeKeyPress.setCaption(w_.state.modeCaption);
}

} // namespace valumat::shell
