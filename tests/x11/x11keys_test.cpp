// Key events on a private Xvfb: the sender uses one connection, a focused test window on another connection
// records what an application would receive.
#include "platform/linux/x11/x11keys.h"

#include "runtime/errors.h"
#include "runtime/keysender.h"
#include "xserver.h"

#include <X11/XKBlib.h>
#include <X11/keysym.h>

#include <gtest/gtest.h>

#include <memory>
#include <set>

namespace valumat::x11 {
namespace {

using platform::kKeyEventExtended;
using platform::kKeyEventKeyUp;
using test::allKeysUp;
using test::keycodeOf;
using test::keysymsOf;
using test::setKeysyms;

struct Seen {
    bool press;
    unsigned keycode;
    unsigned state;
    KeySym keysym;
};

class NoPump final : public platform::MessagePump {
public:
    void pumpMessages() override {}
};

class KeyEventsTest : public test::XServerTest {
protected:
    void SetUp() override {
        XServerTest::SetUp();
        if (IsSkipped() || HasFatalFailure()) {
            return;
        }
        senderDisplay_ = openDisplay();
        app_ = openDisplay();
        ASSERT_TRUE(senderDisplay_ != nullptr && app_ != nullptr);
        window_ = XCreateSimpleWindow(app_, XDefaultRootWindow(app_), 0, 0, 100, 100, 0, 0, 0);
        XSelectInput(app_, window_, KeyPressMask | KeyReleaseMask);
        XMapWindow(app_, window_);
        XSync(app_, False);
        XSetInputFocus(app_, window_, RevertToParent, CurrentTime);
        XSync(app_, False);
        sender_ = std::make_unique<X11KeyEvents>(senderDisplay_);
    }

    void TearDown() override {
        sender_.reset();
        XServerTest::TearDown();
    }

    // The key events the window received since the last call, each with the keysym the application sees.
    std::vector<Seen> seen() {
        XSync(senderDisplay_, False);
        XSync(app_, False);
        std::vector<Seen> events;
        while (XPending(app_) > 0) {
            XEvent event;
            XNextEvent(app_, &event);
            if ((event.type == KeyPress || event.type == KeyRelease) && event.xkey.window == window_) {
                events.push_back({event.type == KeyPress, event.xkey.keycode, event.xkey.state,
                                  test::translate(app_, event.xkey.keycode, event.xkey.state)});
            }
        }
        return events;
    }

    // Sends one key down and up and returns what the application saw of the press: its keysym, or NoSymbol when
    // the window did not see exactly one press followed by the release of the same keycode.
    KeySym strike(std::uint8_t virtualKey) {
        sender_->keyEvent(virtualKey, kKeyEventExtended);
        sender_->keyEvent(virtualKey, kKeyEventKeyUp);
        const auto events = seen();
        if (events.size() != 2 || !events[0].press || events[1].press || events[0].keycode != events[1].keycode) {
            return NoSymbol;
        }
        return events[0].keysym;
    }

    Display* senderDisplay_ = nullptr;
    Display* app_ = nullptr;
    Window window_ = 0;
    std::unique_ptr<X11KeyEvents> sender_;
};

TEST_F(KeyEventsTest, VirtualKeysArriveAsTheirKeysyms) {
    const std::vector<std::pair<std::uint8_t, KeySym>> keys = {
        {'A', XK_a},           {'C', XK_c},           {'V', XK_v},
        {'Z', XK_z},           {'0', XK_0},           {'9', XK_9},
        {8, XK_BackSpace},     {9, XK_Tab},           {13, XK_Return},
        {27, XK_Escape},       {32, XK_space},        {33, XK_Prior},
        {34, XK_Next},         {35, XK_End},          {36, XK_Home},
        {37, XK_Left},         {38, XK_Up},           {39, XK_Right},
        {40, XK_Down},         {45, XK_Insert},       {46, XK_Delete},
        {16, XK_Shift_L},      {17, XK_Control_L},    {18, XK_Alt_L},
        {19, XK_Pause},        {91, XK_Super_L},      {93, XK_Menu},
        {112, XK_F1},          {113, XK_F2},          {123, XK_F12},
        {124, XK_F13},         {135, XK_F24},         {186, XK_semicolon},
        {187, XK_equal},       {188, XK_comma},       {189, XK_minus},
        {190, XK_period},      {191, XK_slash},       {192, XK_grave},
        {219, XK_bracketleft}, {220, XK_backslash},   {221, XK_bracketright},
        {222, XK_apostrophe},  {106, XK_KP_Multiply}, {107, XK_KP_Add},
        {109, XK_KP_Subtract}, {111, XK_KP_Divide},   {96, XK_KP_0},
        {97, XK_KP_1},         {98, XK_KP_2},         {99, XK_KP_3},
        {100, XK_KP_4},        {101, XK_KP_5},        {102, XK_KP_6},
        {103, XK_KP_7},        {104, XK_KP_8},        {105, XK_KP_9},
        {110, XK_KP_Decimal},
    };
    for (const auto& [virtualKey, keysym] : keys) {
        EXPECT_EQ(strike(virtualKey), keysym) << "virtual key " << int{virtualKey};
    }
    EXPECT_TRUE(allKeysUp(app_));
}

TEST_F(KeyEventsTest, KeysMissingFromTheLayoutBorrowFewKeycodes) {
    auto spareCount = [&] {
        int minKeycode = 0;
        int maxKeycode = 0;
        XDisplayKeycodes(app_, &minKeycode, &maxKeycode);
        int count = 0;
        for (int keycode = minKeycode; keycode <= maxKeycode; ++keycode) {
            count += keysymsOf(app_, static_cast<unsigned>(keycode)).empty() ? 1 : 0;
        }
        return count;
    };
    const int spareBefore = spareCount();
    // The keypad digits are not the unmodified symbols of any key (those are KP_Insert, KP_End, ...).
    for (std::uint8_t virtualKey = 96; virtualKey <= 105; ++virtualKey) {
        EXPECT_EQ(strike(virtualKey), XK_KP_0 + (virtualKey - 96U));
    }
    EXPECT_EQ(strike(96), XK_KP_0);
    EXPECT_LE(spareBefore - spareCount(), static_cast<int>(X11KeyEvents::kMaxBorrowedKeys));
    sender_->restoreKeyboard();
    XSync(senderDisplay_, False);
    EXPECT_EQ(spareCount(), spareBefore);
}

TEST_F(KeyEventsTest, LatinLetterMissingFromTheLayoutGoesThroughASpareKeycode) {
    const unsigned c = keycodeOf(app_, XK_c);
    ASSERT_NE(c, 0U);
    setKeysyms(app_, c, {XK_Cyrillic_es, XK_Cyrillic_ES}); // no Latin c anywhere

    sender_->keyEvent(17, 0);
    sender_->keyEvent('C', kKeyEventExtended);
    auto events = seen();
    ASSERT_EQ(events.size(), 2U);
    EXPECT_EQ(events[0].keysym, static_cast<KeySym>(XK_Control_L));
    const unsigned borrowed = events[1].keycode;
    EXPECT_NE(borrowed, c);
    EXPECT_EQ(events[1].keysym, static_cast<KeySym>(XK_c));
    EXPECT_NE(events[1].state & ControlMask, 0U);

    // The key goes up where it went down, even though the layout has a Latin c again by now.
    setKeysyms(app_, c, {XK_c, XK_C});
    sender_->keyEvent('C', kKeyEventKeyUp);
    sender_->keyEvent(17, kKeyEventKeyUp);
    events = seen();
    ASSERT_EQ(events.size(), 2U);
    EXPECT_FALSE(events[0].press);
    EXPECT_EQ(events[0].keycode, borrowed);
    EXPECT_TRUE(allKeysUp(app_));

    // The borrowed keycode keeps its symbol until it is given back.
    EXPECT_EQ(keysymsOf(app_, borrowed).at(0), static_cast<KeySym>(XK_c));
    sender_->restoreKeyboard();
    XSync(senderDisplay_, False);
    EXPECT_TRUE(keysymsOf(app_, borrowed).empty());
}

TEST_F(KeyEventsTest, LetterIsTakenFromTheGroupInEffect) {
    const unsigned c = keycodeOf(app_, XK_c);
    ASSERT_NE(c, 0U);
    setKeysyms(app_, c, {XK_Cyrillic_es, XK_Cyrillic_ES, XK_c, XK_C}); // Cyrillic first, Latin second

    sender_->keyEvent('C', 0);
    sender_->keyEvent('C', kKeyEventKeyUp);
    auto events = seen();
    ASSERT_EQ(events.size(), 2U);
    EXPECT_NE(events[0].keycode, c);
    EXPECT_EQ(events[0].keysym, static_cast<KeySym>(XK_c));

    ASSERT_TRUE(XkbLockGroup(app_, XkbUseCoreKbd, 1));
    XSync(app_, False);
    sender_->keyEvent('C', 0);
    sender_->keyEvent('C', kKeyEventKeyUp);
    events = seen();
    ASSERT_EQ(events.size(), 2U);
    EXPECT_EQ(events[0].keycode, c);
    EXPECT_EQ(events[0].keysym, static_cast<KeySym>(XK_c));

    // Latin first, Cyrillic second and in effect: the borrowed keycode has one group only, which the server
    // applies whatever group is in effect.
    setKeysyms(app_, c, {XK_c, XK_C, XK_Cyrillic_es, XK_Cyrillic_ES});
    sender_->keyEvent('C', 0);
    sender_->keyEvent('C', kKeyEventKeyUp);
    events = seen();
    ASSERT_EQ(events.size(), 2U);
    EXPECT_NE(events[0].keycode, c);
    EXPECT_EQ(events[0].state & 0x6000U, 0x2000U); // second group
    EXPECT_EQ(events[0].keysym, static_cast<KeySym>(XK_c));
}

TEST_F(KeyEventsTest, KeyCombinationLeavesNoKeyDown) {
    NoPump pump;
    platform::Platform services;
    services.keyEvents = sender_.get();
    services.pump = &pump;
    SendKeyCombination(services, "STRG+SHIFT+36+37");

    std::vector<std::pair<bool, KeySym>> order;
    for (const auto& event : seen()) {
        order.emplace_back(event.press, event.keysym);
    }
    const std::vector<std::pair<bool, KeySym>> expected = {
        {true, XK_Control_L}, {true, XK_Shift_L}, {true, XK_Home},       {true, XK_Left},
        {false, XK_Home},     {false, XK_Left},   {false, XK_Control_L}, {false, XK_Shift_L},
    };
    EXPECT_EQ(order, expected);
    EXPECT_TRUE(allKeysUp(app_));
}

TEST_F(KeyEventsTest, UnknownVirtualKeyFailsAndSendsNothing) {
    for (const std::uint8_t virtualKey : {0, 7, 10, 255}) {
        try {
            sender_->keyEvent(virtualKey, 0);
            ADD_FAILURE() << "no error for virtual key " << int{virtualKey};
        } catch (const RuntimeError& e) {
            EXPECT_EQ(e.description(), err::kInvalidProcedureCall);
        }
    }
    EXPECT_TRUE(seen().empty());
    EXPECT_TRUE(allKeysUp(app_));
}

TEST_F(KeyEventsTest, DestructionReleasesHeldKeysAndBorrowedKeycodes) {
    const unsigned c = keycodeOf(app_, XK_c);
    setKeysyms(app_, c, {XK_Cyrillic_es, XK_Cyrillic_ES});
    sender_->keyEvent(16, 0);
    sender_->keyEvent('C', 0);
    const auto events = seen();
    ASSERT_EQ(events.size(), 2U);
    const unsigned borrowed = events[1].keycode;
    EXPECT_FALSE(allKeysUp(app_));
    sender_.reset();
    XSync(senderDisplay_, False);
    EXPECT_TRUE(allKeysUp(app_));
    EXPECT_TRUE(keysymsOf(app_, borrowed).empty());
}

TEST(KeysymTable, UsLayoutNames) {
    EXPECT_EQ(keysymForVirtualKey('A'), static_cast<std::uint32_t>(XK_a));
    EXPECT_EQ(keysymForVirtualKey(186), static_cast<std::uint32_t>(XK_semicolon));
    EXPECT_EQ(keysymForVirtualKey(222), static_cast<std::uint32_t>(XK_apostrophe));
    EXPECT_EQ(keysymForVirtualKey(135), static_cast<std::uint32_t>(XK_F24));
    EXPECT_EQ(keysymForVirtualKey(7), 0U);
    EXPECT_EQ(keysymForVirtualKey(255), 0U);
}

} // namespace
} // namespace valumat::x11
