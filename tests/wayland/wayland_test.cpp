// The Wayland backend's pieces that need no compositor: the key table, the US layout's key names and modifier
// masks, the combinations written for sway, and sway's IPC framing and binding events.
#include "platform/wayland/keymap.h"
#include "platform/wayland/swayhotkeys.h"

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
