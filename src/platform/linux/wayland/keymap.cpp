#include "platform/linux/wayland/keymap.h"

#include "platform/platform.h"
#include "runtime/errors.h"

#include <linux/input-event-codes.h>
#include <xkbcommon/xkbcommon.h>

#include <cstdlib>

namespace valumat::wayland {

namespace {

// xkbcommon numbers keys as the Linux key code plus 8.
constexpr unsigned kXkbOffset = 8;

} // namespace

UsKeymap::UsKeymap() {
    context_ = xkb_context_new(XKB_CONTEXT_NO_ENVIRONMENT_NAMES);
    if (context_ != nullptr) {
        const xkb_rule_names names{"evdev", "pc105", "us", "", ""};
        keymap_ = xkb_keymap_new_from_names(context_, &names, XKB_KEYMAP_COMPILE_NO_FLAGS);
    }
    if (keymap_ == nullptr) {
        xkb_context_unref(context_);
        throw RuntimeError(err::kInvalidProcedureCall);
    }
}

UsKeymap::~UsKeymap() {
    xkb_keymap_unref(keymap_);
    xkb_context_unref(context_);
}

std::string UsKeymap::text() const {
    char* text = xkb_keymap_get_as_string(keymap_, XKB_KEYMAP_FORMAT_TEXT_V1);
    std::string result = text != nullptr ? text : "";
    std::free(text);
    return result;
}

std::string UsKeymap::keysymName(std::uint8_t virtualKey) const {
    const unsigned key = evdevKeyForVirtualKey(virtualKey);
    if (key == 0) {
        return {};
    }
    const xkb_keysym_t* syms = nullptr;
    const int count = xkb_keymap_key_get_syms_by_level(keymap_, key + kXkbOffset, 0, 0, &syms);
    if (count < 1) {
        return {};
    }
    char name[64];
    if (xkb_keysym_get_name(syms[0], name, sizeof name) <= 0) {
        return {};
    }
    return name;
}

std::string UsKeymap::combination(unsigned modifiers, std::uint8_t virtualKey) const {
    const std::string key = keysymName(virtualKey);
    if (key.empty()) {
        return {};
    }
    std::string text;
    if ((modifiers & kModWin) != 0) {
        text += "Mod4+";
    }
    if ((modifiers & kModAlt) != 0) {
        text += "Mod1+";
    }
    if ((modifiers & platform::kModControl) != 0) {
        text += "Ctrl+";
    }
    if ((modifiers & kModShift) != 0) {
        text += "Shift+";
    }
    return text + key;
}

ModifierState::ModifierState(const UsKeymap& keymap) : state_(xkb_state_new(keymap.keymap())) {
    if (state_ == nullptr) {
        throw RuntimeError(err::kInvalidProcedureCall);
    }
}

ModifierState::~ModifierState() {
    xkb_state_unref(state_);
}

bool ModifierState::update(unsigned evdevKey, bool down) {
    const auto changed = xkb_state_update_key(state_, evdevKey + kXkbOffset, down ? XKB_KEY_DOWN : XKB_KEY_UP);
    return (changed & (XKB_STATE_MODS_DEPRESSED | XKB_STATE_MODS_LATCHED | XKB_STATE_MODS_LOCKED |
                       XKB_STATE_LAYOUT_EFFECTIVE)) != 0;
}

std::uint32_t ModifierState::depressed() const {
    return xkb_state_serialize_mods(state_, XKB_STATE_MODS_DEPRESSED);
}
std::uint32_t ModifierState::latched() const {
    return xkb_state_serialize_mods(state_, XKB_STATE_MODS_LATCHED);
}
std::uint32_t ModifierState::locked() const {
    return xkb_state_serialize_mods(state_, XKB_STATE_MODS_LOCKED);
}
std::uint32_t ModifierState::group() const {
    return xkb_state_serialize_layout(state_, XKB_STATE_LAYOUT_EFFECTIVE);
}

} // namespace valumat::wayland
