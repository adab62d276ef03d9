// The notification-area icon and its menu.
#pragma once

#include "ui/configwindow.h"
#include "ui/controls.h"

#include <functional>
#include <string>
#include <vector>

namespace valumat::shell {

using ui::MenuItem;

// The icon's tooltip: the product name, " - " and the maker's web domain.
std::string trayTooltip();

inline constexpr const char* kUpdateRatesCaption = "Kurse aktualisieren (EZB)";
inline constexpr const char* kDailyRatesOn = "Kurse täglich beim Start aktualisieren: ein";
inline constexpr const char* kDailyRatesOff = "Kurse täglich beim Start aktualisieren: aus";
inline constexpr const char* kCopyResultCaption = "Letztes Ergebnis kopieren";
// The title of the message that shows a result the application did not take.
inline constexpr const char* kUnpastedTitle = "Nicht eingefügt – ein Klick kopiert das Ergebnis";

// Today as YYYY-MM-DD (UTC).
std::string todayIso();

class Tray {
public:
    explicit Tray(ui::ConfigWindow& window);

    // Menu1 ("popup"), entries in order.
    MenuItem mTasten, mWaehrungen, mOptionen, mInfo, mSep2, mChangeKeyPress, mKurse, mKurseTaeglich, mErgebnis, mSep,
        mEnde;
    std::vector<MenuItem*> menu();
    // Set by the renderer: opens Menu1 at the mouse position.
    std::function<void()> popupMenu;
    // Set by the program: leaves it as the button "Beenden" does.
    std::function<void()> leave;

    void ShowTray();
    void HideTray(bool removeIcon);
    // The icon's mouse message (515 left double-click, 517 right button released).
    void Picture1_MouseMove(int message);

    void mTasten_Click();
    void mWaehrungen_Click();
    void mOptionen_Click();
    void mInfo_Click();
    void mChangeKeyPress_Click();
    void mEnde_Click();
    // "Kurse aktualisieren (EZB)": loads the bank's daily rates without holding up the hot keys; the result comes
    // as a balloon.
    void mKurse_Click();
    // Switches the update once a day at start on or off (kept in kurse.dat).
    void mKurseTaeglich_Click();
    // "Letztes Ergebnis kopieren" (shown once a result was not pasted): puts that result on the clipboard.
    void mErgebnis_Click();
    // A result the application did not take: shown beside the icon; a click on the message copies it.
    void resultNotPasted(const std::string& message);

    // Loads rates from an address or file (one load at a time); ratesLoaded runs with the result.
    void updateRates(const std::string& address);
    // Takes loaded rates into the currency table, as an edit on the currencies tab would: with no edits pending the
    // currency file (and its working copy) is written at once, else the rates wait for "Übernehmen" with the other
    // edits. Returns the balloon's text ("31 Kurse vom 08.12.2026 aktualisiert" or why nothing changed).
    std::string ratesLoaded(const std::string& address, const platform::RateLoad& load, const std::string& today);
    // At start: the update once a day, when it is switched on and was not done today.
    void updateRatesIfDue(const std::string& today);
    bool loadingRates() const { return loading_; }
    // trayTooltip() and, once rates were updated, their day on a second line.
    std::string tooltip() const;

    // The mode caption changed in the program state.
    void modeCaptionChanged();

private:
    void openOnTab(int tab);
    void dailyCaptionChanged();
    ui::ConfigWindow& w_;
    bool loading_ = false;
    bool resultMessageShown_ = false; // the last message shown is a result's: a click on it copies the result
};

} // namespace valumat::shell
