#include "platform/linux/x11/x11hotkeys.h"

#include "platform/linux/x11/x11keys.h"

#include <X11/XKBlib.h>
#include <X11/Xlib-xcb.h>
#include <X11/keysym.h>
#include <xcb/xcb.h>

#include <algorithm>
#include <cstdlib>
#include <memory>
#include <utility>

namespace valumat::x11 {
namespace {

// xcb hands out replies and errors allocated with malloc.
struct FreeDeleter {
    void operator()(void* pointer) const { std::free(pointer); }
};
template <typename T> using Owned = std::unique_ptr<T, FreeDeleter>;

// The core modifier bits of an event's state (the higher bits are buttons and the XKB group).
constexpr std::uint16_t kCoreModifiers = 0xff;

// Hot-key modifiers besides kModControl.
constexpr unsigned kModAlt = 1;
constexpr unsigned kModShift = 4;
constexpr unsigned kModWin = 8;

std::uint16_t grabModifiers(unsigned hotKeyModifiers) {
    std::uint16_t mask = 0;
    if ((hotKeyModifiers & kModAlt) != 0) {
        mask |= XCB_MOD_MASK_1;
    }
    if ((hotKeyModifiers & platform::kModControl) != 0) {
        mask |= XCB_MOD_MASK_CONTROL;
    }
    if ((hotKeyModifiers & kModShift) != 0) {
        mask |= XCB_MOD_MASK_SHIFT;
    }
    if ((hotKeyModifiers & kModWin) != 0) {
        mask |= XCB_MOD_MASK_4;
    }
    return mask;
}

// Sends the requests, then waits for all their outcomes; true for each request the server accepted.
template <typename Send> std::vector<bool> checked(xcb_connection_t* connection, std::size_t count, Send send) {
    std::vector<xcb_void_cookie_t> cookies;
    cookies.reserve(count);
    for (std::size_t i = 0; i < count; ++i) {
        cookies.push_back(send(i));
    }
    std::vector<bool> accepted;
    accepted.reserve(count);
    for (const auto cookie : cookies) {
        const Owned<xcb_generic_error_t> error(xcb_request_check(connection, cookie));
        accepted.push_back(error == nullptr);
    }
    return accepted;
}

} // namespace

X11HotKeys::X11HotKeys(Display* display) {
    if (display == nullptr) {
        return;
    }
    connection_ = XGetXCBConnection(display);
    if (connection_ == nullptr || xcb_connection_has_error(connection_) != 0) {
        connection_ = nullptr;
        return;
    }
    for (auto screens = xcb_setup_roots_iterator(xcb_get_setup(connection_)); screens.rem > 0;
         xcb_screen_next(&screens)) {
        roots_.push_back(screens.data->root);
    }
    // Ask for the mapping notifications ourselves. A connection that uses XKB (Xlib sets it up in XOpenDisplay)
    // gets a core MappingNotify only for the changes it selected XKB notifications for, so without this nothing
    // would tell us about a new layout unless someone else on the connection asked.
    int opcode = 0;
    int eventBase = 0;
    int errorBase = 0;
    int major = XkbMajorVersion;
    int minor = XkbMinorVersion;
    if (XkbQueryExtension(display, &opcode, &eventBase, &errorBase, &major, &minor)) {
        xkbEventBase_ = eventBase;
        constexpr unsigned long kMapParts = XkbKeySymsMask | XkbModifierMapMask;
        XkbSelectEventDetails(display, XkbUseCoreKbd, XkbMapNotify, kMapParts, kMapParts);
        XkbSelectEventDetails(display, XkbUseCoreKbd, XkbNewKeyboardNotify, XkbNKN_KeycodesMask, XkbNKN_KeycodesMask);
        // Changes of the pressed modifiers, for presses that wait until the user lets go of them. Only this detail
        // is added; what others on the connection (Qt) selected stays as it is.
        XkbSelectEventDetails(display, XkbUseCoreKbd, XkbStateNotify, XkbModifierBaseMask, XkbModifierBaseMask);
        display_ = display;
    }
    fetchKeyboard();
}

X11HotKeys::~X11HotKeys() {
    if (connection_ == nullptr) {
        return;
    }
    std::vector<Grab> all;
    for (const auto& registration : registrations_) {
        for (const auto& grab : registration.grabs) {
            if (std::find(all.begin(), all.end(), grab) == all.end()) {
                all.push_back(grab);
            }
        }
    }
    checked(connection_, all.size(), [&](std::size_t i) {
        return xcb_ungrab_key_checked(connection_, all[i].keycode, all[i].root, all[i].modifiers);
    });
    xcb_flush(connection_);
}

bool X11HotKeys::registerHotKey(platform::WindowHandle window, int id, unsigned modifiers, unsigned virtualKey) {
    try {
        if (connection_ == nullptr || virtualKey > 255 ||
            keysymForVirtualKey(static_cast<std::uint8_t>(virtualKey)) == 0) {
            return false;
        }
        for (const auto& registration : registrations_) {
            if ((registration.window == window && registration.id == id) ||
                (registration.modifiers == modifiers && registration.virtualKey == virtualKey)) {
                return false;
            }
        }
        Registration registration{window, id, modifiers, virtualKey, {}};
        const bool granted = updateGrabs(registration);
        const bool hasKey = !registration.grabs.empty();
        registrations_.push_back(std::move(registration));
        xcb_flush(connection_);
        return granted && hasKey;
    } catch (...) {
        return false;
    }
}

bool X11HotKeys::unregisterHotKey(platform::WindowHandle window, int id) {
    try {
        const auto found = std::find_if(registrations_.begin(), registrations_.end(),
                                        [&](const Registration& r) { return r.window == window && r.id == id; });
        if (found == registrations_.end()) {
            return false;
        }
        const Registration registration = std::move(*found);
        registrations_.erase(found);
        std::vector<Grab> release;
        for (const auto& grab : registration.grabs) {
            if (!heldByOther(grab, registration)) {
                release.push_back(grab);
            }
        }
        checked(connection_, release.size(), [&](std::size_t i) {
            return xcb_ungrab_key_checked(connection_, release[i].keycode, release[i].root, release[i].modifiers);
        });
        return true;
    } catch (...) {
        return false;
    }
}

std::vector<HotKeyPress> X11HotKeys::handleEvent(const void* xcbGenericEvent) {
    std::vector<HotKeyPress> run;
    try {
        if (xcbGenericEvent == nullptr || connection_ == nullptr) {
            return run;
        }
        const auto* generic = static_cast<const xcb_generic_event_t*>(xcbGenericEvent);
        const int type = generic->response_type & 0x7f; // the high bit marks events sent by clients
        if (type == XCB_KEY_PRESS) {
            const auto* key = static_cast<const xcb_key_press_event_t*>(xcbGenericEvent);
            if (heldKey_ != 0 && key->detail == heldKey_) {
                return run; // the held hot key repeating
            }
            const auto locks = static_cast<std::uint16_t>(XCB_MOD_MASK_LOCK | keyboard_.numLockMask);
            const auto state = static_cast<std::uint16_t>(key->state & kCoreModifiers & ~locks);
            for (const auto& registration : registrations_) {
                for (const auto& grab : registration.grabs) {
                    if (grab.root == key->event && grab.keycode == key->detail && (grab.modifiers & ~locks) == state) {
                        // The press started a grab that lasts until the key goes up; its release comes to us.
                        waiting_.push_back(HotKeyPress{registration.window, registration.id});
                        waitModifiers_ = static_cast<std::uint8_t>(waitModifiers_ | state);
                        heldKey_ = key->detail;
                        return run;
                    }
                }
            }
        } else if (type == XCB_KEY_RELEASE) {
            const auto* key = static_cast<const xcb_key_release_event_t*>(xcbGenericEvent);
            if (heldKey_ != 0 && key->detail == heldKey_) {
                // Matched by keycode alone: the modifiers may have gone up first. The grab has ended with it.
                heldKey_ = 0;
                // Modifiers let go of before this query show in no later notification.
                if (!waiting_.empty() && (pressedModifiers() & waitModifiers_) == 0) {
                    run = takeWaiting();
                }
            }
        } else if (type == XCB_MAPPING_NOTIFY) {
            const auto* mapping = static_cast<const xcb_mapping_notify_event_t*>(xcbGenericEvent);
            if (mapping->request != XCB_MAPPING_POINTER) {
                renewGrabs();
            }
        } else if (xkbEventBase_ >= 0 && type == xkbEventBase_) {
            // A client that selected the XKB notifications (Qt does) gets these instead of the core MappingNotify.
            const int xkbType = generic->pad0;
            if (xkbType == XkbNewKeyboardNotify || xkbType == XkbMapNotify) {
                renewGrabs();
            } else if (xkbType == XkbStateNotify && !waiting_.empty() && heldKey_ == 0) {
                // The wire layout of the state notification: type, xkbType, sequence (2), time (4), deviceID,
                // mods, baseMods, ... (32 bytes in all): the modifiers of keys held down are byte 10.
                const auto* bytes = static_cast<const std::uint8_t*>(xcbGenericEvent);
                if ((bytes[10] & waitModifiers_) == 0) {
                    run = takeWaiting();
                }
            }
        }
    } catch (...) {
        // never fails
    }
    return run;
}

std::vector<HotKeyPress> X11HotKeys::takeWaiting() {
    if (heldKey_ != 0 && connection_ != nullptr) {
        // The hot key is still down: give the keyboard back, or the script's keys would come to us.
        xcb_ungrab_keyboard(connection_, XCB_CURRENT_TIME);
        xcb_flush(connection_);
        heldKey_ = 0;
    }
    std::vector<HotKeyPress> run;
    run.swap(waiting_);
    waitModifiers_ = 0;
    return run;
}

std::uint8_t X11HotKeys::pressedModifiers() const {
    XkbStateRec state{};
    if (display_ == nullptr || XkbGetState(display_, XkbUseCoreKbd, &state) != Success) {
        return 0; // nothing to wait for that could be told
    }
    return state.base_mods;
}

void X11HotKeys::renewGrabs() {
    if (connection_ == nullptr) {
        return;
    }
    fetchKeyboard();
    for (auto& registration : registrations_) {
        updateGrabs(registration);
    }
    xcb_flush(connection_);
}

void X11HotKeys::fetchKeyboard() {
    const xcb_setup_t* setup = xcb_get_setup(connection_);
    Keyboard keyboard;
    keyboard.minKeycode = setup->min_keycode;
    const auto count = static_cast<std::uint8_t>(setup->max_keycode - setup->min_keycode + 1);
    const Owned<xcb_get_keyboard_mapping_reply_t> mapping(xcb_get_keyboard_mapping_reply(
        connection_, xcb_get_keyboard_mapping(connection_, setup->min_keycode, count), nullptr));
    if (mapping != nullptr) {
        const xcb_keysym_t* keysyms = xcb_get_keyboard_mapping_keysyms(mapping.get());
        const int length = xcb_get_keyboard_mapping_keysyms_length(mapping.get());
        keyboard.perKeycode = mapping->keysyms_per_keycode;
        keyboard.keysyms.assign(keysyms, keysyms + length);
    }
    auto carries = [&keyboard](unsigned keycode, std::uint32_t keysym) {
        const std::size_t first = (keycode - keyboard.minKeycode) * keyboard.perKeycode;
        if (keycode < keyboard.minKeycode || first + keyboard.perKeycode > keyboard.keysyms.size()) {
            return false;
        }
        const auto begin = keyboard.keysyms.begin() + static_cast<std::ptrdiff_t>(first);
        const auto end = begin + static_cast<std::ptrdiff_t>(keyboard.perKeycode);
        return std::find(begin, end, keysym) != end;
    };

    // NumLock is whichever modifier the Num_Lock key sets.
    const Owned<xcb_get_modifier_mapping_reply_t> modifiers(
        xcb_get_modifier_mapping_reply(connection_, xcb_get_modifier_mapping(connection_), nullptr));
    if (modifiers != nullptr) {
        const xcb_keycode_t* keycodes = xcb_get_modifier_mapping_keycodes(modifiers.get());
        const unsigned perModifier = modifiers->keycodes_per_modifier;
        for (unsigned modifier = 0; modifier < 8; ++modifier) {
            for (unsigned i = 0; i < perModifier; ++i) {
                const xcb_keycode_t keycode = keycodes[modifier * perModifier + i];
                if (keycode != 0 && carries(keycode, XK_Num_Lock)) {
                    keyboard.numLockMask = static_cast<std::uint16_t>(1U << modifier);
                }
            }
        }
    }
    keyboard_ = std::move(keyboard);
}

std::vector<X11HotKeys::Grab> X11HotKeys::wantedGrabs(const Registration& registration) const {
    std::vector<Grab> grabs;
    const std::uint32_t keysym = keysymForVirtualKey(static_cast<std::uint8_t>(registration.virtualKey));
    if (keysym == 0 || keyboard_.perKeycode == 0) {
        return grabs;
    }
    const std::uint32_t upper = keysym >= XK_a && keysym <= XK_z ? keysym - XK_a + XK_A : keysym;
    const std::uint16_t base = grabModifiers(registration.modifiers);
    const std::uint16_t numLock = keyboard_.numLockMask;
    const std::uint16_t locks[] = {0, XCB_MOD_MASK_LOCK, numLock,
                                   static_cast<std::uint16_t>(XCB_MOD_MASK_LOCK | numLock)};
    const std::size_t keys = keyboard_.keysyms.size() / keyboard_.perKeycode;
    for (std::size_t index = 0; index < keys; ++index) {
        const auto first = keyboard_.keysyms.begin() + static_cast<std::ptrdiff_t>(index * keyboard_.perKeycode);
        const auto last = first + static_cast<std::ptrdiff_t>(keyboard_.perKeycode);
        if (std::find(first, last, keysym) == last && std::find(first, last, upper) == last) {
            continue;
        }
        const auto keycode = static_cast<std::uint8_t>(keyboard_.minKeycode + index);
        for (const auto root : roots_) {
            for (const auto lock : locks) {
                const Grab grab{root, keycode, static_cast<std::uint16_t>(base | lock)};
                if (std::find(grabs.begin(), grabs.end(), grab) == grabs.end()) {
                    grabs.push_back(grab);
                }
            }
        }
    }
    return grabs;
}

bool X11HotKeys::updateGrabs(Registration& registration) {
    const std::vector<Grab> wanted = wantedGrabs(registration);
    auto contains = [](const std::vector<Grab>& grabs, const Grab& grab) {
        return std::find(grabs.begin(), grabs.end(), grab) != grabs.end();
    };

    std::vector<Grab> release;
    for (const auto& grab : registration.grabs) {
        if (!contains(wanted, grab) && !heldByOther(grab, registration)) {
            release.push_back(grab);
        }
    }
    checked(connection_, release.size(), [&](std::size_t i) {
        return xcb_ungrab_key_checked(connection_, release[i].keycode, release[i].root, release[i].modifiers);
    });

    std::vector<Grab> held;
    std::vector<Grab> request;
    for (const auto& grab : wanted) {
        if (contains(registration.grabs, grab) || heldByOther(grab, registration)) {
            held.push_back(grab); // the connection holds it already
        } else {
            request.push_back(grab);
        }
    }
    // Checked requests: a grab another client holds fails with BadAccess, and must not end up as an error
    // in the event loop's queue.
    const std::vector<bool> accepted = checked(connection_, request.size(), [&](std::size_t i) {
        return xcb_grab_key_checked(connection_, 0, request[i].root, request[i].modifiers, request[i].keycode,
                                    XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC);
    });
    bool refused = false;
    for (std::size_t i = 0; i < request.size(); ++i) {
        if (accepted[i]) {
            held.push_back(request[i]);
        } else {
            refused = true;
        }
    }
    registration.grabs = std::move(held);
    return !refused;
}

bool X11HotKeys::heldByOther(const Grab& grab, const Registration& except) const {
    return std::any_of(registrations_.begin(), registrations_.end(), [&](const Registration& other) {
        return &other != &except && std::find(other.grabs.begin(), other.grabs.end(), grab) != other.grabs.end();
    });
}

} // namespace valumat::x11
