#include "runtime/dispatch.h"
#include "runtime/hotkeys.h"
#include "testutil.h"

#include <gtest/gtest.h>

namespace valumat {
namespace {

using platform::kModControl;

TEST(HotKeyCode, FromTheSecondKey) {
    struct C {
        const char* key;
        int code;
    };
    for (const C& c : {C{"D", 68}, C{"0", 48}, C{"9", 57}, C{"Z", 90}, C{"F1", 112}, C{"F5", 116}, C{"F12", 123},
                       C{"", 45}, C{"-", 45}, C{"Ä", 196}, C{"FX", 111}}) {
        EXPECT_EQ(hotKeyCode(c.key), c.code) << c.key;
    }
}

class Registration : public ::testing::Test {
protected:
    KeyBinding& slot(int i, const std::string& first, const std::string& second) {
        KeyBinding& b = h.state.bindings[i];
        b.sourceCurrency = "Euro";
        b.targetCurrency = "Euro";
        b.firstKey = first;
        b.secondKey = second;
        return b;
    }
    test::Harness h;
};

TEST_F(Registration, OneHotKeyPerBindingUnderItsAtom) {
    slot(0, "STRG", "D");
    slot(1, "-", "F5");
    slot(2, "STRG", "-");
    slot(200, "STRG", "9");
    SetHotKeys(h.state);
    EXPECT_TRUE(h.desktop.isRegistered(kModControl, 'D'));
    EXPECT_TRUE(h.desktop.isRegistered(0, 116)); // F5 alone
    EXPECT_FALSE(h.desktop.isRegistered(0, 'D'));
    EXPECT_TRUE(h.desktop.isRegistered(kModControl, '9'));
    EXPECT_EQ(h.desktop.registeredCount(), 3u);
    EXPECT_EQ(h.state.hotKeys[2].registered, 0);
    EXPECT_EQ(h.state.hotKeys[3].registered, 0);
    EXPECT_EQ(h.state.hotKeys[0].registered, -1);
    EXPECT_EQ(h.desktop.atomName(h.state.hotKeys[0].id), "Rate0");
    EXPECT_EQ(h.desktop.atomName(h.state.hotKeys[200].id), "Rate200");
    EXPECT_GE(h.state.hotKeys[0].id, 0xC000);
    EXPECT_TRUE(h.desktop.boxes().empty());
}

TEST_F(Registration, ReRegisteringFollowsTheTable) {
    slot(4, "STRG", "A");
    SetHotKeys(h.state);
    RemoveHotKeys(h.state);
    EXPECT_EQ(h.desktop.registeredCount(), 0u);
    EXPECT_EQ(h.desktop.atomCount(), 0u);
    slot(4, "STRG", "B");
    SetHotKeys(h.state);
    EXPECT_FALSE(h.desktop.isRegistered(kModControl, 'A'));
    EXPECT_TRUE(h.desktop.isRegistered(kModControl, 'B'));
    // only the new key reaches the dispatcher
    h.state.scriptText = "SLEEP \"7\"\r\n";
    EXPECT_FALSE(h.desktop.pressHotKey(kModControl, 'A'));
    EXPECT_TRUE(h.desktop.pressHotKey(kModControl, 'B'));
    h.desktop.clearTranscript();
    h.desktop.runUntilIdle();
    EXPECT_EQ(h.desktop.transcript(), "sleep 7, pump");
}

TEST_F(Registration, RemoveBeforeSetDoesNothing) {
    RemoveHotKeys(h.state);
    RemoveHotKeys(h.state);
    EXPECT_EQ(h.desktop.transcript(), "");
    EXPECT_EQ(h.desktop.pumpCount(), 0);
}

TEST_F(Registration, RefusedCombinationCountsAsRegisteredAndIsNotReported) {
    h.desktop.takenByOtherProgram(kModControl, 'D');
    slot(0, "STRG", "D");
    SetHotKeys(h.state);
    EXPECT_EQ(h.state.hotKeys[0].registered, -1);
    EXPECT_FALSE(h.desktop.isRegistered(kModControl, 'D') && h.desktop.registeredCount() > 0);
    EXPECT_TRUE(h.desktop.boxes().empty());
    RemoveHotKeys(h.state); // unregistering what never registered is harmless
    EXPECT_TRUE(h.desktop.boxes().empty());
}

TEST_F(Registration, OtherMessagesGoToThePreviousProcedure) {
    std::vector<unsigned> seen;
    h.state.platform.windowHook->setWindowProc(
        h.state.configWindow,
        [&](platform::WindowHandle, unsigned message, std::intptr_t, std::intptr_t) -> std::intptr_t {
            seen.push_back(message);
            return 42;
        });
    slot(0, "STRG", "D");
    SetHotKeys(h.state);
    SetHotKeys(h.state); // a second hook must not make the dispatcher its own previous procedure
    EXPECT_EQ(HotKeyWindowProc(h.state, h.state.configWindow, 0x0201, 1, 2), 42);
    EXPECT_EQ(HotKeyWindowProc(h.state, h.state.configWindow, platform::kWmHotKey, 999, 0), 0);
    h.desktop.postMessage(h.state.configWindow, 0x0010, 0, 0);
    h.desktop.runUntilIdle();
    EXPECT_EQ(seen, (std::vector<unsigned>{0x0201, 0x0010}));
    RemoveHotKeys(h.state);
    h.desktop.pressHotKey(kModControl, 'D');
    h.desktop.postMessage(h.state.configWindow, platform::kWmHotKey, static_cast<std::int16_t>(h.state.hotKeys[0].id),
                          0);
    h.desktop.runUntilIdle();
    EXPECT_EQ(seen.back(), platform::kWmHotKey); // after the unhook the original procedure gets everything
}

} // namespace
} // namespace valumat
