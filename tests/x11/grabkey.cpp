// Holds a key combination the way another program does: a passive grab on the root window, with and without
// NumLock and CapsLock, until it is ended. The end-to-end test starts it before Valumat to see the refusal shown.
//
//   valumat_grab_key KEYSYM [ctrl]     e.g. valumat_grab_key d ctrl
#include <X11/Xlib.h>
#include <X11/keysym.h>

#include <cstdio>
#include <cstring>
#include <initializer_list>

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: valumat_grab_key KEYSYM [ctrl]\n");
        return 2;
    }
    Display* display = XOpenDisplay(nullptr);
    if (display == nullptr) {
        std::fprintf(stderr, "valumat_grab_key: no X display\n");
        return 1;
    }
    const KeyCode code = XKeysymToKeycode(display, XStringToKeysym(argv[1]));
    if (code == 0) {
        std::fprintf(stderr, "valumat_grab_key: no key for %s\n", argv[1]);
        return 1;
    }
    const unsigned modifiers = argc > 2 && std::strcmp(argv[2], "ctrl") == 0 ? ControlMask : 0;
    const Window root = XDefaultRootWindow(display);
    for (const unsigned locks : {0u, static_cast<unsigned>(LockMask), static_cast<unsigned>(Mod2Mask),
                                 static_cast<unsigned>(LockMask | Mod2Mask)}) {
        XGrabKey(display, code, modifiers | locks, root, True, GrabModeAsync, GrabModeAsync);
    }
    XSync(display, False);
    std::printf("grabbed\n");
    std::fflush(stdout);
    for (;;) {
        XEvent event;
        XNextEvent(display, &event);
    }
}
