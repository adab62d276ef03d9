#include "ui/optionstab.h"

#include "ui/configwindow.h"

namespace valumat::ui {

OptionsTab::OptionsTab(ConfigWindow& window)
    : Check2("Check2", "Beim Windowsstart automatisch laden", {240, 240, 6375, 255}),
      Check3("Check3", "Programm beim Start minimieren (Symbol in der Taskleiste)", {240, 600, 6375, 255}),
      Label22("Label22", "Valumat verwenden in", {240, 1080, 6375, 255}),
      Option4("Option4", "anderen Anwendungen", {480, 1400, 6135, 255}),
      Option3("Option3", "Tabellenkalkulationen (Excel, StarCalc, Lotus 1-2-3, ...)", {480, 1720, 6135, 255}),
      Frame1("Frame1", "Erweiterte Einstellungen (nur von erfahrenen Usern zu ändern!)", {240, 2400, 6495, 1095}),
      Command5("Command5", "keypress.txt verändern", {480, 2880, 2655, 375}),
      Command6("Command6", "<< Hilfe dazu", {3300, 2880, 1695, 375}), w_(window) {
    Check2.setTooltip("Das Programm wird bei jedem Windowsstart automatisch geladen");
    Check3.setTooltip("Das Programm verschindet beim Start sofort als kleines Icon neben die Windows-Uhr");
    Option4.setTooltip("Die Umrechnung funktioniert in allen textbasierten Anwendungen (Word, Notepad, Editoren, "
                       "Textverarbeitung), nicht aber in Tabellenkalkulationen");
    Option3.setTooltip("Die Umrechnung funktioniert in den gängigen Tabellenkalkulationen, nicht aber in "
                       "Textverarbeitungen und Editoren (Word, Notepad)");
    Command5.setTooltip("Öffnet die Datei keypress.txt");
    Command6.setTooltip("Hilfe zum Ändern der Datei keypress.txt");

    Options& values = w_.state.options;
    Check2.bind([&values] { return values.autostart ? 1 : 0; }, [&values](int v) { values.autostart = v != 0; });
    Check3.bind([&values] { return values.minimised ? 1 : 0; }, [&values](int v) { values.minimised = v != 0; });
    Option3.bind([&values] { return values.excelMode; }, [&values](bool on) { values.excelMode = on; });
    Option4.bind([&values] { return !values.excelMode; }, [&values](bool on) { values.excelMode = !on; });
    OptionButton::group({&Option4, &Option3});
    shownAutostart_ = values.autostart;
    shownMinimised_ = values.minimised;
    shownExcel_ = values.excelMode;

    Check2.onClick = [this] { Check2_Click(); };
    Check3.onClick = [this] { Check3_Click(); };
    Option3.onClick = [this] { Option3_Click(); };
    Option4.onClick = [this] { Option4_Click(); };
    Command5.onClick = [this] { Command5_Click(); };
    Command6.onClick = [this] { Command6_Click(); };
}

std::vector<Control*> OptionsTab::controls() {
    return {&Check2, &Check3, &Label22, &Option4, &Option3, &Frame1, &Command5, &Command6};
}

void OptionsTab::modeClicked() {
    shownExcel_ = w_.state.options.excelMode;
    w_.state.modeCaption = w_.state.options.excelMode ? kModeCaptionToNormal : kModeCaptionToExcel;
    if (w_.shell != nullptr) {
        w_.shell->modeCaptionChanged();
    }
    w_.markChanged();
}

void OptionsTab::Option3_Click() {
    modeClicked();
}
void OptionsTab::Option4_Click() {
    modeClicked();
}

void OptionsTab::Check2_Click() {
    shownAutostart_ = w_.state.options.autostart;
    w_.markChanged();
}

void OptionsTab::Check3_Click() {
    shownMinimised_ = w_.state.options.minimised;
    w_.markChanged();
}

void OptionsTab::Command5_Click() {
    w_.state.platform.shell->shellOpen(w_.state.configWindow, "open", "keypress.txt", w_.state.dataDirectory);
}

void OptionsTab::Command6_Click() {
    const char separator = w_.state.platform.process->pathSeparator();
    w_.state.platform.shell->shellOpen(w_.state.configWindow, "open", "keypress.html",
                                       w_.state.dataDirectory + "hilfe" + separator);
}

void OptionsTab::optionsChanged() {
    // The values were set underneath the controls (reading the options file): show them and raise the Click
    // events that setting the controls raises.
    const Options& values = w_.state.options;
    if (values.autostart != shownAutostart_) {
        Check2.refresh();
        Check2_Click();
    }
    if (values.minimised != shownMinimised_) {
        Check3.refresh();
        Check3_Click();
    }
    if (values.excelMode != shownExcel_) {
        Option3.refresh();
        Option4.refresh();
        if (values.excelMode) {
            Option3_Click();
        } else {
            Option4_Click();
        }
    }
}

} // namespace valumat::ui
