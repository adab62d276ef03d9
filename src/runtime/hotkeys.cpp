#include "runtime/hotkeys.h"

#include "runtime/dispatch.h"
#include "runtime/errors.h"
#include "runtime/numbers.h"
#include "runtime/report.h"
#include "runtime/text.h"

#include <cmath>

namespace valumat {

int hotKeyCode(const std::string& secondKey) {
    const std::string key = utf8ToCp1252(secondKey);
    if (key.empty()) {
        return 45;
    }
    if (key.size() == 1) {
        return static_cast<unsigned char>(key[0]);
    }
    const double value = std::nearbyint(readNumber(std::string_view(key).substr(1)) + 111);
    if (value < -2147483648.0 || value > 2147483647.0) {
        throw RuntimeError(err::kOverflow);
    }
    return static_cast<int>(value);
}

namespace {

// Another binding of ours registered the same combination before slot i: the refusal is our own duplicate.
bool heldByEarlierSlot(const AppState& state, int slot, unsigned modifiers, int code) {
    for (int j = 0; j < slot; ++j) {
        const KeyBinding& earlier = state.bindings[j];
        const auto& registration = state.hotKeys[static_cast<std::size_t>(j)];
        if (registration.registered != 0 && !registration.refused && hotKeyCode(earlier.secondKey) == code &&
            (earlier.firstKey == "STRG" ? platform::kModControl : 0u) == modifiers) {
            return true;
        }
    }
    return false;
}

} // namespace

void SetHotKeys(AppState& state) {
    try {
        for (auto& slot : state.hotKeys) {
            slot.registered = 0;
            slot.refused = false;
        }
        state.hookWindow = state.configWindow;
        // Hooking twice would make the dispatcher its own previous procedure.
        if (!state.hooked) {
            state.previousWindowProc = state.platform.windowHook->setWindowProc(
                state.hookWindow,
                [&state](platform::WindowHandle window, unsigned message, std::intptr_t wParam, std::intptr_t lParam) {
                    return HotKeyWindowProc(state, window, message, wParam, lParam);
                });
            state.hooked = true;
        }
        for (int i = 0; i < KeyBindingTable::kSlots; ++i) {
            const KeyBinding& binding = state.bindings[i];
            const int code = hotKeyCode(binding.secondKey);
            if (code == 45) {
                continue;
            }
            auto& slot = state.hotKeys[static_cast<std::size_t>(i)];
            slot.registered = -1; // before the system calls: a refused key still counts as registered
            slot.id = state.platform.atoms->globalAddAtom("Rate" + std::to_string(i));
            const unsigned modifiers = binding.firstKey == "STRG" ? platform::kModControl : 0;
            if (!state.platform.hotKeys->registerHotKey(state.hookWindow, static_cast<std::int16_t>(slot.id), modifiers,
                                                        static_cast<unsigned>(code))) {
                slot.refused = !heldByEarlierSlot(state, i, modifiers, code);
            }
        }
    } catch (const RuntimeError& e) {
        reportError(state.platform, "SetHotKeys", e.description());
    }
    state.notify(Changed::HotKeys);
}

std::vector<int> refusedHotKeys(const AppState& state) {
    std::vector<int> slots;
    for (int i = 0; i < KeyBindingTable::kSlots; ++i) {
        if (state.hotKeys[static_cast<std::size_t>(i)].refused) {
            slots.push_back(i);
        }
    }
    return slots;
}

void RemoveHotKeys(AppState& state) {
    if (state.hookWindow == 0 || !state.hooked) {
        return;
    }
    try {
        state.platform.windowHook->setWindowProc(state.hookWindow, state.previousWindowProc);
        state.hooked = false;
        for (auto& slot : state.hotKeys) {
            if (slot.registered != 0) {
                state.platform.hotKeys->unregisterHotKey(state.hookWindow, static_cast<std::int16_t>(slot.id));
                state.platform.atoms->globalDeleteAtom(slot.id);
            }
        }
        state.platform.pump->pumpMessages();
    } catch (const RuntimeError& e) {
        reportError(state.platform, "RemoveHotKeys", e.description());
    }
}

} // namespace valumat
