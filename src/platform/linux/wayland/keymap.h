// The keys Valumat sends and binds on Wayland: Windows virtual-key codes as Linux input key codes, and the
// keyboard layout (US) our virtual keyboard announces, built with xkbcommon.
#pragma once

#include "platform/linux/evdevkeys.h"

#include <cstdint>
#include <memory>
#include <string>

struct xkb_context;
struct xkb_keymap;
struct xkb_state;

namespace valumat::wayland {

using qt::evdevKeyForVirtualKey;

// Hot-key modifiers besides platform::kModControl.
inline constexpr unsigned kModAlt = 1;
inline constexpr unsigned kModShift = 4;
inline constexpr unsigned kModWin = 8;

// A US keyboard layout (evdev rules, pc105) and what follows from it.
class UsKeymap {
public:
    // Fails with RuntimeError when xkbcommon cannot build the layout (no keyboard configuration installed).
    UsKeymap();
    ~UsKeymap();
    UsKeymap(const UsKeymap&) = delete;
    UsKeymap& operator=(const UsKeymap&) = delete;

    // The layout as text, for a virtual keyboard's keymap request.
    std::string text() const;
    xkb_keymap* keymap() const { return keymap_; }

    // The name of the keysym the key gives without modifiers ("d", "F5", "1", "period"); "" when none.
    std::string keysymName(std::uint8_t virtualKey) const;

    // The combination as compositors write it in their key bindings: "Ctrl+d", "F5", "Mod1+Shift+F2"; "" when the
    // key has no keysym.
    std::string combination(unsigned modifiers, std::uint8_t virtualKey) const;

private:
    xkb_context* context_ = nullptr;
    xkb_keymap* keymap_ = nullptr;
};

// The state of the modifiers of one keyboard with the US layout, as the wl_keyboard modifiers event carries it.
class ModifierState {
public:
    explicit ModifierState(const UsKeymap& keymap);
    ~ModifierState();
    ModifierState(const ModifierState&) = delete;
    ModifierState& operator=(const ModifierState&) = delete;

    // Feeds one key event (Linux key code); true when the modifier masks changed.
    bool update(unsigned evdevKey, bool down);
    std::uint32_t depressed() const;
    std::uint32_t latched() const;
    std::uint32_t locked() const;
    std::uint32_t group() const;

private:
    xkb_state* state_ = nullptr;
};

} // namespace valumat::wayland
