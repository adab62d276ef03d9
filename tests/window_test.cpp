// The configuration window's frame, start-up, leaving the program, the tray, the options tab and the info tab,
// as scenarios on the fake desktop.
#include "runtime/script.h"
#include "store/currencyfile.h"
#include "store/keyfile.h"
#include "store/optionsfile.h"
#include "windowutil.h"

#include <gtest/gtest.h>

#include <map>

namespace valumat {
namespace {

using platform::kModControl;
using platform::MessageAnswer;

class Window : public ::testing::Test {
protected:
    void start(const std::string& commandLine = "", bool minimised = false) {
        h.copyShippedData();
        if (minimised) {
            h.temp.write(kOptionsFile, "autostart: 0\r\nminimiert: 1\r\nexceloptimiert: 0\r\n");
        }
        h.desktop.setCommandLine(commandLine);
        h.program.Form_Load();
    }
    std::vector<std::string> boxTexts() const {
        std::vector<std::string> out;
        for (const auto& b : h.desktop.boxes()) {
            out.push_back(b.text);
        }
        return out;
    }
    test::WindowHarness h;
};

TEST_F(Window, StartupWithTheShippedData) {
    start();
    EXPECT_TRUE(h.desktop.boxes().empty());
    EXPECT_EQ(h.state.dataDirectory, h.temp.dir());
    for (auto [dat, tmp] :
         {std::pair{kCurrencyFile, kCurrencyWorkingCopy}, std::pair{kBindingFile, kBindingWorkingCopy},
          std::pair{kOptionsFile, kOptionsWorkingCopy}}) {
        EXPECT_EQ(h.temp.read(tmp), h.temp.read(dat)) << tmp;
    }
    EXPECT_FALSE(h.state.ChangesPending);
    EXPECT_FALSE(h.window.CApply.enabled());
    EXPECT_FALSE(h.state.RefreshInProgress);
    EXPECT_TRUE(h.window.form.visible());
    EXPECT_FALSE(h.desktop.trayIconShown());
    EXPECT_EQ(h.window.Tabstrip.selected(), 1);
    EXPECT_TRUE(h.window.tTabs1.visible());
    EXPECT_EQ(h.window.form.rect().left, 1024 * 15 / 2 - h.window.form.rect().width / 2);
    EXPECT_EQ(h.window.form.rect().top, 768 * 15 / 2 - h.window.form.rect().height / 2);
    EXPECT_TRUE(h.desktop.isRegistered(kModControl, 'D'));
    EXPECT_EQ(h.state.CurrentCurrencyRow, 0);
    EXPECT_EQ(h.state.scriptText.substr(0, 16), "PRESS \"STRG+67\"\r");
    EXPECT_EQ(h.window.form.caption(), "Valumat V1.2 - www.valumat.example");
}

TEST_F(Window, StartupWithoutAnyFileReportsEachOnceInOrder) {
    h.program.Form_Load();
    const std::string tail = ".\n\rSoll das Programm fortgeführt werden?";
    EXPECT_EQ(boxTexts(), (std::vector<std::string>{
                              "Folgender Fehler ist im Modul ReadRates aufgetreten: Datei nicht gefunden" + tail,
                              "Folgender Fehler ist im Modul ReadKeyList aufgetreten: Datei nicht gefunden" + tail,
                              "Folgender Fehler ist im Modul ReadOptions aufgetreten: Datei nicht gefunden" + tail,
                              "Folgender Fehler ist im Modul ReadKeypress aufgetreten: Datei nicht gefunden" + tail}));
    EXPECT_EQ(h.temp.read(kCurrencyWorkingCopy), "");
    EXPECT_EQ(h.temp.read(kBindingWorkingCopy), "");
    EXPECT_EQ(h.temp.read(kOptionsWorkingCopy), "autostart: 0\r\nminimiert: 0\r\n\"exceloptimiert: 0\"\r\n");
    EXPECT_TRUE(h.window.form.visible());
    EXPECT_FALSE(h.window.CApply.enabled());
}

TEST_F(Window, MinimisedStartAndTheCommandLine) {
    struct C {
        const char* commandLine;
        bool minimised;
        bool windowShown;
    };
    for (const C& c : {C{"", true, false}, C{"/config", true, true}, C{"  /config  ", true, true},
                       C{"/CONFIG", true, false}, C{"/config weiter", true, false}, C{"", false, true}}) {
        test::WindowHarness w;
        w.copyShippedData();
        if (c.minimised) {
            w.temp.write(kOptionsFile, "autostart: 0\r\nminimiert: 1\r\nexceloptimiert: 0\r\n");
        }
        w.desktop.setCommandLine(c.commandLine);
        w.program.Form_Load();
        EXPECT_EQ(w.window.form.visible(), c.windowShown) << "[" << c.commandLine << "]";
        EXPECT_EQ(w.desktop.trayIconShown(), !c.windowShown) << "[" << c.commandLine << "]";
        EXPECT_EQ(w.window.form.showInTaskbar(), c.windowShown);
    }
}

TEST_F(Window, ApplyWritesEverythingButRegistersNothing) {
    start();
    h.window.options.Check2.click();
    EXPECT_TRUE(h.window.CApply.enabled());
    h.state.bindings[0].secondKey = "J";
    h.window.CApply.click();
    EXPECT_EQ(h.temp.read(kOptionsFile), "autostart: 1\r\nminimiert: 0\r\n\"exceloptimiert: 0\"\r\n");
    EXPECT_EQ(h.temp.read(kBindingFile).substr(0, 44), "Euro#:#Deutsche Mark#:#STRG#:#J#:#0#:##:#2#:");
    EXPECT_TRUE(h.desktop.autostartEntry().has_value());
    EXPECT_FALSE(h.window.CApply.enabled());
    EXPECT_TRUE(h.window.cOK2.hasFocus());
    EXPECT_FALSE(h.desktop.isRegistered(kModControl, 'J'));
    EXPECT_TRUE(h.window.form.visible());

    h.window.cOK2.click();
    EXPECT_TRUE(h.desktop.isRegistered(kModControl, 'J'));
    EXPECT_FALSE(h.desktop.isRegistered(kModControl, 'D'));
    EXPECT_FALSE(h.window.form.visible());
    EXPECT_TRUE(h.desktop.trayIconShown());
}

TEST_F(Window, ApplyThenCancelUndoesTheChangeInMemoryAndFiles) {
    start();
    const std::string options = h.temp.read(kOptionsFile);
    h.window.options.Check2.click();
    h.window.options.Option3.click();
    h.window.CApply.click();
    EXPECT_NE(h.temp.read(kOptionsFile), options);
    h.window.CCancel.click();
    EXPECT_EQ(h.temp.read(kOptionsFile), options);
    EXPECT_FALSE(h.state.options.autostart);
    EXPECT_FALSE(h.state.options.excelMode);
    EXPECT_EQ(h.tray.mChangeKeyPress.caption(), "Umschalten in Excel-Modus (Tabellenkalk.)");
    EXPECT_FALSE(h.desktop.autostartEntry().has_value());
    EXPECT_FALSE(h.window.CApply.enabled());
    EXPECT_FALSE(h.window.form.visible());
    EXPECT_TRUE(h.desktop.isRegistered(kModControl, 'D'));
}

TEST_F(Window, CancelRestoresTheWorkingCopiesAndReRegisters) {
    start();
    h.state.bindings[0].secondKey = "J";
    h.state.currencies.replace(0, "Geändert; X ;Y; 1; 1; 0; 2");
    h.state.CurrentCurrencyRow = -1; // the edit boxes hold nothing to store
    h.window.CCancel.click();
    EXPECT_EQ(h.temp.read(kCurrencyFile), h.temp.read(kCurrencyWorkingCopy));
    EXPECT_EQ(h.temp.read(kBindingFile), h.temp.read(kBindingWorkingCopy));
    EXPECT_EQ(h.state.bindings[0].secondKey, "D");
    EXPECT_TRUE(h.desktop.isRegistered(kModControl, 'D'));
    EXPECT_FALSE(h.desktop.isRegistered(kModControl, 'J'));
}

TEST_F(Window, CancelWithALostWorkingCopyKeepsTheDataFile) {
    start();
    const std::string rates = h.temp.read(kCurrencyFile);
    const std::string bindings = h.temp.read(kBindingFile);
    h.temp.remove(kCurrencyWorkingCopy);
    h.temp.write(kBindingWorkingCopy, "kaputt\r\n");
    h.window.CCancel.click();
    ASSERT_EQ(h.desktop.boxes().size(), 2u);
    EXPECT_EQ(h.temp.read(kCurrencyFile), rates);
    EXPECT_EQ(h.temp.read(kBindingFile), bindings);
    EXPECT_FALSE(h.window.form.visible());
}

TEST_F(Window, TabSwitchShowsOnePanel) {
    start();
    for (int k : {2, 3, 4, 1}) {
        h.window.Tabstrip.select(k);
        for (int i = 1; i <= 4; ++i) {
            EXPECT_EQ(h.window.tTabs(i).visible(), i == k);
        }
    }
    h.window.Tabstrip.select(4);
    h.window.info.TabInfo.select(3);
    h.window.Tabstrip.select(2);
    h.window.Tabstrip.select(4);
    EXPECT_EQ(h.window.info.TabInfo.selected(), 1);
    EXPECT_TRUE(h.window.info.Info1.visible());
    EXPECT_FALSE(h.window.info.Info3.visible());
}

TEST_F(Window, OptionsTabMarksChangesAndSetsTheMenuCaption) {
    start();
    const std::string script = h.state.scriptText;
    h.window.options.Option3.click();
    EXPECT_TRUE(h.state.options.excelMode);
    EXPECT_FALSE(h.window.options.Option4.value());
    EXPECT_EQ(h.tray.mChangeKeyPress.caption(), "Umschalten in Normal-Modus (Word, andere)");
    EXPECT_TRUE(h.window.CApply.enabled());
    h.window.CApply.click();
    EXPECT_EQ(h.temp.read(kOptionsFile), "autostart: 0\r\nminimiert: 0\r\n\"exceloptimiert: 1\"\r\n");
    EXPECT_EQ(h.state.scriptText, script); // the script follows at "Ok"
    h.window.cOK2.click();
    EXPECT_NE(h.state.scriptText, script);

    h.window.options.Check3.click();
    EXPECT_TRUE(h.state.options.minimised);
    EXPECT_TRUE(h.window.CApply.enabled());
    EXPECT_FALSE(h.desktop.autostartEntry().has_value());
}

TEST_F(Window, OptionsTabOpensTheScriptAndItsHelp) {
    start();
    h.window.options.Option3.click(); // spreadsheet mode still opens keypress.txt
    h.window.options.Command5.click();
    h.window.options.Command6.click();
    ASSERT_EQ(h.desktop.shellRequests().size(), 2u);
    EXPECT_EQ(h.desktop.shellRequests()[0].target, "keypress.txt");
    EXPECT_EQ(h.desktop.shellRequests()[0].directory, h.temp.dir());
    EXPECT_EQ(h.desktop.shellRequests()[1].target, "keypress.html");
    EXPECT_EQ(h.desktop.shellRequests()[1].directory, h.temp.dir() + "hilfe/");
    EXPECT_EQ(h.desktop.shellRequests()[1].verb, "open");
}

TEST_F(Window, TrayIconAndMenu) {
    start("", true);
    std::vector<std::string> captions;
    for (auto* item : h.tray.menu()) {
        if (item->visible()) { // "Letztes Ergebnis kopieren" shows once a result was not pasted
            captions.push_back(item->caption());
        }
    }
    EXPECT_EQ(captions, (std::vector<std::string>{"Tastenbelegung", "Währungen", "Optionen", "Info", "-",
                                                  "Umschalten in Excel-Modus (Tabellenkalk.)", "-", "Beenden"}));
    EXPECT_EQ(h.desktop.trayTooltip(), "Valumat - www.valumat.example");

    int popups = 0;
    h.tray.popupMenu = [&] { ++popups; };
    h.desktop.trayMouse(516); // right button pressed: nothing
    h.desktop.trayMouse(514); // single click: nothing
    EXPECT_EQ(popups, 0);
    EXPECT_FALSE(h.window.form.visible());
    h.desktop.trayMouse(517);
    EXPECT_EQ(popups, 1);

    h.tray.mOptionen.click();
    EXPECT_TRUE(h.window.form.visible());
    EXPECT_TRUE(h.window.tTabs3.visible());
    EXPECT_TRUE(h.desktop.trayIconShown());

    h.window.Tabstrip.select(2);
    h.desktop.trayMouse(515); // double-click: window, then the key-bindings tab
    EXPECT_EQ(h.window.Tabstrip.selected(), 1);
    EXPECT_TRUE(h.window.tTabs1.visible());
}

TEST_F(Window, ModeSwitchFromTheMenuTwice) {
    start();
    const std::string normal = h.state.scriptText;
    h.window.options.Check3.click(); // an edit pending on the options tab
    h.tray.mChangeKeyPress.click();
    EXPECT_TRUE(h.state.options.excelMode);
    EXPECT_EQ(h.temp.read(kOptionsFile), "autostart: 0\r\nminimiert: 1\r\n\"exceloptimiert: 1\"\r\n");
    EXPECT_NE(h.state.scriptText, normal);
    EXPECT_EQ(h.tray.mChangeKeyPress.caption(), "Umschalten in Normal-Modus (Word, andere)");
    // Edits pending elsewhere stay pending, and "Übernehmen" follows the flag.
    EXPECT_TRUE(h.state.ChangesPending);
    EXPECT_TRUE(h.window.CApply.enabled());

    h.tray.mChangeKeyPress.click();
    EXPECT_FALSE(h.state.options.excelMode);
    EXPECT_EQ(h.temp.read(kOptionsFile), "autostart: 0\r\nminimiert: 1\r\n\"exceloptimiert: 0\"\r\n");
    EXPECT_EQ(h.state.scriptText, normal);
    EXPECT_EQ(h.tray.mChangeKeyPress.caption(), "Umschalten in Excel-Modus (Tabellenkalk.)");
}

// The options tab shows exactly one mode after every switch from the menu: a renderer hears of each button whose
// value changed (both buttons are bound to the one mode flag) and shows what it reads then.
TEST_F(Window, ModeSwitchFromTheMenuShowsExactlyOneModeOnTheOptionsTab) {
    start();
    ui::OptionsTab& tab = h.window.options;
    std::map<const ui::Control*, bool> shown{{&tab.Option3, tab.Option3.value()}, {&tab.Option4, tab.Option4.value()}};
    for (ui::OptionButton* button : {&tab.Option3, &tab.Option4}) {
        button->observe([&shown](ui::Control& c) { shown[&c] = dynamic_cast<ui::OptionButton&>(c).value(); });
    }
    for (const bool excel : {true, false, true}) {
        h.tray.mChangeKeyPress.click();
        EXPECT_EQ(shown[&tab.Option3], excel);
        EXPECT_EQ(shown[&tab.Option4], !excel);
    }
    // A click on the tab itself as before.
    tab.Option4.click();
    EXPECT_FALSE(shown[&tab.Option3]);
    EXPECT_TRUE(shown[&tab.Option4]);
    for (ui::OptionButton* button : {&tab.Option3, &tab.Option4}) {
        button->observe(nullptr);
    }
}

// A combination another program holds: the slot counts as registered all the same, the key-bindings tab says so
// under the editor while that binding is selected, and the tray says so once after start-up and after "Ok".
TEST_F(Window, RefusedHotKeysAreShownOnTheTabAndOnceInTheTray) {
    const std::string refusal = "Valumat: Tastenkombination von einem anderen Programm belegt: STRG + D";
    h.desktop.takenByOtherProgram(kModControl, 'D');
    start("", true);
    EXPECT_EQ(h.state.hotKeys[0].registered, -1);
    EXPECT_TRUE(h.state.hotKeys[0].refused);
    EXPECT_FALSE(h.state.hotKeys[1].refused);
    EXPECT_EQ(h.desktop.trayMessages(), std::vector<std::string>{refusal});

    ui::KeysTab& keys = h.window.keys;
    h.tray.mTasten.click(); // the window on the key-bindings tab, binding 0 (Ctrl+D) selected
    EXPECT_EQ(keys.KeyList.listIndex(), 0);
    EXPECT_TRUE(keys.LabelRefused.visible());
    EXPECT_EQ(keys.LabelRefused.caption(), "Tastenkombination von einem anderen Programm belegt");
    keys.KeyList.select(1);
    EXPECT_FALSE(keys.LabelRefused.visible());
    keys.KeyList.select(0);
    EXPECT_TRUE(keys.LabelRefused.visible());
    h.tray.mWaehrungen.click(); // showing the window again says nothing more
    EXPECT_EQ(h.desktop.trayMessages().size(), 1u);

    // "Ok" registers anew and says it once more; binding 0 moved to another key is no longer refused.
    h.window.cOK2.click();
    EXPECT_EQ(h.desktop.trayMessages(), (std::vector<std::string>{refusal, refusal}));
    h.tray.mTasten.click();
    keys.Combo2.select(keys.Combo2.count() - 1); // F12
    h.window.cOK2.click();
    EXPECT_FALSE(h.state.hotKeys[0].refused);
    EXPECT_EQ(h.desktop.trayMessages().size(), 2u);
    h.tray.mTasten.click();
    EXPECT_FALSE(keys.LabelRefused.visible());
}

// Started with the window shown there is no icon yet: the refusal waits for it. A combination two bindings of
// ours share is no other program's.
TEST_F(Window, RefusalWaitsForTheIconAndOwnDuplicatesAreNoRefusal) {
    h.copyShippedData();
    h.temp.write(kBindingFile, "Euro#:#Deutsche Mark#:#STRG#:#D#:#0#:##:#2#:#,\r\n"
                               "Deutsche Mark#:#Euro#:#STRG#:#D#:#0#:##:#2#:#,\r\n"
                               "Euro#:#Yen#:#-#:#F5#:#0#:##:#2#:#,\r\n");
    h.desktop.takenByOtherProgram(0, 116); // F5 alone
    h.program.Form_Load();
    EXPECT_FALSE(h.state.hotKeys[1].refused);
    EXPECT_TRUE(h.state.hotKeys[2].refused);
    EXPECT_TRUE(h.desktop.trayMessages().empty());
    EXPECT_FALSE(h.window.keys.LabelRefused.visible());
    h.window.keys.KeyList.select(2);
    EXPECT_TRUE(h.window.keys.LabelRefused.visible());
    h.window.CCancel.click();
    EXPECT_EQ(h.desktop.trayMessages(),
              std::vector<std::string>{"Valumat: Tastenkombination von einem anderen Programm belegt: F5"});
}

TEST_F(Window, ModeSwitchWithoutPendingChangesLeavesApplyDisabled) {
    start();
    h.tray.mChangeKeyPress.click();
    EXPECT_FALSE(h.state.ChangesPending);
    EXPECT_FALSE(h.window.CApply.enabled());
}

TEST_F(Window, LeavingWithoutChangesEndsAtOnce) {
    start("", true);
    int quits = 0;
    h.program.quit = [&] { ++quits; };
    h.window.cEnde.click();
    EXPECT_TRUE(h.desktop.boxes().empty());
    EXPECT_TRUE(h.program.unloaded());
    EXPECT_EQ(quits, 1);
    EXPECT_EQ(h.desktop.registeredCount(), 0u);
    EXPECT_EQ(h.desktop.atomCount(), 0u);
    EXPECT_FALSE(h.desktop.trayIconShown());
}

TEST_F(Window, LeavingWithChangesAsksAndSavesOnlyOnYes) {
    for (MessageAnswer answer : {MessageAnswer::No, MessageAnswer::Yes}) {
        test::WindowHarness w;
        w.copyShippedData();
        w.program.Form_Load();
        const std::string before = w.temp.read(kOptionsFile);
        w.window.options.Check2.click();
        w.desktop.queueAnswer(answer);
        w.tray.mEnde.click();
        ASSERT_EQ(w.desktop.boxes().size(), 1u);
        const auto& box = w.desktop.boxes()[0];
        EXPECT_EQ(box.text, "Möchten Sie die Änderungen speichern?");
        EXPECT_EQ(box.title, "Frage");
        EXPECT_EQ(box.icon, platform::MessageIcon::Question);
        EXPECT_EQ(box.defaultButton, platform::DefaultButton::First);
        EXPECT_EQ(w.temp.read(kOptionsFile) == before, answer == MessageAnswer::No);
        EXPECT_TRUE(w.program.unloaded());
    }
}

TEST_F(Window, ClosingThroughTheSystemSavesNothing) {
    start();
    const std::string before = h.temp.read(kOptionsFile);
    h.window.options.Check2.click();
    h.window.closeBySystem();
    EXPECT_TRUE(h.desktop.boxes().empty());
    EXPECT_EQ(h.temp.read(kOptionsFile), before);
    EXPECT_TRUE(h.program.unloaded());
    EXPECT_EQ(h.desktop.registeredCount(), 0u);
}

TEST_F(Window, HelpTextIsReadOnce) {
    h.copyShippedData();
    std::filesystem::copy_file(test::shippedDataDir() + "readme.txt", h.temp.path() / "readme.txt");
    h.program.Form_Load();
    h.window.Tabstrip.select(4);
    h.window.info.TabInfo.select(2);
    const std::string text = h.window.info.Text4.text();
    EXPECT_NE(text.find("Valumat"), std::string::npos);
    EXPECT_TRUE(text.ends_with("\r\n"));
    EXPECT_TRUE(h.window.info.Info2.visible());
    h.temp.write("readme.txt", "neu\r\n");
    h.window.info.TabInfo.select(1);
    h.window.info.TabInfo.select(2);
    EXPECT_EQ(h.window.info.Text4.text(), text);
}

TEST_F(Window, MissingHelpTextShowsTheErrorLine) {
    start();
    h.window.info.TabInfo.select(2);
    EXPECT_EQ(h.window.info.Text4.text(), "Fehler beim Laden der Datei 'readme.txt'");
    EXPECT_TRUE(h.desktop.boxes().empty());
}

TEST(UrlEncodeTest, Examples) {
    EXPECT_EQ(ui::UrlEncode("Grüße an alle!"), "Gr%FC%DFe+an+alle%21");
    EXPECT_EQ(ui::UrlEncode("\r\n"), "%0D%0A");
    EXPECT_EQ(ui::UrlEncode("*"), "%2A");
    EXPECT_EQ(ui::UrlEncode("äÜ-._~"), "%E4%DC-._%7E");
}

TEST_F(Window, ContactFormSendsTheUntouchedForm) {
    start();
    h.window.info.Command8.click();
    ASSERT_EQ(h.desktop.shellRequests().size(), 1u);
    EXPECT_EQ(h.desktop.shellRequests()[0].verb, "OPEN");
    EXPECT_EQ(
        h.desktop.shellRequests()[0].target,
        "https://www.valumat.example/vostek/kontakt.php?name=Ihr+Name&email=Ihre+Email+%28o.+Telefon%2C+"
        "Anschrift%29&homepage=Ihre+Homepage&nachricht=Kontaktschreiben+aus+Valumat+V1.2%0D%0AIhre+Nachricht%0D%0A");
    EXPECT_EQ(h.window.info.Label27.caption(), "Vielen Dank für Ihre Nachricht!");
    EXPECT_TRUE(h.window.info.Command8.enabled());
    EXPECT_TRUE(h.window.info.tNachricht.enabled());
    h.window.info.Label19.click();
    h.window.info.Label21.click();
    EXPECT_EQ(h.desktop.shellRequests()[1].target, "mailto:info@valumat.example");
    EXPECT_EQ(h.desktop.shellRequests()[2].target, "http://www.valumat.example");
}

// A result the application does not take (a read-only text) is shown once the user's clipboard is back; the
// message's click and the menu entry put the result on the clipboard.
TEST(UnpastedResult, IsShownAndCanBeCopied) {
    test::WindowHarness h;
    h.startWithShippedData();
    h.tray.ShowTray();
    auto page = std::make_shared<fake::FakeEditor>("100");
    page->selectAll();
    h.desktop.setForeground(page);
    h.desktop.setFetchDelay(60000); // it never pastes
    h.desktop.setClipboardText("user's own");
    EXPECT_FALSE(h.tray.mErgebnis.visible());
    ASSERT_TRUE(h.desktop.pressHotKey(platform::kModControl, 'D'));
    h.desktop.runUntilIdle();
    EXPECT_EQ(page->text(), "100");
    EXPECT_EQ(h.desktop.clipboardText(), "user's own");
    EXPECT_EQ(h.desktop.trayMessages().back(),
              "Nicht eingefügt – ein Klick kopiert das Ergebnis: 100 Euro = 195,58 Deutsche Mark");
    EXPECT_TRUE(h.tray.mErgebnis.visible());
    h.desktop.trayMouse(platform::kTrayMessageClick);
    EXPECT_EQ(h.desktop.clipboardText(), "195,58");
    h.desktop.setClipboardText("user's own");
    h.tray.mErgebnis.click();
    EXPECT_EQ(h.desktop.clipboardText(), "195,58");
}

} // namespace
} // namespace valumat
