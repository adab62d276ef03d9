#include "xserver.h"

#include <X11/XKBlib.h>
#include <X11/extensions/XTest.h>

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace valumat::x11::test {

bool Xvfb::installed() {
    const char* path = std::getenv("PATH");
    std::string directories = path != nullptr ? path : "/usr/bin:/bin";
    directories += ':';
    for (std::size_t start = 0, colon; (colon = directories.find(':', start)) != std::string::npos; start = colon + 1) {
        const std::string candidate = directories.substr(start, colon - start) + "/Xvfb";
        if (colon > start && access(candidate.c_str(), X_OK) == 0) {
            return true;
        }
    }
    return false;
}

std::string Xvfb::start() {
    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0) {
        return "pipe failed";
    }
    pid_ = fork();
    if (pid_ < 0) {
        close(fds[0]);
        close(fds[1]);
        return "fork failed";
    }
    if (pid_ == 0) {
        // The write end must survive exec; the server writes its display number there once it accepts clients.
        const int writer = dup(fds[1]);
        const int null = open("/dev/null", O_RDWR);
        dup2(null, 0);
        dup2(null, 1);
        dup2(null, 2);
        const std::string fd = std::to_string(writer);
        execlp("Xvfb", "Xvfb", "-displayfd", fd.c_str(), "-nolisten", "tcp", "-noreset", "-screen", "0", "320x240x24",
               static_cast<char*>(nullptr));
        _exit(127);
    }
    close(fds[1]);
    std::string number;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (number.find('\n') == std::string::npos) {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now()).count();
        pollfd reader{fds[0], POLLIN, 0};
        if (left <= 0 || poll(&reader, 1, static_cast<int>(left)) <= 0) {
            close(fds[0]);
            return "Xvfb did not report a display within 30 s";
        }
        char buffer[32];
        const ssize_t got = read(fds[0], buffer, sizeof buffer);
        if (got <= 0) {
            close(fds[0]);
            return "Xvfb ended before it reported a display";
        }
        number.append(buffer, static_cast<std::size_t>(got));
    }
    close(fds[0]);
    name_ = ":" + number.substr(0, number.find('\n'));
    return "";
}

Xvfb::~Xvfb() {
    if (pid_ <= 0) {
        return;
    }
    kill(pid_, SIGTERM);
    for (int i = 0; i < 100; ++i) {
        if (waitpid(pid_, nullptr, WNOHANG) == pid_) {
            return;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    kill(pid_, SIGKILL);
    waitpid(pid_, nullptr, 0);
}

void XServerTest::SetUp() {
    if (!Xvfb::installed()) {
        GTEST_SKIP() << "Xvfb is not installed";
    }
    const std::string problem = server_.start();
    ASSERT_EQ(problem, "");
}

void XServerTest::TearDown() {
    for (auto it = displays_.rbegin(); it != displays_.rend(); ++it) {
        XCloseDisplay(*it);
    }
    displays_.clear();
}

Display* XServerTest::openDisplay() {
    Display* display = XOpenDisplay(server_.name().c_str());
    if (display != nullptr) {
        displays_.push_back(display);
    }
    return display;
}

std::vector<KeySym> keysymsOf(Display* display, unsigned keycode) {
    int perKeycode = 0;
    KeySym* keysyms = XGetKeyboardMapping(display, static_cast<KeyCode>(keycode), 1, &perKeycode);
    std::vector<KeySym> result;
    if (keysyms != nullptr) {
        result.assign(keysyms, keysyms + perKeycode);
        XFree(keysyms);
    }
    while (!result.empty() && result.back() == NoSymbol) {
        result.pop_back();
    }
    return result;
}

unsigned keycodeOf(Display* display, KeySym keysym) {
    int minKeycode = 0;
    int maxKeycode = 0;
    XDisplayKeycodes(display, &minKeycode, &maxKeycode);
    for (int keycode = minKeycode; keycode <= maxKeycode; ++keycode) {
        for (const KeySym candidate : keysymsOf(display, static_cast<unsigned>(keycode))) {
            if (candidate == keysym) {
                return static_cast<unsigned>(keycode);
            }
        }
    }
    return 0;
}

unsigned spareKeycode(Display* display) {
    int minKeycode = 0;
    int maxKeycode = 0;
    XDisplayKeycodes(display, &minKeycode, &maxKeycode);
    for (int keycode = maxKeycode; keycode >= minKeycode; --keycode) {
        if (keysymsOf(display, static_cast<unsigned>(keycode)).empty()) {
            return static_cast<unsigned>(keycode);
        }
    }
    return 0;
}

void setKeysyms(Display* display, unsigned keycode, std::vector<KeySym> keysyms) {
    if (keysyms.empty()) {
        keysyms.push_back(NoSymbol);
    }
    XChangeKeyboardMapping(display, static_cast<int>(keycode), static_cast<int>(keysyms.size()), keysyms.data(), 1);
    XSync(display, False);
}

void fakeKey(Display* display, unsigned keycode, bool down) {
    XTestFakeKeyEvent(display, keycode, down ? True : False, CurrentTime);
    XSync(display, False);
}

void tap(Display* display, const std::vector<unsigned>& keycodes) {
    for (const unsigned keycode : keycodes) {
        fakeKey(display, keycode, true);
    }
    for (auto it = keycodes.rbegin(); it != keycodes.rend(); ++it) {
        fakeKey(display, *it, false);
    }
}

bool allKeysUp(Display* display) {
    char keys[32];
    XQueryKeymap(display, keys);
    for (const char byte : keys) {
        if (byte != 0) {
            return false;
        }
    }
    return true;
}

KeySym translate(Display* display, unsigned keycode, unsigned state) {
    XkbDescPtr keyboard = XkbGetMap(display, XkbAllClientInfoMask, XkbUseCoreKbd);
    if (keyboard == nullptr) {
        return NoSymbol;
    }
    unsigned consumed = 0;
    KeySym keysym = NoSymbol;
    XkbTranslateKeyCode(keyboard, static_cast<KeyCode>(keycode), state, &consumed, &keysym);
    XkbFreeKeyboard(keyboard, XkbAllComponentsMask, True);
    return keysym;
}

} // namespace valumat::x11::test
