// The info tab ("Info"): program information with contact links, the read-me text, and the contact form.
#pragma once

#include "ui/controls.h"

#include <string>

namespace valumat::ui {

class ConfigWindow;

// The maker's addresses.
inline constexpr const char* kMakerDomain = "www.valumat.example";
inline constexpr const char* kMakerHost = "www.valumat.example";
inline constexpr const char* kMakerMail = "info@valumat.example";

// A text encoded for a web address: letters, digits, "-", "." and "_" stay, a blank becomes "+", every other
// character "%" and its Windows-1252 code in two upper-case hexadecimal digits.
std::string UrlEncode(const std::string& text);

// The contact form's address for the four texts.
std::string contactAddress(const std::string& name, const std::string& email, const std::string& homepage,
                           const std::string& message);

class InfoTab {
public:
    explicit InfoTab(ConfigWindow& window);

    TabStrip TabInfo; // "Programminfo", "Hilfe", "Kontakt"
    Panel Info1, Info2, Info3;
    Label Image1;
    Label labelProduct, labelVersion, labelDate, labelAuthor, labelMail, labelWeb;
    Label Label19;    // e-mail link
    Label Label21;    // web link
    Label labelRates; // "Kurse vom 08.12.2026 (EZB)" once the rates were updated, else empty
    TextBox Text4;    // read-me text
    Label labelHeading;
    Label Label27;
    TextBox tName2, tEmail, tHomepage, tNachricht;
    Button Command8; // "Absenden"

    std::vector<Control*> controls();

    void TabInfo_Click();
    void Label19_Click();
    void Label21_Click();
    void Command8_Click();
    // labelRates anew from kurse.dat (when the tab is shown and whenever the file was written).
    void ratesInfoChanged();

private:
    ConfigWindow& w_;
};

} // namespace valumat::ui
