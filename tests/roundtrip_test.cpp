// The round trip's rules on the fake desktop, which reports owner changes and requests as the real clipboards do:
// which change is the copy, when the paste is over, giving up once, offering again, and what comes back.
#include "runtime/roundtrip.h"

#include "platform/fake/fakedesktop.h"

#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <string>
#include <vector>

namespace valumat {
namespace {

using fake::FakeDesktop;
using fake::FakeEditor;

constexpr const char* kNoCopy = "keine Kopie der Auswahl erhalten, nichts eingefügt";
constexpr const char* kNotHandedOver = "die Anwendung hat den kopierten Text nicht herausgegeben";
constexpr const char* kNotFetched = "das Ergebnis wurde nicht abgeholt";

// Ctrl+<key> through the desktop's input, as the key sender sends it.
void ctrl(FakeDesktop& desktop, std::uint8_t key) {
    auto* keys = desktop.platform().keyEvents;
    keys->keyEvent(17, 0);
    keys->keyEvent(key, 0);
    keys->keyEvent(key, platform::kKeyEventKeyUp);
    keys->keyEvent(17, platform::kKeyEventKeyUp);
}

struct Conversion {
    FakeDesktop desktop;
    std::shared_ptr<FakeEditor> editor = std::make_shared<FakeEditor>("Preis 100 DM");
    std::unique_ptr<RoundTrip> trip;

    Conversion() {
        desktop.setForeground(editor);
        editor->select(6, 3);
        desktop.setClipboardText("user's own");
        desktop.setClipboardFormat("application/x-zeichnung", "PNG");
    }
    void begin() {
        trip = std::make_unique<RoundTrip>(*desktop.platform().clipboard, [] { return false; });
        trip->begin();
    }
    std::string copy() {
        trip->keysGoingOut();
        ctrl(desktop, 'C');
        return trip->copiedText();
    }
    void paste(const std::string& result) {
        trip->offer(result);
        trip->awaitPaste();
        trip->keysGoingOut();
        ctrl(desktop, 'V');
        trip->awaitPaste();
    }
    // The whole conversion; returns the editor's text afterwards.
    std::string run() {
        begin();
        const std::string copied = copy();
        if (!copied.empty()) {
            paste(copied == "100" ? "195,58" : copied);
        }
        trip->finish();
        desktop.platform().sleeper->sleep(1000); // the application catches up with what is left
        return editor->text();
    }
    bool usersContentBack() const {
        return desktop.clipboardFormats() ==
               std::map<std::string, std::string>{{"application/x-zeichnung", "PNG"}, {"text/plain", "user's own"}};
    }
};

// Which change is the copy: a clipboard manager or a history at work, origins known or not.
TEST(RoundTripCopy, OnlyTheApplicationsCopyCounts) {
    struct Case {
        const char* name;
        bool manager;
        bool monitor;
        bool originsUnknown;
    };
    for (const Case& c : {Case{"plain", false, false, false}, Case{"manager", true, false, false},
                          Case{"monitor", false, true, false}, Case{"manager, origins unknown", true, false, true},
                          Case{"manager and monitor, origins unknown", true, true, true}}) {
        SCOPED_TRACE(c.name);
        Conversion v;
        v.desktop.setOriginsUnknown(c.originsUnknown);
        if (c.manager) {
            v.desktop.runClipboardManager(); // takes the emptied clipboard back at once, before our keys
        }
        if (c.monitor) {
            v.desktop.runClipboardMonitor();
        }
        v.desktop.setCopyDelay(20);
        EXPECT_EQ(v.run(), "Preis 195,58 DM");
        EXPECT_TRUE(v.trip->copyRecognised());
        EXPECT_TRUE(v.trip->fetched());
        EXPECT_EQ(v.desktop.clipboardNotes().size(), 0u);
        if (!c.manager) { // a manager holds the user's content as its own: the same formats, its ownership
            EXPECT_TRUE(v.usersContentBack());
        }
    }
}

// A conversion that comes to nothing says why, once, within its bound, and leaves the document alone.
TEST(RoundTripCopy, NothingToConvertIsSaidOnceWithinItsBound) {
    struct Case {
        const char* name;
        bool selection;
        int handOver;
        const char* note;
        int bound;
    };
    for (const Case& c : {Case{"nothing selected", false, 0, kNoCopy, RoundTrip::kCopyWaitMs},
                          Case{"the text never handed over", true, -1, kNotHandedOver, RoundTrip::kReadTextMs}}) {
        SCOPED_TRACE(c.name);
        Conversion v;
        if (!c.selection) {
            v.editor->select(0, 0);
        }
        v.desktop.setTextHandOverDelay(c.handOver);
        v.begin();
        const auto start = v.desktop.now();
        EXPECT_EQ(v.copy(), "");
        EXPECT_EQ(v.desktop.now() - start, c.bound);
        v.trip->finish();
        EXPECT_EQ(v.editor->text(), "Preis 100 DM");
        EXPECT_EQ(v.desktop.clipboardNotes(), std::vector<std::string>{c.note});
        EXPECT_TRUE(v.usersContentBack());
    }
}

// The paste is over once the target asked for the text and then stayed quiet; only then the user's content comes
// back. A request before our keys is no paste.
TEST(RoundTripPaste, TheUsersContentComesBackOnlyAfterThePaste) {
    struct Case {
        const char* name;
        int fetchDelay, steps, gap;
    };
    for (const Case& c : {Case{"at once", 0, 1, 0}, Case{"late", 300, 1, 0}, Case{"in several requests", 5, 4, 30},
                          Case{"slow requests", 0, 3, 35}}) {
        SCOPED_TRACE(c.name);
        Conversion v;
        v.desktop.runClipboardMonitor(); // reads our result before the paste keys: refused, not the paste
        v.desktop.setFetchDelay(c.fetchDelay);
        v.desktop.setFetchSteps(c.steps, c.gap);
        v.begin();
        ASSERT_EQ(v.copy(), "100");
        const auto start = v.desktop.now();
        v.paste("195,58");
        const auto lastRequest = c.fetchDelay + (c.steps - 1) * c.gap;
        EXPECT_EQ(v.desktop.now() - start, lastRequest + platform::Clipboard::Traits{}.pasteQuietMs);
        v.trip->finish();
        EXPECT_EQ(v.editor->text(), "Preis 195,58 DM");
        EXPECT_TRUE(v.usersContentBack());
    }
}

// Enter after the paste (a spreadsheet that pastes once more) finds the result, not the user's content.
TEST(RoundTripPaste, KeysAfterThePasteGetTheLaterPasteWindow) {
    FakeDesktop desktop;
    auto sheet = std::make_shared<fake::FakeSpreadsheet>(std::vector<std::string>{"100", ""});
    sheet->setEnterPastes(true);
    desktop.setForeground(sheet);
    desktop.setClipboardText("user's own");
    desktop.setInputLatency(30);
    RoundTrip trip(*desktop.platform().clipboard, [] { return false; });
    trip.begin();
    trip.keysGoingOut();
    ctrl(desktop, 'C');
    ASSERT_EQ(trip.copiedText(), "100\r\n");
    trip.offer("195,58");
    trip.keysGoingOut();
    ctrl(desktop, 'V');
    trip.awaitPaste();
    trip.keysGoingOut();
    desktop.platform().keyEvents->keyEvent(13, 0);
    desktop.platform().keyEvents->keyEvent(13, platform::kKeyEventKeyUp);
    const auto start = desktop.now();
    trip.awaitPaste();
    EXPECT_GE(desktop.now() - start, platform::Clipboard::Traits{}.laterPasteMs);
    trip.finish();
    desktop.platform().sleeper->sleep(500);
    EXPECT_EQ(sheet->cell(0), "195,58");
    EXPECT_EQ(desktop.clipboardText(), "user's own");
}

// A target that does not paste (a read-only text) is waited for once, and said once.
TEST(RoundTripPaste, ATargetThatNeverPastesIsGivenUpOnce) {
    Conversion v;
    v.desktop.setFetchDelay(5000);
    v.begin();
    ASSERT_EQ(v.copy(), "100");
    auto start = v.desktop.now();
    v.paste("195,58");
    EXPECT_EQ(v.desktop.now() - start, RoundTrip::kFetchWaitMs);
    v.trip->keysGoingOut();
    start = v.desktop.now();
    v.trip->awaitPaste();
    EXPECT_EQ(v.desktop.now(), start);
    v.trip->finish();
    EXPECT_EQ(v.desktop.clipboardNotes(), std::vector<std::string>{kNotFetched});
    EXPECT_TRUE(v.usersContentBack());
}

// Another program takes the clipboard between our offer and the paste: the result is offered again (a few times at
// most: a manager that takes every offer is not fought without end), so the paste never finds that program's
// content (nor the user's, once it is back). The user's content comes back whatever happened.
TEST(RoundTripPaste, TakenBeforeThePasteIsOfferedAgain) {
    enum class Taker { Program, Manager, Application };
    struct Case {
        const char* name;
        Taker taker;
        const char* pasted;
        int reoffers;
    };
    for (const Case& c :
         {Case{"another program, once", Taker::Program, "Preis 195,58 DM", 1},
          Case{"a manager taking every offer", Taker::Manager, "Preis 195,58 DM", RoundTrip::kMaxReoffers},
          Case{"the application copying again", Taker::Application, "Preis 195,58 DM", 1}}) {
        SCOPED_TRACE(c.name);
        Conversion v;
        v.desktop.setInputLatency(5);
        v.begin();
        ASSERT_EQ(v.copy(), "100");
        if (c.taker == Taker::Manager) {
            v.desktop.runClipboardManager(true);
        }
        bool taken = false;
        v.desktop.onKeyEvent([&](std::uint8_t key, std::uint32_t flags) {
            if (key != 'V' || flags != 0 || taken) {
                return;
            }
            taken = true;
            if (c.taker == Taker::Program) {
                v.desktop.setClipboardText("fremd");
            } else if (c.taker == Taker::Application) {
                v.desktop.appCopies("100");
            }
        });
        v.paste("195,58");
        v.desktop.onKeyEvent(nullptr);
        v.trip->finish();
        v.desktop.platform().sleeper->sleep(100);
        EXPECT_EQ(v.editor->text(), c.pasted);
        EXPECT_EQ(v.trip->reoffers(), c.reoffers);
        EXPECT_TRUE(v.usersContentBack());
    }
}

// Clipboard histories leave every result out (it carries the hint); the restore adds no entry of its own: the
// user's content is the newest entry again, and content the user had marked for histories keeps its mark.
TEST(RoundTripHistory, ResultsStayOutAndTheUsersHintStays) {
    using Formats = std::map<std::string, std::string>;
    const Formats hint{{platform::kHistoryHintFormat, platform::kHistoryHintValue}};
    struct Case {
        const char* name;
        bool secret; // the user's content came from a password manager
        bool originsUnknown;
    };
    for (const Case& c : {Case{"the user's text", false, false}, Case{"the user's text, origins unknown", false, true},
                          Case{"a password", true, false}, Case{"a password, origins unknown", true, true}}) {
        SCOPED_TRACE(c.name);
        Conversion v;
        v.desktop.setOriginsUnknown(c.originsUnknown);
        Formats users{{"text/plain", "MY OWN CLIP"}};
        v.desktop.setClipboardText("MY OWN CLIP");
        if (c.secret) {
            users.insert(hint.begin(), hint.end());
            v.desktop.setClipboardFormat(platform::kHistoryHintFormat, platform::kHistoryHintValue);
        }
        v.desktop.runClipboardMonitor();
        std::vector<Formats> offered, expectedOffers;
        v.desktop.onKeyEvent([&](std::uint8_t key, std::uint32_t flags) {
            if (key == 'V' && flags == 0) {
                offered.push_back(v.desktop.clipboardFormats());
            }
        });
        for (const char* amount : {"100", "250", "12,5"}) {
            v.editor->setText(std::string("Preis ") + amount + " DM");
            v.editor->select(6, std::string(amount).size());
            v.begin();
            const std::string copied = v.copy();
            ASSERT_EQ(copied, amount);
            v.paste("Ergebnis " + copied);
            expectedOffers.push_back(Formats{{"text/plain", "Ergebnis " + copied}});
            expectedOffers.back().insert(hint.begin(), hint.end());
            v.trip->finish();
            EXPECT_EQ(v.editor->text(), "Preis Ergebnis " + copied + " DM");
            EXPECT_EQ(v.desktop.clipboardFormats(), users);
        }
        v.desktop.onKeyEvent(nullptr);
        EXPECT_EQ(offered, expectedOffers);
        // The copies of the selection are the application's own content: the history may keep them.
        std::vector<std::string> expected{"100", "250", "12,5"};
        if (!c.secret) {
            expected.push_back("MY OWN CLIP");
        }
        EXPECT_EQ(v.desktop.clipboardHistory(), expected);
    }
}

} // namespace
} // namespace valumat
