// The Wayland backend's pieces that need no compositor: the key table, the US layout's key names and modifier
// masks, the combinations written for sway, and sway's IPC framing and binding events, the shortcuts KGlobalAccel
// is given.
#include "platform/linux/wayland/keymap.h"
#include "platform/linux/wayland/kglobalaccel.h"
#include "platform/linux/wayland/swayhotkeys.h"
#include "platform/platform.h"

#include <QKeySequence>
#include <gtest/gtest.h>
#include <linux/input-event-codes.h>

#include <cstring>

namespace valumat::wayland {
namespace {

TEST(WaylandKeys, VirtualKeysMapToLinuxKeyCodes) {
    const struct {
        unsigned virtualKey;
        unsigned expected;
    } cases[] = {
        {65, KEY_A},
        {67, KEY_C},
        {68, KEY_D},
        {86, KEY_V},
        {90, KEY_Z},
        {48, KEY_0},
        {49, KEY_1},
        {57, KEY_9},
        {112, KEY_F1},
        {121, KEY_F10},
        {122, KEY_F11},
        {123, KEY_F12},
        {135, KEY_F24},
        {13, KEY_ENTER},
        {36, KEY_HOME},
        {35, KEY_END},
        {37, KEY_LEFT},
        {40, KEY_DOWN},
        {46, KEY_DELETE},
        {9, KEY_TAB},
        {16, KEY_LEFTSHIFT},
        {17, KEY_LEFTCTRL},
        {18, KEY_LEFTALT},
        {0xA3, KEY_RIGHTCTRL},
        {0xA1, KEY_RIGHTSHIFT},
        {96, KEY_KP0},
        {105, KEY_KP9},
        {0xBE, KEY_DOT},
        {0xBC, KEY_COMMA},
        {0xE2, KEY_102ND},
        {0, 0},
        {7, 0},
        {0x3A, 0},
        {0xFF, 0},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(evdevKeyForVirtualKey(static_cast<std::uint8_t>(c.virtualKey)), c.expected) << c.virtualKey;
    }
}

TEST(WaylandKeys, KeysymNamesAndCombinationsForSway) {
    const UsKeymap keymap;
    const struct {
        unsigned modifiers;
        unsigned virtualKey;
        const char* expected;
    } cases[] = {
        {2, 68, "Ctrl+d"},
        {2, 48, "Ctrl+0"},
        {2, 57, "Ctrl+9"},
        {0, 120, "F9"},
        {2, 123, "Ctrl+F12"},
        {kModAlt | kModShift, 113, "Mod1+Shift+F2"},
        {kModWin | 2, 65, "Mod4+Ctrl+a"},
        {0, 190, "period"},
        {0, 13, "Return"},
        {2, 7, ""}, // no such key
        {0, 0, ""},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(keymap.combination(c.modifiers, static_cast<std::uint8_t>(c.virtualKey)), c.expected)
            << c.modifiers << "+" << c.virtualKey;
    }
    EXPECT_NE(keymap.text().find("xkb_keymap"), std::string::npos);
}

TEST(WaylandKeys, ModifierMasksFollowTheKeys) {
    const UsKeymap keymap;
    ModifierState state(keymap);
    constexpr std::uint32_t kShift = 1, kLock = 2, kControl = 4, kMod1 = 8;
    EXPECT_TRUE(state.update(KEY_LEFTCTRL, true));
    EXPECT_EQ(state.depressed(), kControl);
    EXPECT_FALSE(state.update(KEY_C, true)); // a letter changes no modifier
    EXPECT_FALSE(state.update(KEY_C, false));
    EXPECT_TRUE(state.update(KEY_LEFTSHIFT, true));
    EXPECT_TRUE(state.update(KEY_LEFTALT, true));
    EXPECT_EQ(state.depressed(), kControl | kShift | kMod1);
    EXPECT_TRUE(state.update(KEY_LEFTALT, false));
    EXPECT_TRUE(state.update(KEY_LEFTSHIFT, false));
    EXPECT_TRUE(state.update(KEY_LEFTCTRL, false));
    EXPECT_EQ(state.depressed(), 0u);
    // CapsLock locks on its first press and unlocks on the second.
    state.update(KEY_CAPSLOCK, true);
    state.update(KEY_CAPSLOCK, false);
    EXPECT_EQ(state.locked(), kLock);
    state.update(KEY_CAPSLOCK, true);
    state.update(KEY_CAPSLOCK, false);
    EXPECT_EQ(state.locked(), 0u);
    EXPECT_EQ(state.group(), 0u);
}

QByteArray header(std::uint32_t length, std::uint32_t type) {
    QByteArray bytes("i3-ipc", 6);
    bytes.append(reinterpret_cast<const char*>(&length), 4);
    bytes.append(reinterpret_cast<const char*>(&type), 4);
    return bytes;
}

// KGlobalAccel keeps a shortcut as Qt's key code with Qt's modifier bits: the codes must be Qt's own, or KWin
// fires on another key.
int q(QKeyCombination combination) {
    return combination.toCombined();
}

TEST(KdeShortcuts, VirtualKeysAndModifiersBecomeQtKeyCodes) {
    const struct {
        unsigned modifiers;
        unsigned virtualKey;
        int expected;
    } cases[] = {
        {platform::kModControl, 68, q(Qt::CTRL | Qt::Key_D)},
        {platform::kModControl | kModShift, 69, q(Qt::CTRL | Qt::SHIFT | Qt::Key_E)},
        {kModAlt, 112, q(Qt::ALT | Qt::Key_F1)},
        {0, 119, Qt::Key_F8},
        {0, 135, Qt::Key_F24},
        {kModWin, 48, q(Qt::META | Qt::Key_0)},
        {platform::kModControl | kModAlt | kModShift | kModWin, 90,
         q(Qt::CTRL | Qt::ALT | Qt::SHIFT | Qt::META | Qt::Key_Z)},
        {platform::kModControl, 13, q(Qt::CTRL | Qt::Key_Return)},
        {0, 36, Qt::Key_Home},
        {0, 35, Qt::Key_End},
        {0, 33, Qt::Key_PageUp},
        {0, 34, Qt::Key_PageDown},
        {0, 37, Qt::Key_Left},
        {0, 38, Qt::Key_Up},
        {0, 39, Qt::Key_Right},
        {0, 40, Qt::Key_Down},
        {0, 45, Qt::Key_Insert},
        {0, 46, Qt::Key_Delete},
        {0, 8, Qt::Key_Backspace},
        {0, 9, Qt::Key_Tab},
        {0, 27, Qt::Key_Escape},
        {0, 32, Qt::Key_Space},
        {0, 19, Qt::Key_Pause},
        {0, 44, Qt::Key_Print},
        {platform::kModControl, 96, q(Qt::ControlModifier | Qt::KeypadModifier | Qt::Key_0)},
        {0, 105, q(Qt::KeypadModifier | Qt::Key_9)},
        {0, 107, q(Qt::KeypadModifier | Qt::Key_Plus)},
        {0, 111, q(Qt::KeypadModifier | Qt::Key_Slash)},
        {0, 186, Qt::Key_Semicolon},
        {0, 187, Qt::Key_Equal},
        {0, 188, Qt::Key_Comma},
        {0, 189, Qt::Key_Minus},
        {0, 190, Qt::Key_Period},
        {0, 191, Qt::Key_Slash},
        {0, 192, Qt::Key_QuoteLeft},
        {0, 219, Qt::Key_BracketLeft},
        {0, 220, Qt::Key_Backslash},
        {0, 221, Qt::Key_BracketRight},
        {0, 222, Qt::Key_Apostrophe},
        // Keys without a Qt key: the modifiers alone, mouse buttons, codes nothing is assigned to.
        {platform::kModControl, 17, 0},
        {0, 16, 0},
        {0, 1, 0},
        {0, 0, 0},
        {0, 255, 0},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(qtKeyCode(c.modifiers, static_cast<std::uint8_t>(c.virtualKey)), c.expected)
            << "modifiers " << c.modifiers << ", virtual key " << c.virtualKey;
    }
    // As KDE's shortcut settings show it.
    EXPECT_EQ(QKeySequence(QKeyCombination::fromCombined(qtKeyCode(platform::kModControl | kModShift, 68))).toString(),
              QStringLiteral("Ctrl+Shift+D"));
}

TEST(SwayIpc, MessagesAreFramedAndTakenApartWhole) {
    const QByteArray message = ipcMessage(2, "[\"binding\"]");
    EXPECT_EQ(message, header(11, 2) + "[\"binding\"]");

    // Two messages arriving in pieces: nothing until one is whole, then one at a time, in order.
    const QByteArray stream = ipcMessage(0x80000005, "{\"a\":1}") + ipcMessage(0, "[]");
    QByteArray buffer;
    std::uint32_t type = 0;
    QByteArray payload;
    for (int i = 0; i < 20; ++i) { // the first message is 14 + 7 = 21 bytes long
        buffer += stream.at(i);
        EXPECT_FALSE(takeIpcMessage(buffer, type, payload)) << i;
    }
    buffer += stream.mid(20);
    ASSERT_TRUE(takeIpcMessage(buffer, type, payload));
    EXPECT_EQ(type, 0x80000005u);
    EXPECT_EQ(payload, "{\"a\":1}");
    ASSERT_TRUE(takeIpcMessage(buffer, type, payload));
    EXPECT_EQ(type, 0u);
    EXPECT_EQ(payload, "[]");
    EXPECT_TRUE(buffer.isEmpty());
    EXPECT_FALSE(takeIpcMessage(buffer, type, payload));

    // A stream out of step is dropped rather than misread.
    QByteArray garbage("xx-ipc" + QByteArray(8, '\0'));
    EXPECT_FALSE(takeIpcMessage(garbage, type, payload));
    EXPECT_TRUE(garbage.isEmpty());
}

TEST(SwayIpc, BindingEventsOfThisProgramGiveTheirIdentifier) {
    EXPECT_EQ(bindingTag(4711, -16384), "nop valumat 4711 -16384");
    auto event = [](const char* change, const char* command) {
        return QByteArray("{\"change\":\"") + change + "\",\"binding\":{\"command\":\"" + command +
               "\",\"event_state_mask\":[\"Ctrl\"],\"input_code\":0,\"symbol\":\"d\",\"input_type\":\"keyboard\"}}";
    };
    const struct {
        QByteArray payload;
        bool ours;
        int id;
    } cases[] = {
        {event("run", "nop valumat 4711 -16384"), true, -16384},
        {event("run", "nop valumat 4711 7"), true, 7},
        {event("run", "nop valumat 47110 7"), false, 0}, // another process whose id starts alike
        {event("run", "nop valumat 471 7"), false, 0},
        {event("run", "exec foot"), false, 0},
        {event("run", "nop valumat 4711 x"), false, 0},
        {event("unbind", "nop valumat 4711 7"), false, 0},
        {"not json", false, 0},
    };
    for (const auto& c : cases) {
        int id = 0;
        EXPECT_EQ(readTag(c.payload, 4711, id), c.ours) << c.payload.constData();
        EXPECT_EQ(id, c.id) << c.payload.constData();
    }
}

} // namespace
} // namespace valumat::wayland
