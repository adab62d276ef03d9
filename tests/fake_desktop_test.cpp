#include "platform/fake/fakedesktop.h"
#include "runtime/errors.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace valumat::fake {
namespace {

using platform::kKeyEventExtended;
using platform::kKeyEventKeyUp;
using platform::MessageAnswer;
using platform::MessageButtons;
using platform::WindowHandle;

// Sends Ctrl+<vk> the way the key sender does: press, pump, release.
void ctrlCombination(FakeDesktop& desktop, std::uint8_t vk) {
    auto p = desktop.platform();
    p.keyEvents->keyEvent(17, 0);
    p.keyEvents->keyEvent(vk, kKeyEventExtended);
    p.pump->pumpMessages();
    p.keyEvents->keyEvent(vk, kKeyEventKeyUp);
    p.keyEvents->keyEvent(17, kKeyEventKeyUp);
    p.pump->pumpMessages();
}

void tap(FakeDesktop& desktop, std::uint8_t vk) {
    desktop.platform().keyEvents->keyEvent(vk, 0);
    desktop.platform().keyEvents->keyEvent(vk, kKeyEventKeyUp);
}

TEST(FakeDesktopKeys, NamesEveryKeyInTheTranscript) {
    FakeDesktop desktop;
    for (int vk : {16, 17, 18, 13, 9,  8,  27, 32, 36,  35,  37,  38,  39, 40,
                   45, 46, 33, 34, 48, 57, 65, 90, 112, 135, 111, 136, 255}) {
        desktop.platform().keyEvents->keyEvent(static_cast<std::uint8_t>(vk), 0);
    }
    EXPECT_EQ(desktop.transcript(), "Shift down, Ctrl down, Alt down, Enter down, Tab down, Back down, Esc down, "
                                    "Space down, Home down, End down, Left down, Up down, Right down, Down down, "
                                    "Ins down, Del down, PgUp down, PgDn down, 0 down, 9 down, A down, Z down, "
                                    "F1 down, F24 down, VK111 down, VK136 down, VK255 down");
    desktop.clearTranscript();
    auto p = desktop.platform();
    p.keyEvents->keyEvent(86, kKeyEventExtended);
    p.pump->pumpMessages();
    p.keyEvents->keyEvent(86, kKeyEventKeyUp | kKeyEventExtended);
    p.sleeper->sleep(200);
    p.keyEvents->keyEvent(86, kKeyEventKeyUp);
    EXPECT_EQ(desktop.transcript(), "V down (ext), pump, V up (ext), sleep 200, V up");
    EXPECT_EQ(desktop.now(), 200);
    EXPECT_EQ(desktop.totalSlept(), 200);
    EXPECT_EQ(desktop.keysDown().size(), 27u); // the keys pressed first, not V
}

TEST(FakeDesktopKeys, RejectedKeysThrowWithoutEffect) {
    FakeDesktop desktop;
    desktop.failKey(86);
    for (std::uint8_t vk : {0, 86}) {
        try {
            desktop.platform().keyEvents->keyEvent(vk, 0);
            ADD_FAILURE() << "no error for " << int{vk};
        } catch (const RuntimeError& e) {
            EXPECT_EQ(e.description(), err::kInvalidProcedureCall);
        }
    }
    EXPECT_EQ(desktop.transcript(), "");
    EXPECT_TRUE(desktop.keysDown().empty());
}

TEST(FakeDesktopHotKeys, PressPostsToTheProcedureCurrentAtDelivery) {
    FakeDesktop desktop;
    auto p = desktop.platform();
    const WindowHandle w = desktop.createWindow();
    EXPECT_EQ(w, 1u);
    ASSERT_TRUE(p.hotKeys->registerHotKey(w, 7, platform::kModControl, 49));
    EXPECT_FALSE(desktop.pressHotKey(0, 49));
    ASSERT_TRUE(desktop.pressHotKey(platform::kModControl, 49));

    std::vector<std::intptr_t> ids;
    auto previous = p.windowHook->setWindowProc(w, [&](WindowHandle, unsigned msg, std::intptr_t wp, std::intptr_t) {
        EXPECT_EQ(msg, platform::kWmHotKey);
        ids.push_back(wp);
        return std::intptr_t{0};
    });
    EXPECT_EQ(previous(w, 1, 0, 0), 0); // the initial procedure
    EXPECT_TRUE(ids.empty());           // nothing before the queue is pumped
    desktop.runUntilIdle();
    EXPECT_EQ(ids, (std::vector<std::intptr_t>{7}));
    EXPECT_EQ(desktop.transcript(), ""); // runUntilIdle is not the program's pump
    EXPECT_THROW(p.windowHook->setWindowProc(99, nullptr), RuntimeError);
}

TEST(FakeDesktopHotKeys, RefusesTakenAndDuplicateRegistrations) {
    FakeDesktop desktop;
    auto* hk = desktop.platform().hotKeys;
    desktop.takenByOtherProgram(2, 50);
    ASSERT_TRUE(hk->registerHotKey(1, 1, 2, 49));
    EXPECT_FALSE(hk->registerHotKey(1, 2, 2, 49)) << "same combination";
    EXPECT_FALSE(hk->registerHotKey(1, 1, 2, 51)) << "same window and id";
    EXPECT_FALSE(hk->registerHotKey(1, 3, 2, 50)) << "held by another program";
    EXPECT_TRUE(hk->registerHotKey(1, 3, 0, 49)) << "other modifiers";
    EXPECT_EQ(desktop.registeredCount(), 2u);
    EXPECT_TRUE(hk->unregisterHotKey(1, 1));
    EXPECT_FALSE(hk->unregisterHotKey(1, 1));
    EXPECT_FALSE(desktop.isRegistered(2, 49));
    EXPECT_TRUE(hk->registerHotKey(1, 2, 2, 49));
}

TEST(FakeDesktopHotKeys, NestedPumpDeliversMessagesPostedMeanwhile) {
    FakeDesktop desktop;
    auto p = desktop.platform();
    const WindowHandle w = desktop.createWindow();
    std::string log;
    p.windowHook->setWindowProc(w, [&](WindowHandle, unsigned, std::intptr_t id, std::intptr_t) {
        log += "<" + std::to_string(id);
        if (id == 1) {
            desktop.postMessage(w, platform::kWmHotKey, 2, 0);
            p.pump->pumpMessages();
        }
        log += ">";
        return std::intptr_t{0};
    });
    desktop.postMessage(w, platform::kWmHotKey, 1, 0);
    p.pump->pumpMessages();
    EXPECT_EQ(log, "<1<2>>");
    EXPECT_EQ(desktop.pumpCount(), 2);
}

TEST(FakeDesktopAtoms, CaseInsensitiveReuseAndDeletion) {
    FakeDesktop desktop;
    auto* atoms = desktop.platform().atoms;
    const auto a = atoms->globalAddAtom("Valumat1");
    const auto b = atoms->globalAddAtom("Valumat2");
    EXPECT_EQ(a, 0xC000);
    EXPECT_EQ(b, 0xC001);
    EXPECT_EQ(atoms->globalAddAtom("VALUMAT1"), a);
    atoms->globalDeleteAtom(a);
    EXPECT_EQ(desktop.atomName(a), "Valumat1"); // still used once
    atoms->globalDeleteAtom(a);
    EXPECT_EQ(desktop.atomName(a), std::nullopt);
    atoms->globalDeleteAtom(0x1234); // unknown: ignored
    EXPECT_EQ(desktop.atomCount(), 1u);
}

TEST(FakeEditorTest, CopiesAndPastesThroughSyntheticKeys) {
    FakeDesktop desktop;
    auto editor = std::make_shared<FakeEditor>("Preis: 100 DM");
    desktop.setForeground(editor);
    editor->select(7, 3);
    ctrlCombination(desktop, 67);
    EXPECT_EQ(desktop.clipboardText(), "100");
    EXPECT_EQ(desktop.clipboardOwner(), "app");
    desktop.platform().clipboard->offerText("51,13");
    ctrlCombination(desktop, 86);
    EXPECT_EQ(editor->text(), "Preis: 51,13 DM");
    EXPECT_EQ(editor->selectedText(), "");
    editor->select(0, 0);
    ctrlCombination(desktop, 67); // empty selection: nothing copied
    tap(desktop, 86);             // V without Ctrl: ignored
    desktop.runUntilIdle();
    EXPECT_EQ(editor->copies(), 1);
    EXPECT_EQ(editor->pastes(), 1);
}

TEST(FakeEditorTest, LateFetchPastesWhatIsOnTheClipboardThen) {
    for (bool waitFirst : {false, true}) {
        FakeDesktop desktop;
        auto editor = std::make_shared<FakeEditor>("100");
        editor->selectAll();
        desktop.setForeground(editor);
        desktop.setFetchDelay(50);
        desktop.setClipboardText("user text");
        auto* clip = desktop.platform().clipboard;
        auto saved = clip->save();
        clip->offerText("195,58");
        ctrlCombination(desktop, 86);
        EXPECT_EQ(editor->text(), "100") << "fetched at once";
        if (waitFirst) {
            desktop.platform().sleeper->sleep(50);
        }
        clip->restore(*saved);
        desktop.platform().sleeper->sleep(100);
        EXPECT_EQ(editor->text(), waitFirst ? "195,58" : "user text");
        EXPECT_EQ(desktop.clipboardText(), "user text");
    }
}

TEST(FakeEditorTest, InputLatencyDelaysHandlingUntilSleep) {
    FakeDesktop desktop;
    auto editor = std::make_shared<FakeEditor>("42");
    editor->selectAll();
    desktop.setForeground(editor);
    desktop.setInputLatency(30);
    ctrlCombination(desktop, 67);
    EXPECT_EQ(editor->copies(), 0);
    desktop.runUntilIdle();
    EXPECT_EQ(editor->copies(), 0);
    desktop.platform().sleeper->sleep(30);
    EXPECT_EQ(editor->copies(), 1);
    EXPECT_EQ(desktop.now(), 30);
}

TEST(FakeSpreadsheetTest, EditCopyPasteCommitSequence) {
    FakeDesktop desktop;
    auto sheet = std::make_shared<FakeSpreadsheet>(std::vector<std::string>{"12,50", "x"});
    desktop.setForeground(sheet);
    auto p = desktop.platform();
    ctrlCombination(desktop, 67);
    EXPECT_EQ(desktop.clipboardText(), "12,50\r\n");
    tap(desktop, 113); // F2
    p.keyEvents->keyEvent(16, 0);
    tap(desktop, 36); // Shift+Home selects everything
    p.keyEvents->keyEvent(16, kKeyEventKeyUp);
    ctrlCombination(desktop, 67);
    EXPECT_TRUE(sheet->editing());
    EXPECT_EQ(desktop.clipboardText(), "12,50");
    p.clipboard->offerText("24,45");
    ctrlCombination(desktop, 86);
    EXPECT_EQ(sheet->editText(), "24,45");
    tap(desktop, 13);
    desktop.runUntilIdle();
    EXPECT_FALSE(sheet->editing());
    EXPECT_EQ(sheet->cell(0), "24,45");
    EXPECT_EQ(sheet->currentRow(), 1u);
    // Home without Shift collapses the selection: the paste inserts; Escape throws the edit away.
    tap(desktop, 113);
    tap(desktop, 36);
    ctrlCombination(desktop, 86);
    EXPECT_EQ(sheet->editText(), "24,45x");
    tap(desktop, 27);
    desktop.runUntilIdle();
    EXPECT_EQ(sheet->cell(1), "x");
    EXPECT_EQ(sheet->cell(5), "");
}

TEST(FakeSpreadsheetTest, InputWaitsForADelayedPaste) {
    FakeDesktop desktop;
    auto sheet = std::make_shared<FakeSpreadsheet>(std::vector<std::string>{"1"});
    desktop.setForeground(sheet);
    desktop.setFetchDelay(40);
    desktop.platform().clipboard->offerText("2");
    tap(desktop, 113);
    ctrlCombination(desktop, 86);
    tap(desktop, 13); // Enter arrives before the fetch is due
    desktop.runUntilIdle();
    EXPECT_TRUE(sheet->editing());
    desktop.platform().sleeper->sleep(40);
    EXPECT_FALSE(sheet->editing());
    EXPECT_EQ(sheet->cell(0), "12");
}

TEST(FakeDesktopBoxes, QueuedAnswersThenDefaultButtons) {
    using platform::DefaultButton;
    struct Case {
        MessageButtons buttons;
        DefaultButton defaultButton;
        MessageAnswer answer;
    };
    FakeDesktop desktop;
    desktop.onMessageBox([&](const ShownBox& box) {
        if (box.text == "0") {
            desktop.queueAnswer(MessageAnswer::No); // answered from the queue, not by the default Yes
        }
    });
    const std::vector<Case> cases = {{MessageButtons::YesNo, DefaultButton::First, MessageAnswer::No},
                                     {MessageButtons::YesNo, DefaultButton::First, MessageAnswer::Yes},
                                     {MessageButtons::YesNo, DefaultButton::Second, MessageAnswer::No},
                                     {MessageButtons::Ok, DefaultButton::Second, MessageAnswer::Ok}};
    for (std::size_t i = 0; i < cases.size(); ++i) {
        EXPECT_EQ(desktop.platform().messageBoxes->messageBox(std::to_string(i), "T", platform::MessageIcon::Question,
                                                              cases[i].buttons, cases[i].defaultButton),
                  cases[i].answer);
        ASSERT_EQ(desktop.boxes().size(), i + 1);
        EXPECT_EQ(desktop.boxes()[i].answer, cases[i].answer);
    }
}

TEST(FakeDesktopClipboard, FailuresSnapshotsAndOwnership) {
    FakeDesktop desktop;
    auto* clip = desktop.platform().clipboard;
    desktop.setClipboardText("alt");
    desktop.setClipboardFormat("application/x-zeichnung", "PNG");
    desktop.failClipboard(2);
    for (int i = 0; i < 2; ++i) {
        try {
            clip->offerText("neu");
            ADD_FAILURE() << "no error";
        } catch (const RuntimeError& e) {
            EXPECT_EQ(e.description(), err::kPermissionDenied);
        }
    }
    EXPECT_EQ(desktop.clipboardText(), "alt");
    auto saved = clip->save();
    clip->empty();
    EXPECT_EQ(desktop.clipboardOwner(), "");
    EXPECT_EQ(clip->readText(100), "");
    clip->offerText("neu");
    EXPECT_TRUE(clip->isOurs());
    EXPECT_EQ(desktop.clipboardFormats(),
              (std::map<std::string, std::string>{{"text/plain", "neu"},
                                                  {platform::kHistoryHintFormat, platform::kHistoryHintValue}}));
    clip->restore(*saved);
    EXPECT_EQ(desktop.clipboardFormats(),
              (std::map<std::string, std::string>{{"application/x-zeichnung", "PNG"}, {"text/plain", "alt"}}));
}

TEST(FakeDesktopProcess, TrayAndEnd) {
    FakeDesktop desktop;
    auto p = desktop.platform();
    int clicks = 0;
    p.tray->setMouseHandler([&](int m) { clicks += m; });
    p.tray->add("Valumat");
    p.tray->add("anders"); // refused while shown
    desktop.trayMouse(platform::kTrayRightButtonUp);
    EXPECT_EQ(desktop.trayTooltip(), "Valumat");
    EXPECT_EQ(desktop.trayAdds(), 2);
    EXPECT_EQ(clicks, platform::kTrayRightButtonUp);
    try {
        p.process->endProgram(3);
        ADD_FAILURE() << "endProgram returned";
    } catch (const ProgramEnded& e) {
        EXPECT_EQ(e.status, 3);
    }
    EXPECT_TRUE(desktop.ended());
    EXPECT_EQ(desktop.endStatus(), 3);
}

} // namespace
} // namespace valumat::fake
