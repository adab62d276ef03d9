// Synthetic key strokes on X11 (XTEST), and the table from Windows virtual-key codes to X keysyms.
//
// No X header is included here: the Qt side includes this file, and Xlib's macros (None, KeyPress, Bool, ...)
// clash with Qt's names.
#pragma once

#include "platform/platform.h"

#include <cstdint>
#include <vector>

// Xlib's connection type, declared exactly as Xlib and Qt declare it.
typedef struct _XDisplay Display;

namespace valumat::x11 {

// The keysym of a Windows virtual-key code as on a US layout (65 'A' gives the lower-case "a", 186 gives
// "semicolon"); 0 when the code names no key that can be sent.
std::uint32_t keysymForVirtualKey(std::uint8_t virtualKey);

// Key events into the X server's input stream, so that they reach the focused window.
//
// Each key goes out as the keycode that gives its keysym without modifiers in the keyboard group now in effect
// (so Ctrl+C stays Ctrl+C under a Cyrillic layout). A keysym the layout lacks there is put on a spare keycode (one
// without symbols) for the time being. Such keycodes stay mapped while the object lives, because an application
// may look the keycode up only when it handles the event, well after we sent it; at most kMaxBorrowedKeys are used,
// the least recently used one being taken over when more are needed. restoreKeyboard() and the destructor give them
// back.
//
// The extended-key flag chooses no other key here: each virtual-key code has exactly one keysym.
class X11KeyEvents final : public platform::KeyEvents {
public:
    static constexpr std::size_t kMaxBorrowedKeys = 8;

    // Uses the caller's connection (Qt's in the program); does not own it. The connection must outlive this object.
    explicit X11KeyEvents(Display* display);
    ~X11KeyEvents() override;
    X11KeyEvents(const X11KeyEvents&) = delete;
    X11KeyEvents& operator=(const X11KeyEvents&) = delete;

    // Fails with RuntimeError ("Ungültiger Prozeduraufruf oder ungültiges Argument") for a code without a keysym,
    // when no keycode can carry the key, and when the server lacks XTEST or XKB.
    void keyEvent(std::uint8_t virtualKey, std::uint32_t flags) override;

    // Releases the keys this object still holds down and clears the keycodes it borrowed. Never fails.
    void restoreKeyboard();

private:
    struct DownKey {
        std::uint8_t virtualKey;
        unsigned keycode;
    };
    struct BorrowedKey {
        unsigned keycode;
        std::uint32_t keysym;
        std::uint64_t lastUse;
    };
    class Keymap;

    void press(std::uint8_t virtualKey, std::uint32_t keysym);
    void release(std::uint8_t virtualKey, std::uint32_t keysym);
    unsigned borrowKeycode(const Keymap& keymap, std::uint32_t keysym);
    bool isDown(unsigned keycode) const;
    void fakeKey(unsigned keycode, bool down);

    Display* display_;
    bool usable_ = false;
    std::vector<DownKey> down_; // pressed by us, not yet released, oldest first
    std::vector<BorrowedKey> borrowed_;
    std::uint64_t useClock_ = 0;
};

} // namespace valumat::x11
