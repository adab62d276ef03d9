#include "ui/currencycontrols.h"

#include "runtime/text.h"

#include <vector>

namespace valumat::ui {

namespace {

// Design geometry in twips, from the group's left edge; the name and country boxes take the owner's width.
constexpr Twips kLabelName{0, 285, 1215, 255};
constexpr Twips kName{1320, 240, 0, 315};
constexpr Twips kLabelLand{0, 645, 1215, 255};
constexpr Twips kLand{1320, 600, 0, 315};
constexpr Twips kLabelKurz{0, 1005, 1215, 255};
constexpr Twips kKurz{1320, 960, 855, 315};
constexpr Twips kLabelKurs{0, 1365, 615, 255};
constexpr Twips kLabelEuro{660, 1365, 975, 255};
constexpr Twips kEuro{1680, 1320, 1455, 315};
constexpr Twips kFix{3240, 1350, 735, 255};
constexpr Twips kLabel6{660, 1725, 975, 255};
constexpr Twips kWaehrung{1680, 1680, 1455, 315};
constexpr Twips kLabelNachkomma{0, 2085, 1215, 255};
constexpr Twips kNachkomma{1320, 2040, 375, 315};

constexpr Twips at(int left, Twips rect, int width = 0) {
    return {left + rect.left, rect.top, width > 0 ? width : rect.width, rect.height};
}

// One UTF-8 character at a time.
std::vector<std::string> characters(const std::string& text) {
    std::vector<std::string> out;
    std::size_t i = 0;
    while (i < text.size()) {
        std::size_t n = 1;
        while (i + n < text.size() && (static_cast<unsigned char>(text[i + n]) & 0xC0) == 0x80) {
            ++n;
        }
        out.push_back(text.substr(i, n));
        i += n;
    }
    return out;
}

// Characters no box of a currency takes: the field separator, control characters (C0, DEL and C1; a line break
// would split the file's line) and whatever Windows-1252 cannot hold.
bool refused(const std::string& character) {
    if (character == ";" || !fitsCp1252(character)) {
        return true;
    }
    const auto first = static_cast<unsigned char>(character[0]);
    if (character.size() == 1) {
        return first < 0x20 || first == 0x7F;
    }
    // U+0080..U+009F are C2 80..C2 9F.
    return character.size() == 2 && first == 0xC2 && static_cast<unsigned char>(character[1]) < 0xA0;
}

} // namespace

void rateKeyFilter(std::string& key) {
    const bool digit = key.size() == 1 && key[0] >= '0' && key[0] <= '9';
    if (!digit && key != "\b" && key != "," && key != ".") {
        key.clear();
    }
}

void textKeyFilter(std::string& key, const std::string& textBefore, bool isName) {
    if (key == "\b" || key.empty()) {
        return;
    }
    if (refused(key) || (isName && key == "#" && textBefore.ends_with("#:"))) {
        key.clear();
    }
}

std::string withoutRefusedCharacters(const std::string& text, bool isName) {
    std::string out;
    for (const std::string& c : characters(text)) {
        if (!refused(c)) {
            out += c;
        }
    }
    if (isName) {
        for (auto at = out.find("#:#"); at != std::string::npos; at = out.find("#:#")) {
            out.erase(at + 2, 1);
        }
    }
    return out;
}

CurrencyControls::CurrencyControls(Wording wording, int left, int wideWidth)
    : tName("tName", at(left, kName, wideWidth)), tLand("tLand", at(left, kLand, wideWidth)),
      tKurz("tKurz", at(left, kKurz)), t1Euro("t1Euro", at(left, kEuro)), t1Waehrung("t1Waehrung", at(left, kWaehrung)),
      tNachkomma("tNachkomma", at(left, kNachkomma)), cFix("cFix", "Fix", at(left, kFix)),
      Label6("Label6", "", at(left, kLabel6)), labelName("labelName", "Name:", at(left, kLabelName)),
      labelLand("labelLand", "Land:", at(left, kLabelLand)),
      labelKurz("labelKurz", "ISO-Kennung:", at(left, kLabelKurz)),
      labelEuro("labelEuro", "1 Euro =", at(left, kLabelEuro)), labelKurs("labelKurs", "Kurs:", at(left, kLabelKurs)),
      labelNachkomma("labelNachkomma", "Nachkommast.", at(left, kLabelNachkomma)) {
    const bool shown = wording == Wording::Shown;
    tName.setTooltip(shown ? "Name der Währung" : "Name der neuen Währung");
    tLand.setTooltip(shown ? "Land/Union in dem mit dieser Währung gehandelt wird"
                           : "Land/Union in dem mit der neuen Währung gehandelt wird");
    tKurz.setTooltip(shown ? "ISO-Kennung der Währung" : "ISO-Kennung der neuen Währung");
    t1Euro.setTooltip("Betrag der Währung, für den man einen Euro bekommt");
    t1Waehrung.setTooltip("Betrag in Euro, für den man eine Einheit der Währung bekommt");
    cFix.setTooltip(shown ? "Fixer Kurs" : "   Fixer Kurs");
    tNachkomma.setTooltip(shown ? "Anzahl der Nachkommastellen für die Währung"
                                : "Anzahl der Nachkommastellen für die neue Währung");
    tName.maxLength = 100;
    tLand.maxLength = 50;
    tKurz.maxLength = 5;
    t1Euro.maxLength = 20;
    t1Waehrung.maxLength = 20;
    tNachkomma.maxLength = 1;

    for (TextBox* box : {&tName, &tLand, &tKurz, &t1Euro, &t1Waehrung, &tNachkomma}) {
        box->onKeyPress = [this, box](std::string& key) {
            keyTyped();
            filterKey(*box, key);
        };
        box->onChange = [this, box] { boxChanged(*box); };
    }
}

void CurrencyControls::filterKey(const TextBox& box, std::string& key) const {
    if (&box == &tName || &box == &tLand || &box == &tKurz) {
        textKeyFilter(key, box.text(), &box == &tName);
    } else {
        rateKeyFilter(key);
    }
}

void CurrencyControls::boxChanged(TextBox& box) {
    if (settingText_) {
        return;
    }
    const std::string clean = withoutRefusedCharacters(box.text(), &box == &tName);
    if (clean != box.text()) {
        setFromCode(box, clean);
    }
    textChanged(box);
}

void CurrencyControls::setFromCode(TextBox& box, const std::string& text) {
    settingText_ = true;
    box.setText(text);
    settingText_ = false;
}

} // namespace valumat::ui
