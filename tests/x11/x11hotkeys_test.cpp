// Hot keys on a private Xvfb: the owner connection plays Qt's part (xcb owns its event queue and hands every
// event to handleEvent), a second connection types through XTEST, a third plays another program.
#include "platform/linux/x11/x11hotkeys.h"

#include "xserver.h"

#include <X11/XKBlib.h>
#include <X11/Xlib-xcb.h>
#include <X11/keysym.h>
#include <xcb/xcb.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>

namespace valumat::x11 {

void PrintTo(const HotKeyPress& press, std::ostream* out) {
    *out << "{window " << press.window << ", id " << press.id << "}";
}

namespace {

using test::fakeKey;
using test::keycodeOf;
using test::setKeysyms;
using test::tap;

constexpr unsigned kCtrl = 2;
constexpr unsigned kVkD = 'D';
constexpr unsigned kVkE = 'E';
constexpr unsigned kVkF5 = 116;
constexpr platform::WindowHandle kWindow = 7;
// Atoms from 0xC000 up, widened as signed 16-bit numbers as the registration does.
constexpr int kId = -16384;
constexpr int kOtherId = -16383;

void roundTrip(xcb_connection_t* connection) {
    std::free(xcb_get_input_focus_reply(connection, xcb_get_input_focus(connection), nullptr));
}

class HotKeysTest : public test::XServerTest {
protected:
    void SetUp() override {
        XServerTest::SetUp();
        if (IsSkipped() || HasFatalFailure()) {
            return;
        }
        owner_ = openDisplay();
        keyboard_ = openDisplay();
        other_ = openDisplay();
        ASSERT_TRUE(owner_ != nullptr && keyboard_ != nullptr && other_ != nullptr);
        XSetEventQueueOwner(owner_, XCBOwnsEventQueue); // as Qt's connection
        hotKeys_ = std::make_unique<X11HotKeys>(owner_);
        ctrl_ = keycodeOf(keyboard_, XK_Control_L);
        d_ = keycodeOf(keyboard_, XK_d);
        e_ = keycodeOf(keyboard_, XK_e);
        f5_ = keycodeOf(keyboard_, XK_F5);
        ASSERT_TRUE(ctrl_ != 0 && d_ != 0 && e_ != 0 && f5_ != 0);
    }

    void TearDown() override {
        hotKeys_.reset();
        XServerTest::TearDown();
    }

    // Hands everything the owner connection has received to handleEvent, as the event loop would, and returns the
    // hot keys it reported.
    std::vector<HotKeyPress> pump() {
        xcb_connection_t* connection = XGetXCBConnection(owner_);
        roundTrip(connection); // whatever the server sent before this reply is in the queue now
        std::vector<HotKeyPress> presses;
        while (xcb_generic_event_t* event = xcb_poll_for_event(connection)) {
            for (const auto& press : hotKeys_->handleEvent(event)) {
                presses.push_back(press);
            }
            std::free(event);
        }
        roundTrip(connection); // requests sent while handling (ungrabs, grabs) are done
        return presses;
    }

    // Whether another program could grab the combination now (checked, so the answer is the server's).
    bool otherCanGrab(unsigned keycode, std::uint16_t modifiers) {
        xcb_connection_t* connection = XGetXCBConnection(other_);
        const xcb_window_t root = XDefaultRootWindow(other_);
        xcb_generic_error_t* error = xcb_request_check(
            connection, xcb_grab_key_checked(connection, 1, root, modifiers, static_cast<xcb_keycode_t>(keycode),
                                             XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC));
        const bool granted = error == nullptr;
        std::free(error);
        if (granted) {
            xcb_ungrab_key(connection, static_cast<xcb_keycode_t>(keycode), root, modifiers);
            roundTrip(connection);
        }
        return granted;
    }

    std::vector<HotKeyPress> once(int id = kId) { return {HotKeyPress{kWindow, id}}; }

    Display* owner_ = nullptr;
    Display* keyboard_ = nullptr;
    Display* other_ = nullptr;
    std::unique_ptr<X11HotKeys> hotKeys_;
    unsigned ctrl_ = 0;
    unsigned d_ = 0;
    unsigned e_ = 0;
    unsigned f5_ = 0;
};

// Whether another program could take the whole keyboard now, that is, whether we hold no grab.
bool keyboardIsFree(Display* other) {
    const bool free = XGrabKeyboard(other, XDefaultRootWindow(other), False, GrabModeAsync, GrabModeAsync,
                                    CurrentTime) == GrabSuccess;
    XUngrabKeyboard(other, CurrentTime);
    XSync(other, False);
    return free;
}

TEST_F(HotKeysTest, PressRunsOnceItsKeyAndCtrlAreUpWhicheverGoesFirst) {
    ASSERT_TRUE(hotKeys_->registerHotKey(kWindow, kId, kCtrl, kVkD));
    for (const bool ctrlFirst : {false, true}) {
        SCOPED_TRACE(ctrlFirst ? "Ctrl up first" : "D up first");
        fakeKey(keyboard_, ctrl_, true);
        fakeKey(keyboard_, d_, true);
        EXPECT_TRUE(pump().empty());
        EXPECT_TRUE(hotKeys_->isWaiting());
        // While D is down, its grab holds the keyboard: no key of the script could reach the application yet.
        EXPECT_FALSE(keyboardIsFree(other_));
        fakeKey(keyboard_, ctrlFirst ? ctrl_ : d_, false);
        EXPECT_TRUE(pump().empty());
        // Once D is up, nothing is grabbed while the wait goes on: what the user types reaches the application.
        EXPECT_EQ(keyboardIsFree(other_), !ctrlFirst);
        fakeKey(keyboard_, ctrlFirst ? d_ : ctrl_, false);
        EXPECT_EQ(pump(), once());
        EXPECT_FALSE(hotKeys_->isWaiting());
        EXPECT_TRUE(keyboardIsFree(other_));
    }
}

TEST_F(HotKeysTest, HeldKeyThatRepeatsRunsOnce) {
    ASSERT_TRUE(hotKeys_->registerHotKey(kWindow, kId, kCtrl, kVkD));
    fakeKey(keyboard_, ctrl_, true);
    for (int i = 0; i < 3; ++i) {
        fakeKey(keyboard_, d_, true);
    }
    EXPECT_TRUE(pump().empty());
    fakeKey(keyboard_, d_, false);
    fakeKey(keyboard_, ctrl_, false);
    EXPECT_EQ(pump(), once());
}

TEST_F(HotKeysTest, BindingWithoutModifiersRunsWhenItsKeyGoesUp) {
    ASSERT_TRUE(hotKeys_->registerHotKey(kWindow, kId, 0, kVkF5));
    fakeKey(keyboard_, f5_, true);
    EXPECT_TRUE(pump().empty());
    fakeKey(keyboard_, f5_, false);
    EXPECT_EQ(pump(), once());
    EXPECT_TRUE(keyboardIsFree(other_));
}

TEST_F(HotKeysTest, WaitRunningOutWhileTheKeyIsDownGivesTheKeyboardBack) {
    ASSERT_TRUE(hotKeys_->registerHotKey(kWindow, kId, kCtrl, kVkD));
    fakeKey(keyboard_, ctrl_, true);
    fakeKey(keyboard_, d_, true);
    EXPECT_TRUE(pump().empty());
    EXPECT_EQ(hotKeys_->takeWaiting(), once());
    pump();
    EXPECT_TRUE(keyboardIsFree(other_));
    fakeKey(keyboard_, d_, false);
    fakeKey(keyboard_, ctrl_, false);
    EXPECT_TRUE(pump().empty());
    tap(keyboard_, {ctrl_, d_});
    EXPECT_EQ(pump(), once());
}

TEST_F(HotKeysTest, PressesWhileCtrlIsHeldRunInOrderWhenTheWaitRunsOut) {
    ASSERT_TRUE(hotKeys_->registerHotKey(kWindow, kId, kCtrl, kVkD));
    ASSERT_TRUE(hotKeys_->registerHotKey(kWindow, kOtherId, kCtrl, kVkE));
    fakeKey(keyboard_, ctrl_, true);
    tap(keyboard_, {d_});
    tap(keyboard_, {e_});
    tap(keyboard_, {d_});
    EXPECT_TRUE(pump().empty());
    const std::vector<HotKeyPress> all{{kWindow, kId}, {kWindow, kOtherId}, {kWindow, kId}};
    EXPECT_EQ(hotKeys_->takeWaiting(), all);
    EXPECT_FALSE(hotKeys_->isWaiting());
    fakeKey(keyboard_, ctrl_, false);
    EXPECT_TRUE(pump().empty()); // each press runs once
    tap(keyboard_, {ctrl_, d_});
    EXPECT_EQ(pump(), once());
}

TEST_F(HotKeysTest, ModifiersMustMatchExactly) {
    ASSERT_TRUE(hotKeys_->registerHotKey(kWindow, kId, 0, kVkF5));
    ASSERT_TRUE(hotKeys_->registerHotKey(kWindow, kOtherId, kCtrl, kVkD));
    tap(keyboard_, {f5_});
    EXPECT_EQ(pump(), once());
    tap(keyboard_, {ctrl_, f5_});
    tap(keyboard_, {d_});
    EXPECT_TRUE(pump().empty());
    tap(keyboard_, {ctrl_, d_});
    EXPECT_EQ(pump(), once(kOtherId));
}

TEST_F(HotKeysTest, NumLockAndCapsLockDoNotMatter) {
    const unsigned numLock = keycodeOf(keyboard_, XK_Num_Lock);
    const unsigned capsLock = keycodeOf(keyboard_, XK_Caps_Lock);
    ASSERT_TRUE(numLock != 0 && capsLock != 0);
    const unsigned numLockMask = XkbKeysymToModifiers(keyboard_, XK_Num_Lock);
    ASSERT_NE(numLockMask, 0U);
    ASSERT_TRUE(hotKeys_->registerHotKey(kWindow, kId, kCtrl, kVkD));

    auto lockedModifiers = [&] {
        XkbStateRec state{};
        XkbGetState(keyboard_, XkbUseCoreKbd, &state);
        return static_cast<unsigned>(state.locked_mods);
    };
    tap(keyboard_, {numLock});
    ASSERT_EQ(lockedModifiers(), numLockMask);
    tap(keyboard_, {ctrl_, d_});
    EXPECT_EQ(pump(), once());

    tap(keyboard_, {capsLock});
    ASSERT_EQ(lockedModifiers(), numLockMask | LockMask);
    tap(keyboard_, {ctrl_, d_});
    EXPECT_EQ(pump(), once());

    tap(keyboard_, {numLock});
    ASSERT_EQ(lockedModifiers(), static_cast<unsigned>(LockMask));
    tap(keyboard_, {ctrl_, d_});
    EXPECT_EQ(pump(), once());
}

TEST_F(HotKeysTest, CombinationHeldByAnotherProgramIsRefused) {
    XGrabKey(other_, static_cast<int>(d_), ControlMask, XDefaultRootWindow(other_), True, GrabModeAsync, GrabModeAsync);
    XSync(other_, False);
    EXPECT_FALSE(hotKeys_->registerHotKey(kWindow, kId, kCtrl, kVkD));
    EXPECT_TRUE(hotKeys_->registerHotKey(kWindow, kOtherId, kCtrl, kVkE));
    tap(keyboard_, {ctrl_, d_});
    EXPECT_TRUE(pump().empty());
    tap(keyboard_, {ctrl_, e_});
    EXPECT_EQ(pump(), once(kOtherId));

    // Once the other program lets go, the next mapping change takes the combination.
    XUngrabKey(other_, static_cast<int>(d_), ControlMask, XDefaultRootWindow(other_));
    XSync(other_, False);
    setKeysyms(keyboard_, test::spareKeycode(keyboard_), {XK_F20});
    EXPECT_TRUE(pump().empty());
    tap(keyboard_, {ctrl_, d_});
    EXPECT_EQ(pump(), once());
}

TEST_F(HotKeysTest, UnregisterReleasesTheGrabs) {
    ASSERT_TRUE(hotKeys_->registerHotKey(kWindow, kId, kCtrl, kVkD));
    EXPECT_FALSE(otherCanGrab(d_, XCB_MOD_MASK_CONTROL));
    EXPECT_TRUE(hotKeys_->unregisterHotKey(kWindow, kId));
    EXPECT_FALSE(hotKeys_->unregisterHotKey(kWindow, kId));
    tap(keyboard_, {ctrl_, d_});
    EXPECT_TRUE(pump().empty());
    EXPECT_TRUE(otherCanGrab(d_, XCB_MOD_MASK_CONTROL));
    EXPECT_TRUE(otherCanGrab(d_, XCB_MOD_MASK_CONTROL | XCB_MOD_MASK_LOCK));
}

TEST_F(HotKeysTest, DestructionReleasesTheGrabs) {
    ASSERT_TRUE(hotKeys_->registerHotKey(kWindow, kId, kCtrl, kVkD));
    ASSERT_TRUE(hotKeys_->registerHotKey(kWindow, kOtherId, 0, kVkF5));
    hotKeys_.reset();
    EXPECT_TRUE(otherCanGrab(d_, XCB_MOD_MASK_CONTROL));
    EXPECT_TRUE(otherCanGrab(f5_, 0));
}

TEST_F(HotKeysTest, SecondRegistrationOfAnIdOrCombinationIsRefused) {
    ASSERT_TRUE(hotKeys_->registerHotKey(kWindow, kId, kCtrl, kVkD));
    EXPECT_FALSE(hotKeys_->registerHotKey(kWindow, kId, kCtrl, kVkE));
    EXPECT_FALSE(hotKeys_->registerHotKey(kWindow, kOtherId, kCtrl, kVkD));
    EXPECT_FALSE(hotKeys_->unregisterHotKey(kWindow, kOtherId));
    tap(keyboard_, {ctrl_, d_});
    EXPECT_EQ(pump(), once());
    tap(keyboard_, {ctrl_, e_});
    EXPECT_TRUE(pump().empty());
}

TEST_F(HotKeysTest, KeysWithoutKeysymAreRefused) {
    EXPECT_FALSE(hotKeys_->registerHotKey(kWindow, kId, kCtrl, 7));
    EXPECT_FALSE(hotKeys_->registerHotKey(kWindow, kId, kCtrl, 300));
    EXPECT_FALSE(hotKeys_->unregisterHotKey(kWindow, kId));
}

TEST_F(HotKeysTest, LetterOnlyInTheSecondGroupIsGrabbed) {
    setKeysyms(keyboard_, d_, {XK_Cyrillic_ve, XK_Cyrillic_VE, XK_d, XK_D});
    pump();
    ASSERT_TRUE(hotKeys_->registerHotKey(kWindow, kId, kCtrl, kVkD));
    tap(keyboard_, {ctrl_, d_});
    EXPECT_EQ(pump(), once());
}

// The constructor selects the XKB notifications it needs; Qt selects more of them on its connection. Either way
// a new mapping moves the grabs.
class HotKeysMappingTest : public HotKeysTest, public ::testing::WithParamInterface<bool> {};

TEST_P(HotKeysMappingTest, MappingChangeMovesTheGrabs) {
    if (GetParam()) {
        ASSERT_TRUE(XkbSelectEvents(owner_, XkbUseCoreKbd, XkbNewKeyboardNotifyMask | XkbMapNotifyMask,
                                    XkbNewKeyboardNotifyMask | XkbMapNotifyMask));
    }
    ASSERT_TRUE(hotKeys_->registerHotKey(kWindow, kId, kCtrl, kVkD));
    const unsigned moved = test::spareKeycode(keyboard_);
    ASSERT_NE(moved, 0U);
    setKeysyms(keyboard_, d_, {});
    setKeysyms(keyboard_, moved, {XK_d, XK_D});
    EXPECT_TRUE(pump().empty());

    tap(keyboard_, {ctrl_, moved});
    EXPECT_EQ(pump(), once());
    tap(keyboard_, {ctrl_, d_});
    EXPECT_TRUE(pump().empty());
    EXPECT_TRUE(otherCanGrab(d_, XCB_MOD_MASK_CONTROL));
    EXPECT_FALSE(otherCanGrab(moved, XCB_MOD_MASK_CONTROL));
}

INSTANTIATE_TEST_SUITE_P(Selections, HotKeysMappingTest, ::testing::Values(false, true),
                         [](const ::testing::TestParamInfo<bool>& param) {
                             return param.param ? std::string("QtSelection") : std::string("OwnSelection");
                         });

TEST_F(HotKeysTest, CoreMappingNotifyRenewsTheGrabs) {
    ASSERT_TRUE(hotKeys_->registerHotKey(kWindow, kId, kCtrl, kVkD));
    const unsigned moved = test::spareKeycode(keyboard_);
    setKeysyms(keyboard_, moved, {XK_d, XK_D});
    // Handed in directly, before the owner reads its queue: only this event can have moved the grabs.
    xcb_mapping_notify_event_t notify{};
    notify.response_type = XCB_MAPPING_NOTIFY;
    notify.request = XCB_MAPPING_KEYBOARD;
    notify.first_keycode = static_cast<xcb_keycode_t>(moved);
    notify.count = 1;
    EXPECT_TRUE(hotKeys_->handleEvent(&notify).empty());
    EXPECT_FALSE(otherCanGrab(moved, XCB_MOD_MASK_CONTROL));

    notify.request = XCB_MAPPING_POINTER; // not about keys
    setKeysyms(keyboard_, moved, {});
    EXPECT_TRUE(hotKeys_->handleEvent(&notify).empty());
    EXPECT_FALSE(otherCanGrab(moved, XCB_MOD_MASK_CONTROL));
}

} // namespace
} // namespace valumat::x11
