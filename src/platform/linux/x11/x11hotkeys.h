// System-wide hot keys on X11: passive key grabs on the root windows of the caller's connection.
//
// No X header is included here (see x11keys.h).
#pragma once

#include "platform/platform.h"

#include <cstdint>
#include <vector>

// Xlib's connection type, declared exactly as Xlib and Qt declare it.
typedef struct _XDisplay Display;
struct xcb_connection_t;

namespace valumat::x11 {

// A press of a registered hot key: the window and identifier it was registered with.
struct HotKeyPress {
    platform::WindowHandle window = 0;
    int id = 0;
    bool operator==(const HotKeyPress&) const = default;
};

// Registers hot keys as key grabs on the caller's X connection, whose event loop reads the resulting key presses
// and hands each event to handleEvent(). Nothing here reads events or runs a thread.
//
// A binding grabs every keycode that carries the key's keysym in any group of the layout (so Ctrl+D is the D key
// whichever layout is active), with exactly its modifiers, and also with CapsLock and NumLock on. When the
// keyboard mapping changes, handleEvent() moves the grabs to the new keycodes.
//
// A press is not reported at once. The script that it runs sends keys at once (Ctrl+C first), and these must not
// meet the user's own hands on the keyboard: letting go of Ctrl in the middle of the script's Ctrl+C or Ctrl+V
// would turn them into a typed "c" or "v" (there is one Ctrl state on the server, whoever pressed it), and while
// the hot key is down its grab would take the script's keys. So a press waits until its key is up (the grab the
// press started brings us that release, matched by keycode alone because Ctrl often goes up first; the grab ends
// with it) and until the modifiers it was pressed with are up (XKB state notifications on the connection). A key
// that repeats while it is held runs nothing more. The event loop gives up waiting after platform::kHotKeyReleaseWaitMs
// and runs the presses all the same (takeWaiting(), which gives the keyboard back first).
class X11HotKeys final : public platform::HotKeys {
public:
    // Uses the caller's connection (Qt's in the program: QX11Application::display()); does not own it. The
    // connection must outlive this object.
    explicit X11HotKeys(Display* display);
    // Releases every grab.
    ~X11HotKeys() override;
    X11HotKeys(const X11HotKeys&) = delete;
    X11HotKeys& operator=(const X11HotKeys&) = delete;

    // modifiers: kModControl (2) for Ctrl; Alt (1), Shift (4) and the Windows key (8) are understood too.
    // virtualKey: a Windows virtual-key code (see keysymForVirtualKey). Returns false when the server refused a
    // grab (another program holds the combination: its key presses go to that program), when the layout has no
    // such key, when (window, id) is already registered, and when another registration has the same combination.
    // A registration whose grab was refused is kept all the same and tried again at the next mapping change.
    bool registerHotKey(platform::WindowHandle window, int id, unsigned modifiers, unsigned virtualKey) override;
    bool unregisterHotKey(platform::WindowHandle window, int id) override;

    // Looks at one event read from the connection, an xcb_generic_event_t (the native event of Qt's xcb platform),
    // and returns the hot-key presses to run now, oldest first: on the release of the hot key or of the last of its
    // modifiers, the presses that waited for it. A press still waiting leaves isWaiting() true. On a keyboard-mapping
    // change (core MappingNotify or the XKB new-keyboard and map notifications, which the constructor selects on the
    // connection) it renews the grabs. Never fails.
    std::vector<HotKeyPress> handleEvent(const void* xcbGenericEvent);

    // Whether presses wait for their key or modifiers to be released.
    bool isWaiting() const { return !waiting_.empty(); }
    // The presses that wait, oldest first, no longer waiting (for when the wait ran out).
    std::vector<HotKeyPress> takeWaiting();

    // Fetches the keyboard mapping again and moves the grabs to match it.
    void renewGrabs();

private:
    struct Grab {
        std::uint32_t root;
        std::uint8_t keycode;
        std::uint16_t modifiers;
        bool operator==(const Grab&) const = default;
    };
    struct Registration {
        platform::WindowHandle window;
        int id;
        unsigned modifiers;
        unsigned virtualKey;
        std::vector<Grab> grabs; // held now
    };
    struct Keyboard {
        unsigned minKeycode = 0;
        unsigned perKeycode = 0;
        std::vector<std::uint32_t> keysyms;
        std::uint16_t numLockMask = 0;
    };

    void fetchKeyboard();
    // The core modifiers whose keys are held down now (a round trip).
    std::uint8_t pressedModifiers() const;
    std::vector<Grab> wantedGrabs(const Registration& registration) const;
    // Moves the registration's grabs to the wanted ones; false when the server refused one.
    bool updateGrabs(Registration& registration);
    bool heldByOther(const Grab& grab, const Registration& except) const;

    Display* display_ = nullptr; // set while XKB is usable
    xcb_connection_t* connection_ = nullptr;
    std::vector<std::uint32_t> roots_;
    int xkbEventBase_ = -1;
    Keyboard keyboard_;
    std::vector<Registration> registrations_;
    std::vector<HotKeyPress> waiting_;
    std::uint8_t waitModifiers_ = 0; // the core modifiers that must be up before waiting_ runs
    std::uint8_t heldKey_ = 0;       // the keycode of the hot key whose release is awaited, 0 for none
};

} // namespace valumat::x11
