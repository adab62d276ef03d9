// A private Xvfb server per test, and small Xlib helpers for the X11 backend tests.
#pragma once

// gtest first: Xlib's macros (None, Bool, ...) would break its templates.
#include <gtest/gtest.h>

#include <X11/Xlib.h>

#include <string>
#include <sys/types.h>
#include <vector>

namespace valumat::x11::test {

// Starts "Xvfb -displayfd" on a free display number; stops it in the destructor.
class Xvfb {
public:
    Xvfb() = default;
    ~Xvfb();
    Xvfb(const Xvfb&) = delete;
    Xvfb& operator=(const Xvfb&) = delete;

    static bool installed();
    // Returns an explanation when the server did not come up, "" on success.
    std::string start();
    const std::string& name() const { return name_; }

private:
    pid_t pid_ = -1;
    std::string name_;
};

// A fixture with its own server; connections opened through it are closed before the server stops.
class XServerTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;
    Display* openDisplay();

private:
    Xvfb server_;
    std::vector<Display*> displays_;
};

// The keyboard as the server has it now (no Xlib cache).
std::vector<KeySym> keysymsOf(Display* display, unsigned keycode);
// The first keycode carrying the keysym in any column; 0 when none does.
unsigned keycodeOf(Display* display, KeySym keysym);
// The highest keycode without any keysym; 0 when none is free.
unsigned spareKeycode(Display* display);
// Maps one keycode to the given keysyms (core request), and waits until the server did it.
void setKeysyms(Display* display, unsigned keycode, std::vector<KeySym> keysyms);
// Presses or releases a key through XTEST and waits until the server handled it.
void fakeKey(Display* display, unsigned keycode, bool down);
// Presses the keys in order and releases them in reverse order.
void tap(Display* display, const std::vector<unsigned>& keycodes);
// True when no key is down on the server's keyboard.
bool allKeysUp(Display* display);
// The keysym a client sees for a key event: the server's current layout, with the event's modifiers and group.
KeySym translate(Display* display, unsigned keycode, unsigned state);

} // namespace valumat::x11::test
