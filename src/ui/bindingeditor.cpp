#include "ui/bindingeditor.h"

#include "runtime/numbers.h"
#include "runtime/text.h"
#include "store/keyfile.h"

#include <cmath>

namespace valumat::ui {

std::vector<std::string> allKeys() {
    std::vector<std::string> keys;
    for (char c = '0'; c <= '9'; ++c) {
        keys.emplace_back(1, c);
    }
    for (char c = 'A'; c <= 'Z'; ++c) {
        keys.emplace_back(1, c);
    }
    const auto f = functionKeys();
    keys.insert(keys.end(), f.begin(), f.end());
    return keys;
}

std::vector<std::string> functionKeys() {
    std::vector<std::string> keys;
    for (int n = 1; n <= 12; ++n) {
        keys.push_back("F" + std::to_string(n));
    }
    return keys;
}

void applyModifierRule(const ComboBox& modifier, ComboBox& keys) {
    const std::string remembered = keys.text();
    keys.clear();
    if (modifier.text() == "STRG") {
        for (auto& key : allKeys()) {
            keys.addItem(std::move(key));
        }
        keys.selectText(remembered);
        return;
    }
    for (auto& key : functionKeys()) {
        keys.addItem(std::move(key));
    }
    // A digit or a letter has no place among the function keys: F1 stands in for it.
    if (utf8Length(remembered) >= 2) {
        keys.selectText(remembered);
    } else {
        keys.setListIndex(0);
    }
}

void applyCodeEnabling(const CheckBox& check, TextBox& text, OptionButton& before, OptionButton& after) {
    const bool on = check.value() != 0;
    text.setEnabled(on);
    text.setBackColor(on ? BackColor::Window : BackColor::ButtonFace);
    before.setEnabled(on);
    after.setEnabled(on);
    if (!on) {
        before.setValue(false);
        after.setValue(false);
    }
}

void decimalsKeyFilter(std::string& key) {
    const bool digit = key.size() == 1 && key[0] >= '0' && key[0] <= '9';
    if (!digit && key != "\b" && key != "," && key != ".") {
        key.clear();
    }
}

void lineBreakKeyFilter(std::string& key) {
    if (key == "\r" || key == "\n") {
        key.clear();
    }
}

void codeTextKeyFilter(const std::string& current, std::string& key) {
    lineBreakKeyFilter(key);
    // Characters are only ever appended: "#:" at the end would run into the field separator that follows the code
    // text in the binding file, so the ":" is refused there (and with it every way to type "#:#").
    if (key == ":" && current.ends_with("#")) {
        key.clear();
    }
    if (key == "#" && current.ends_with("#:")) {
        key.clear();
    }
}

std::string withoutLineBreaks(std::string text) {
    std::erase_if(text, [](char c) { return c == '\r' || c == '\n'; });
    return text;
}

std::string cleanCodeText(std::string text) {
    text = withoutLineBreaks(std::move(text));
    for (;;) {
        if (const auto at = text.find(kFieldSeparator); at != std::string::npos) {
            text.erase(at, 3);
        } else if (text.ends_with("#:")) {
            text.pop_back();
        } else {
            return text;
        }
    }
}

std::uint8_t decimalsValue(const std::string& text) {
    const double value = std::nearbyint(readNumber(text));
    if (value < 0 || value > 255) {
        throw RuntimeError(err::kOverflow);
    }
    return static_cast<std::uint8_t>(value);
}

std::uint8_t codePositionOf(const CheckBox& check, const OptionButton& before) {
    if (check.value() == 0) {
        return 0;
    }
    return before.value() ? 1 : 2;
}

BindingEditor::BindingEditor(const Design& d)
    : Label10("Label10", d.currencyHeading, d.label10), Label11("Label11", "wird zu", d.label11),
      Label8("Label8", d.keysHeading, d.label8), Label9("Label9", "+", d.label9),
      Label13("Label13", "Nachkommastellen:", d.label13), Label12("Label12", "Trennzeichen:", d.label12),
      Combo3("Combo3", d.combo3), Combo4("Combo4", d.combo4), Check1("Check1", "+ Kürzel:", d.check1),
      Text1("Text1", d.text1), Option1("Option1", "davor", d.option1), Option2("Option2", "dahinter", d.option2),
      Combo1("Combo1", d.combo1), Combo2("Combo2", d.combo2), Text2("Text2", d.text2), Text3("Text3", d.text3) {
    Combo3.setTooltip("Einzulesende Währung");
    Combo4.setTooltip("Zu berechnende Währung");
    Check1.setTooltip("Währungskürzel ausgeben/ nicht ausgeben");
    Text1.setTooltip("Währungskürzel");
    Option1.setTooltip("Währungskürzel steht vor dem Betrag");
    Option2.setTooltip("Währungskürzel steht hinter dem Betrag");
    Text2.setTooltip("Nachkommastellen, auf die der berechnete Betrag gerundet und ausgegeben werden soll");
    Text3.setTooltip("Trennzeichen, mit dem Dezimalstellen getrennt werden");
    Label11.alignment = Alignment::Center;
    Label9.alignment = Alignment::Center;
    Label9.fontName = "Arial";
    Label9.fontSizePoints = 12;
    Label13.alignment = Alignment::Right;
    Label12.alignment = Alignment::Right;

    Text1.maxLength = 10;
    Text1.setEnabled(false);
    Text1.setBackColor(BackColor::ButtonFace);
    Option1.setEnabled(false);
    Option2.setEnabled(false);
    OptionButton::group({&Option1, &Option2});
    Text2.maxLength = 1;
    Text3.maxLength = 1;
    Text3.setText(",");

    Combo1.onClick = [this] {
        userChanged();
        applyModifierRule(Combo1, Combo2);
        fieldsChanged();
    };
    const auto chosen = [this] {
        userChanged();
        fieldsChanged();
    };
    Combo2.onClick = chosen;
    Combo3.onClick = chosen;
    Combo4.onClick = chosen;
    Option1.onClick = chosen;
    Option2.onClick = chosen;
    Check1.onClick = [this] {
        userChanged();
        codeSwitching();
        applyCodeEnabling(Check1, Text1, Option1, Option2);
        fieldsChanged();
    };
    Text1.onKeyPress = [this](std::string& key) {
        userChanged();
        codeTextKeyFilter(Text1.text(), key);
    };
    Text2.onKeyPress = [this](std::string& key) {
        userChanged();
        decimalsKeyFilter(key);
    };
    Text3.onKeyPress = [this](std::string& key) {
        userChanged();
        lineBreakKeyFilter(key);
    };
    // Pasted text does not pass the key filter: what the binding file cannot hold is taken out here (the
    // corrected text comes back through the same event).
    Text1.onChange = [this] {
        if (!cleaned(Text1, cleanCodeText)) {
            fieldsChanged();
        }
    };
    Text2.onChange = [this] { fieldsChanged(); };
    Text3.onChange = [this] {
        if (!cleaned(Text3, withoutLineBreaks)) {
            fieldsChanged();
        }
    };
}

bool BindingEditor::cleaned(TextBox& box, std::string (*clean)(std::string)) {
    const std::string text = box.text();
    if (const std::string kept = clean(text); kept != text) {
        box.setText(kept);
        return true;
    }
    return false;
}

} // namespace valumat::ui
