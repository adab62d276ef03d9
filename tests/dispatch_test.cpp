// Hot keys end to end on the fake desktop: the dispatcher, the script interpreter, the key sender, the
// conversion and the clipboard together, against a simulated editor and spreadsheet.
#include "runtime/dispatch.h"
#include "runtime/ending.h"
#include "runtime/errors.h"
#include "runtime/hotkeys.h"
#include "runtime/roundtrip.h"
#include "runtime/script.h"
#include "testutil.h"

#include <gtest/gtest.h>

namespace valumat {
namespace {

using fake::FakeEditor;
using fake::FakeSpreadsheet;
using platform::kModControl;

constexpr const char* kTextScript = "PRESS \"STRG+67\"\r\nSLEEP \"100\"\r\nCALCULATE\r\nPRESS \"STRG+86\"\r\n";
constexpr const char* kSheetScript = "PRESS \"113\"\r\nPRESS \"SHIFT+36\"\r\nPRESS \"STRG+67\"\r\nSLEEP \"100\"\r\n"
                                     "CALCULATE\r\nPRESS \"STRG+86\"\r\nPRESS \"13\"\r\n";

KeyBinding binding(const std::string& from, const std::string& to, const std::string& key) {
    KeyBinding b;
    b.sourceCurrency = from;
    b.targetCurrency = to;
    b.firstKey = "STRG";
    b.secondKey = key;
    b.resultDecimals = 2;
    b.decimalSeparator = ",";
    return b;
}

class HotKeyRun : public ::testing::Test {
protected:
    void SetUp() override {
        h.state.currencies.assign({"Euro; EUR ;Europäische Union; 1; 1; 1; 2",
                                   "Deutsche Mark; DEM ;Deutschland; 1,95583; 0,5112919; 1; 2",
                                   "Kaputt; KPT ;Nirgends; 2"});
        h.state.bindings[3] = binding("Euro", "Deutsche Mark", "D");
        h.state.bindings[4] = binding("Deutsche Mark", "Euro", "E");
        h.state.bindings[5] = binding("Euro", "Kaputt", "K");
        h.state.scriptText = kTextScript;
        SetHotKeys(h.state);
        editor = std::make_shared<FakeEditor>("Betrag: 100 Euro");
        editor->select(8, 3);
        h.desktop.setForeground(editor);
        h.desktop.setClipboardText("vorher");
    }

    // The user presses Ctrl+key (still holding Ctrl when the script starts) and the program handles it.
    void press(char key) {
        h.desktop.setKeyDown(17, true);
        h.desktop.setKeyDown(static_cast<std::uint8_t>(key), true);
        ASSERT_TRUE(h.desktop.pressHotKey(kModControl, static_cast<unsigned>(key)));
        h.desktop.setKeyDown(static_cast<std::uint8_t>(key), false);
        h.desktop.clearTranscript();
        h.desktop.runUntilIdle();
    }

    test::Harness h;
    std::shared_ptr<FakeEditor> editor;
};

TEST_F(HotKeyRun, TypicalConversionInAnEditor) {
    std::vector<std::string> ownerAtKey;
    h.desktop.onKeyEvent([&](std::uint8_t, std::uint32_t) { ownerAtKey.push_back(h.desktop.clipboardOwner()); });
    press('D');
    // The clipboard is emptied without taking it over: an owner that sleeps would block the editor's copy.
    ASSERT_FALSE(ownerAtKey.empty());
    EXPECT_EQ(ownerAtKey.front(), "");
    EXPECT_EQ(editor->text(), "Betrag: 195,58 Euro");
    EXPECT_EQ(h.desktop.clipboardText(), "vorher");
    EXPECT_TRUE(h.desktop.keysDown().empty());
    EXPECT_EQ(h.desktop.transcript(), "Alt up, Ctrl up, Shift up, Ctrl down, C down (ext), pump, C up, Ctrl up, pump, "
                                      "sleep 100, pump, pump, pump, "
                                      "Alt up, Ctrl up, Shift up, Ctrl down, V down (ext), pump, V up, Ctrl up, pump");
}

TEST_F(HotKeyRun, ProgramWithHigherRightsInFrontGetsNoKeysAndIsNamedOnce) {
    h.state.platform.tray->add("Valumat");
    h.desktop.setClipboardFormat("image/png", std::string("\x89PNG\r\n\x1a\n", 8));
    const auto before = h.desktop.clipboardFormats();
    const std::string told =
        "Valumat: Valumat kann in Programmen, die als Administrator laufen, nicht umrechnen (regedit.exe).";
    h.desktop.setForegroundElevated(true, "regedit.exe");
    press('D');
    press('D');
    // No key went out, the clipboard was not even looked at, the document stays; one balloon for the program.
    EXPECT_EQ(h.desktop.transcript(), "");
    EXPECT_EQ(h.desktop.clipboardOwner(), "user");
    EXPECT_EQ(h.desktop.clipboardFormats(), before);
    EXPECT_EQ(editor->text(), "Betrag: 100 Euro");
    EXPECT_EQ(h.desktop.trayMessages(), std::vector<std::string>{told});
    // Another such program is named too; back in a program of ours the conversion runs.
    h.desktop.setForegroundElevated(true, "");
    press('D');
    h.desktop.setForegroundElevated(false);
    press('D');
    EXPECT_EQ(editor->text(), "Betrag: 195,58 Euro");
    EXPECT_EQ(h.desktop.trayMessages(),
              (std::vector<std::string>{
                  told, "Valumat: Valumat kann in Programmen, die als Administrator laufen, nicht umrechnen."}));
}

TEST_F(HotKeyRun, TheUsersContentComesBack) {
    h.desktop.setClipboardText("Bildunterschrift");
    h.desktop.setClipboardFormat("application/x-zeichnung", std::string("\x89PNG\r\n\x1a\n", 8));
    const auto before = h.desktop.clipboardFormats();
    press('D');
    EXPECT_EQ(editor->text(), "Betrag: 195,58 Euro");
    EXPECT_EQ(h.desktop.clipboardFormats(), before);
}

TEST_F(HotKeyRun, LateFetchingTargetStillGetsTheResult) {
    // The editor asks for the clipboard only 300 ms after handling Ctrl+V; restoring at once would paste "vorher".
    h.desktop.setFetchDelay(300);
    press('D');
    EXPECT_EQ(editor->text(), "Betrag: 195,58 Euro");
    EXPECT_EQ(h.desktop.clipboardText(), "vorher");
}

TEST_F(HotKeyRun, TargetThatNeverFetchesCostsAtMostTheBoundedWait) {
    h.state.scriptText = "PRESS \"STRG+67\"\r\nCALCULATE\r\n"; // no paste at all
    const auto start = h.desktop.now();
    press('D');
    EXPECT_LE(h.desktop.now() - start, RoundTrip::kFetchWaitMs + 5);
    EXPECT_EQ(h.desktop.clipboardText(), "vorher");
    EXPECT_EQ(editor->text(), "Betrag: 100 Euro");
}

TEST_F(HotKeyRun, SpreadsheetCell) {
    auto sheet = std::make_shared<FakeSpreadsheet>(std::vector<std::string>{"12.345,60", "x"});
    h.desktop.setForeground(sheet);
    h.state.scriptText = kSheetScript;
    h.desktop.setFetchDelay(80); // Enter must not overtake the paste
    press('D');
    EXPECT_EQ(sheet->cell(0), "24.145,89");
    EXPECT_EQ(sheet->currentRow(), 1u);
    EXPECT_FALSE(sheet->editing());
    EXPECT_EQ(h.desktop.clipboardText(), "vorher");
    EXPECT_TRUE(h.desktop.keysDown().empty());
}

// A spreadsheet that enters edit mode too late for the keys after F2 copies the cell itself (with its line end:
// not an amount), and its Enter after a copy pastes the clipboard: that paste must not find the user's content.
TEST_F(HotKeyRun, SpreadsheetWhoseEnterPastesAgain) {
    h.copyShippedData();
    h.state.options.excelMode = true;
    ReadKeypress(h.state);
    auto sheet = std::make_shared<FakeSpreadsheet>(std::vector<std::string>{"12.345,60", "x"});
    sheet->setEnterPastes(true);
    sheet->ignoreF2(1);
    h.desktop.setForeground(sheet);
    h.desktop.setInputLatency(3);
    h.desktop.setFetchDelay(30);
    press('D');
    EXPECT_EQ(sheet->cell(0), "12.345,60");
    EXPECT_EQ(sheet->currentRow(), 1u);
    EXPECT_EQ(h.desktop.clipboardText(), "vorher");
    EXPECT_TRUE(h.desktop.keysDown().empty());
}

TEST_F(HotKeyRun, SpreadsheetScriptFromTheShippedFile) {
    h.copyShippedData();
    h.state.options.excelMode = true;
    ReadKeypress(h.state);
    ASSERT_TRUE(h.desktop.boxes().empty());
    auto sheet = std::make_shared<FakeSpreadsheet>(std::vector<std::string>{"12.345,60"});
    h.desktop.setForeground(sheet);
    press('D');
    EXPECT_EQ(sheet->cell(0), "24.145,89");
    EXPECT_EQ(h.desktop.clipboardText(), "vorher");
}

TEST_F(HotKeyRun, UnregisteredIdentifierChangesNothing) {
    h.desktop.clearTranscript();
    h.desktop.postMessage(h.state.configWindow, platform::kWmHotKey, 12345, 0);
    h.desktop.runUntilIdle();
    EXPECT_FALSE(h.desktop.pressHotKey(kModControl, 'Z'));
    h.desktop.runUntilIdle();
    EXPECT_EQ(h.desktop.transcript(), "");
    EXPECT_EQ(h.desktop.clipboardOwner(), "user");
    EXPECT_EQ(editor->text(), "Betrag: 100 Euro");
}

TEST_F(HotKeyRun, SecondHotKeyWaitsForTheFirst) {
    bool posted = false;
    h.desktop.onKeyEvent([&](std::uint8_t key, std::uint32_t flags) {
        if (!posted && key == 'C' && flags != platform::kKeyEventKeyUp) {
            posted = true;
            h.desktop.pressHotKey(kModControl, 'E'); // arrives at the key sender's pump
        }
    });
    press('D');
    // Ctrl+E runs after Ctrl+D has ended, on its own clipboard: the caret after the pasted result selects
    // nothing, so it copies nothing and pastes nothing.
    EXPECT_EQ(editor->text(), "Betrag: 195,58 Euro");
    EXPECT_EQ(editor->copies(), 1);
    EXPECT_EQ(editor->pastes(), 1); // the second script copied nothing and so sent no paste
    EXPECT_EQ(h.desktop.clipboardText(), "vorher");
    EXPECT_TRUE(h.desktop.keysDown().empty());
    EXPECT_TRUE(h.state.queuedHotKeys.empty());
    EXPECT_FALSE(h.state.scriptRunning);
}

TEST_F(HotKeyRun, QuickPressesConvertEveryCellInOrder) {
    auto sheet = std::make_shared<FakeSpreadsheet>(std::vector<std::string>{"100", "200", "300", "400", "x"});
    h.desktop.setForeground(sheet);
    h.state.scriptText = "PRESS \"113\"\r\nPRESS \"SHIFT+36\"\r\nPRESS \"STRG+67\"\r\nCALCULATE\r\n"
                         "PRESS \"STRG+86\"\r\nPRESS \"13\"\r\n";
    h.desktop.setCopyDelay(15);
    h.desktop.setFetchDelay(20);
    int presses = 1;
    h.desktop.onKeyEvent([&](std::uint8_t key, std::uint32_t flags) {
        if (presses < 4 && key == 113 && flags != platform::kKeyEventKeyUp) {
            ++presses;
            h.desktop.pressHotKey(kModControl, 'D'); // the user presses again while the script runs
        }
    });
    press('D');
    EXPECT_EQ(sheet->cell(0), "195,58");
    EXPECT_EQ(sheet->cell(1), "391,17");
    EXPECT_EQ(sheet->cell(2), "586,75");
    EXPECT_EQ(sheet->cell(3), "782,33");
    EXPECT_EQ(sheet->cell(4), "x");
    EXPECT_EQ(h.desktop.clipboardText(), "vorher");
    EXPECT_TRUE(h.desktop.keysDown().empty());
}

TEST_F(HotKeyRun, WaitingHotKeysAreBounded) {
    bool flooded = false;
    h.state.scriptText = "PRESS \"113\"\r\n";
    int runs = 0;
    h.desktop.onKeyEvent([&](std::uint8_t key, std::uint32_t flags) {
        if (key == 113 && flags != platform::kKeyEventKeyUp) {
            ++runs;
            if (!flooded) {
                flooded = true;
                for (std::size_t i = 0; i < kMaxQueuedHotKeys + 10; ++i) {
                    h.desktop.pressHotKey(kModControl, 'D');
                }
            }
        }
    });
    press('D');
    EXPECT_EQ(runs, static_cast<int>(kMaxQueuedHotKeys) + 1);
}

TEST_F(HotKeyRun, EndingStopsTheScriptWithTheClipboardBack) {
    h.desktop.onKeyEvent([&](std::uint8_t key, std::uint32_t flags) {
        if (key == 'C' && flags == platform::kKeyEventKeyUp) {
            h.desktop.pressHotKey(kModControl, 'E'); // waiting: never runs
            h.state.endRequested = true;             // a signal arrives while the script runs
        }
    });
    press('D');
    EXPECT_EQ(editor->pastes(), 0);
    EXPECT_EQ(editor->text(), "Betrag: 100 Euro");
    EXPECT_EQ(h.desktop.clipboardText(), "vorher");
    EXPECT_TRUE(h.desktop.keysDown().empty());
    EXPECT_TRUE(h.state.queuedHotKeys.empty());
}

TEST_F(HotKeyRun, CalculateErrorLeavesTheSelectionAfterYes) {
    h.desktop.queueAnswer(platform::MessageAnswer::Yes);
    press('K');
    ASSERT_EQ(h.desktop.boxes().size(), 1u);
    EXPECT_EQ(editor->text(), "Betrag: 100 Euro");
    EXPECT_EQ(editor->pastes(), 1);
    EXPECT_EQ(h.desktop.clipboardText(), "vorher");
}

TEST_F(HotKeyRun, CalculateErrorNoEndsTheProgramWithTheClipboardBack) {
    h.desktop.setClipboardFormat("application/x-zeichnung", "PNG");
    const auto before = h.desktop.clipboardFormats();
    h.desktop.queueAnswer(platform::MessageAnswer::No);
    EXPECT_THROW(press('K'), ProgramEnded);
    EXPECT_TRUE(h.desktop.ended());
    EXPECT_EQ(h.desktop.clipboardFormats(), before);
    EXPECT_TRUE(h.desktop.keysDown().empty());
    runEndCleanups(); // nothing is left registered
    EXPECT_EQ(h.desktop.clipboardFormats(), before);
}

// Whatever goes wrong before the paste, the selection stays exactly as it was: the paste finds the copied text
// itself (not an amount), or no paste goes out at all (no copy); never the user's text, a clipboard manager's or an
// empty text.
struct NoResultCase {
    const char* name;
    std::size_t selectStart;
    std::size_t selectLength;
    bool manager;
    int fetchDelay = 0; // the editor looks at the clipboard this long after Ctrl+V
};

class NoResult : public HotKeyRun, public ::testing::WithParamInterface<NoResultCase> {};

TEST_P(NoResult, SelectionUnchangedAndClipboardBack) {
    if (GetParam().manager) {
        h.desktop.runClipboardManager();
    }
    editor->select(GetParam().selectStart, GetParam().selectLength);
    h.desktop.setFetchDelay(GetParam().fetchDelay);
    const auto start = h.desktop.now();
    press('D');
    EXPECT_EQ(editor->text(), "Betrag: 100 Euro");
    EXPECT_EQ(editor->pastes(), GetParam().selectLength > 0 ? 1 : 0);
    EXPECT_EQ(h.desktop.clipboardText(), "vorher");
    EXPECT_TRUE(h.desktop.keysDown().empty());
    EXPECT_LE(h.desktop.now() - start, 100 + RoundTrip::kCopyWaitMs + GetParam().fetchDelay + 5);
}

INSTANTIATE_TEST_SUITE_P(Cases, NoResult,
                         ::testing::Values(NoResultCase{"NothingSelected", 0, 0, false},
                                           NoResultCase{"NothingSelectedWithManager", 0, 0, true},
                                           NoResultCase{"NotAnAmount", 0, 7, false},
                                           NoResultCase{"NotAnAmountWithManager", 0, 7, true},
                                           NoResultCase{"NothingSelectedLateLook", 0, 0, false, 200},
                                           NoResultCase{"NotAnAmountLateLookWithManager", 0, 7, true, 200}),
                         [](const auto& p) { return std::string(p.param.name); });

TEST_F(HotKeyRun, NoCopyMeansNoFurtherKeys) {
    h.state.scriptText = "PRESS \"STRG+67\"\r\nCALCULATE\r\nPRESS \"STRG+86\"\r\nPRESS \"13\"\r\n";
    editor->select(0, 0);
    h.desktop.runClipboardManager(); // it puts "vorher" back on the emptied clipboard at once
    press('D');
    EXPECT_EQ(h.desktop.transcript(), "Alt up, Ctrl up, Shift up, Ctrl down, C down (ext), pump, C up, Ctrl up, pump");
    EXPECT_EQ(editor->pastes(), 0);
    EXPECT_EQ(editor->text(), "Betrag: 100 Euro");
    EXPECT_EQ(h.desktop.clipboardText(), "vorher");
}

// The copy is awaited, not slept for: the shipped scripts need no pause.
struct CopyCase {
    const char* name;
    int copyDelay;
    int fetchDelay;
    int fetchRequests;
    int fetchGap;
    bool manager;
};

class CopyAndPaste : public HotKeyRun, public ::testing::WithParamInterface<CopyCase> {};

TEST_P(CopyAndPaste, ConvertedWithTheClipboardBack) {
    const CopyCase& c = GetParam();
    h.state.scriptText = "PRESS \"STRG+67\"\r\nCALCULATE\r\nPRESS \"STRG+86\"\r\n";
    h.desktop.setClipboardFormat("application/x-zeichnung", "PNG");
    if (c.manager) {
        h.desktop.runClipboardManager();
    }
    const auto before = h.desktop.clipboardFormats();
    h.desktop.setCopyDelay(c.copyDelay);
    h.desktop.setFetchDelay(c.fetchDelay);
    h.desktop.setFetchSteps(c.fetchRequests, c.fetchGap);
    const auto start = h.desktop.now();
    press('D');
    EXPECT_EQ(editor->text(), "Betrag: 195,58 Euro");
    EXPECT_EQ(h.desktop.clipboardFormats(), before);
    EXPECT_EQ(h.desktop.totalSlept(), 0);
    // no time spent beyond what the application took and the quiet time that tells its paste is over
    EXPECT_LE(h.desktop.now() - start, c.copyDelay + c.fetchDelay + (c.fetchRequests - 1) * c.fetchGap +
                                           platform::Clipboard::Traits{}.pasteQuietMs + 2);
}

INSTANTIATE_TEST_SUITE_P(Targets, CopyAndPaste,
                         ::testing::Values(CopyCase{"Immediate", 0, 0, 1, 0, false},
                                           CopyCase{"SlowCopy", 180, 0, 1, 0, false},
                                           CopyCase{"LateFetch", 0, 300, 1, 0, false},
                                           CopyCase{"SeveralRequests", 5, 10, 4, 30, false},
                                           CopyCase{"SlowCopyWithManager", 60, 0, 1, 0, true},
                                           CopyCase{"SeveralRequestsWithManager", 5, 10, 3, 40, true}),
                         [](const auto& p) { return std::string(p.param.name); });

TEST_F(HotKeyRun, ShippedTextScriptNeedsNoPause) {
    h.copyShippedData();
    ReadKeypress(h.state);
    ASSERT_TRUE(h.desktop.boxes().empty());
    h.desktop.setCopyDelay(40);
    press('D');
    EXPECT_EQ(editor->text(), "Betrag: 195,58 Euro");
    EXPECT_EQ(h.desktop.totalSlept(), 0);
    EXPECT_EQ(h.desktop.clipboardText(), "vorher");
}

TEST_F(HotKeyRun, ClipboardFailingAtTheCopySendsNoPaste) {
    h.state.scriptText = "PRESS \"STRG+67\"\r\nCALCULATE\r\nPRESS \"STRG+86\"\r\n";
    int operations = 0;
    h.desktop.onKeyEvent([&](std::uint8_t key, std::uint32_t flags) {
        if (key == 'C' && flags == platform::kKeyEventKeyUp && operations++ == 0) {
            h.desktop.failClipboard(1); // reading the copy fails
        }
    });
    press('D');
    EXPECT_EQ(editor->pastes(), 0);
    EXPECT_EQ(editor->text(), "Betrag: 100 Euro");
    EXPECT_EQ(h.desktop.clipboardText(), "vorher");
}

TEST_F(HotKeyRun, ClipboardFailuresSkipSteps) {
    h.desktop.failClipboard(1); // saving fails: the script still runs
    press('D');
    EXPECT_EQ(editor->text(), "Betrag: 195,58 Euro");
    EXPECT_EQ(h.desktop.clipboardText(), std::nullopt);
}

struct ScriptCase {
    const char* script;
    const char* transcript;
};

class ScriptLines : public HotKeyRun, public ::testing::WithParamInterface<ScriptCase> {};

TEST_P(ScriptLines, Interpreted) {
    h.state.scriptText = GetParam().script;
    press('D');
    EXPECT_EQ(h.desktop.transcript(), GetParam().transcript) << GetParam().script;
    EXPECT_EQ(h.desktop.clipboardText(), "vorher");
}

INSTANTIATE_TEST_SUITE_P(
    Commands, ScriptLines,
    ::testing::Values(
        ScriptCase{"SLEEP \"4999\"\r\n", "sleep 4999, pump"}, ScriptCase{"SLEEP \"5000\"\r\n", "pump"},
        ScriptCase{"SLEEP \"0.4\"\r\n", "sleep 0, pump"}, ScriptCase{"SLEEP \"-5\"\r\n", "pump"},
        ScriptCase{"SLEEP 100\r\n", "pump"}, // no quotes: the whole line is the argument and reads as 0
        ScriptCase{"sleep \"20\" // kurz\r\n", "sleep 20, pump"},
        ScriptCase{"Sleep\"20\r\n", "sleep 20, pump"}, // an unmatched quote: all after it
        ScriptCase{"PRESS \"\"\r\n", ""},              // empty argument: nothing, not even the pump
        ScriptCase{"press \"113\"\r\n", "Alt up, Ctrl up, Shift up, F2 down (ext), pump, F2 up, pump"},
        ScriptCase{"PRESS 113\r\n", "Alt up, Ctrl up, Shift up, pump, pump"}, // "PRESS 113" reads as 0: no key
        ScriptCase{"PRESS \"STRG+300\"\r\nSLEEP \"1\"\r\n", "sleep 1, pump"}, // a bad code presses nothing
        ScriptCase{"   SLEEP \"1\"   \r\n  \r\nSLEEP \"2\"\r\n", "sleep 1, pump, sleep 2, pump"},
        ScriptCase{"SLEEP \"1\"\r\nSLEEP \"2\"", ""}, // a script not ending in CR LF runs no line
        ScriptCase{"SLEEPY \"3\"\r\nPRESSING \"113\"\r\nCALCULATED\r\nREM \"113\"\r\n",
                   "sleep 3, pump, Alt up, Ctrl up, Shift up, F2 down (ext), pump, F2 up, pump"},
        ScriptCase{"", ""}),
    [](const auto& p) { return std::to_string(p.index); });

} // namespace
} // namespace valumat
