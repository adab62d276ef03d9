#include "ui/infotab.h"

#include "runtime/errors.h"
#include "runtime/text.h"
#include "store/ratesupdate.h"
#include "ui/configwindow.h"

#include <cstdio>

namespace valumat::ui {

namespace {
constexpr Twips kInfoPanel{120, 480, 6735, 3255};
constexpr const char* kLabel27First =
    "Über Kritik und Verbesserungsvorschläge würde ich mich sehr freuen. Um dieses "
    "Formular abzuschicken ist eine Verbindung zum Internet, sowie ein Browser nötig.";
} // namespace

std::string UrlEncode(const std::string& text) {
    std::string out;
    for (const char c : utf8ToCp1252(text)) {
        const auto b = static_cast<unsigned char>(c);
        if ((b >= '0' && b <= '9') || (b >= 'A' && b <= 'Z') || (b >= 'a' && b <= 'z') || b == '-' || b == '.' ||
            b == '_') {
            out += c;
        } else if (b == ' ') {
            out += '+';
        } else {
            char hex[4];
            std::snprintf(hex, sizeof hex, "%%%02X", b);
            out += hex;
        }
    }
    return out;
}

std::string contactAddress(const std::string& name, const std::string& email, const std::string& homepage,
                           const std::string& message) {
    return std::string("https://") + kMakerHost + "/vostek/kontakt.php?name=" + UrlEncode(name) +
           "&email=" + UrlEncode(email) + "&homepage=" + UrlEncode(homepage) + "&nachricht=" + UrlEncode(message);
}

InfoTab::InfoTab(ConfigWindow& window)
    : TabInfo("TabInfo", {"Programminfo", "Hilfe", "Kontakt"}, {120, 120, 6735, 3615}),
      Info1("Info(1)", "", kInfoPanel), Info2("Info(2)", "", kInfoPanel), Info3("Info(3)", "", kInfoPanel),
      Image1("Image1", "", {360, 720, 960, 960}), labelProduct("labelProduct", "Valumat", {1560, 720, 4000, 375}),
      labelVersion("labelVersion", "Version 1.2", {1560, 1140, 4000, 255}),
      labelDate("labelDate", "Datum der Entwicklung: Dezember / 2001", {1560, 1440, 4800, 255}),
      labelAuthor("labelAuthor", "Entwickelt vom Valumat-Team", {1560, 1740, 4800, 255}),
      labelMail("labelMail", "eMail:", {1560, 2280, 900, 255}),
      labelWeb("labelWeb", "Internet:", {1560, 2580, 900, 255}),
      Label19("Label19", kMakerMail, {2520, 2280, 3600, 255}),
      Label21("Label21", std::string("http://") + kMakerHost, {2520, 2580, 3600, 255}),
      labelRates("labelRates", "", {1560, 2940, 4800, 255}), Text4("Text4", {240, 600, 6495, 3015}),
      labelHeading("labelHeading", "Kontaktschreiben", {240, 600, 6495, 255}),
      Label27("Label27", kLabel27First, {240, 870, 6495, 660}), tName2("tName2", {240, 1560, 3135, 285}),
      tEmail("tEmail", {3480, 1560, 3255, 285}), tHomepage("tHomepage", {240, 1920, 6495, 285}),
      tNachricht("tNachricht", {240, 2280, 6495, 975}), Command8("Command8", "Absenden", {5280, 3300, 1455, 315}),
      w_(window) {
    labelProduct.fontSizePoints = 14;
    Label19.onClick = [this] { Label19_Click(); };
    Label21.onClick = [this] { Label21_Click(); };
    Text4.multiLine = true;
    tNachricht.multiLine = true;
    tName2.setText("Ihr Name");
    tEmail.setText("Ihre Email (o. Telefon, Anschrift)");
    tHomepage.setText("Ihre Homepage");
    tNachricht.setText("Ihre Nachricht\r\n");
    Info2.setVisible(false);
    Info3.setVisible(false);
    TabInfo.onClick = [this] { TabInfo_Click(); };
    Command8.onClick = [this] { Command8_Click(); };
}

std::vector<Control*> InfoTab::controls() {
    return {&TabInfo,     &Info1,     &Info2,    &Info3,     &Image1,     &labelProduct, &labelVersion, &labelDate,
            &labelAuthor, &labelMail, &labelWeb, &Label19,   &Label21,    &labelRates,   &Text4,        &labelHeading,
            &Label27,     &tName2,    &tEmail,   &tHomepage, &tNachricht, &Command8};
}

void InfoTab::TabInfo_Click() {
    const int k = TabInfo.selected();
    Info1.setVisible(k == 1);
    Info2.setVisible(k == 2);
    Info3.setVisible(k == 3);
    if (k == 2 && Text4.text().empty()) {
        std::string text;
        try {
            for (const std::string& line : splitLines(w_.state.files->readAll(w_.state.path("readme.txt")))) {
                text += cp1252ToUtf8(line) + "\r\n";
            }
        } catch (const RuntimeError&) {
            text = "Fehler beim Laden der Datei 'readme.txt'";
        }
        Text4.setText(text);
    }
}

void InfoTab::ratesInfoChanged() {
    labelRates.setCaption(ratesInfoLine(readRatesInfo(*w_.state.files, w_.state.path(kRatesInfoFile))));
}

void InfoTab::Label19_Click() {
    w_.state.platform.shell->shellOpen(w_.state.configWindow, "open", std::string("mailto:") + kMakerMail, "");
}

void InfoTab::Label21_Click() {
    w_.state.platform.shell->shellOpen(w_.state.configWindow, "open", std::string("http://") + kMakerHost, "");
}

void InfoTab::Command8_Click() {
    for (Control* c : std::initializer_list<Control*>{&Command8, &tNachricht, &tName2, &tEmail, &tHomepage}) {
        c->setEnabled(false);
    }
    const std::string message = "Kontaktschreiben aus Valumat V1.2\r\n" + tNachricht.text();
    w_.state.platform.shell->shellOpen(w_.state.configWindow, "OPEN",
                                       contactAddress(tName2.text(), tEmail.text(), tHomepage.text(), message), "");
    Label27.setCaption("Vielen Dank für Ihre Nachricht!");
    for (Control* c : std::initializer_list<Control*>{&Command8, &tNachricht, &tName2, &tEmail, &tHomepage}) {
        c->setEnabled(true);
    }
}

} // namespace valumat::ui
