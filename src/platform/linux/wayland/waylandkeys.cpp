#include "platform/linux/wayland/waylandkeys.h"

#include "platform/linux/wayland/connection.h"
#include "runtime/errors.h"

#include "fake-input-client.h"
#include "virtual-keyboard-unstable-v1-client.h"

#include <wayland-client.h>

#include <algorithm>
#include <chrono>

#include <sys/mman.h>
#include <unistd.h>

namespace valumat::wayland {

namespace {

constexpr std::uint32_t kKeymapFormatXkbV1 = 1; // wl_keyboard.keymap_format.xkb_v1
constexpr std::uint32_t kKeyReleased = 0;       // wl_keyboard.key_state
constexpr std::uint32_t kKeyPressed = 1;

std::uint32_t timestamp() {
    return static_cast<std::uint32_t>(
        std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now().time_since_epoch())
            .count());
}

// The keymap text in a memory file the compositor can map (with its final NUL, as wl_keyboard keymaps carry it).
int keymapFile(const std::string& text) {
    const int fd = ::memfd_create("valumat-keymap", MFD_CLOEXEC);
    if (fd < 0) {
        return -1;
    }
    const std::size_t size = text.size() + 1;
    std::size_t done = 0;
    while (done < size) {
        const ssize_t n = ::write(fd, text.c_str() + done, size - done);
        if (n <= 0) {
            ::close(fd);
            return -1;
        }
        done += static_cast<std::size_t>(n);
    }
    return fd;
}

} // namespace

KeyEvents::KeyEvents(Connection& connection) : connection_(connection) {
    const bool virtualKeyboard = connection_.virtualKeyboards() != nullptr && connection_.seat() != nullptr;
    if (!virtualKeyboard && connection_.fakeInput() == nullptr) {
        throw RuntimeError(err::kInvalidProcedureCall);
    }
    keymap_ = std::make_unique<UsKeymap>();
    modifiers_ = std::make_unique<ModifierState>(*keymap_);
    if (!virtualKeyboard) {
        // KWin asks who wants to send keys and why before it takes any (it grants the programs it lets bind the
        // interface at all).
        fakeInput_ = connection_.fakeInput();
        org_kde_kwin_fake_input_authenticate(fakeInput_, "Valumat",
                                             "Markierte Beträge umrechnen: Kopieren und Einfügen per Tastendruck");
        connection_.flush();
        return;
    }
    const std::string text = keymap_->text();
    const int fd = keymapFile(text);
    if (fd < 0) {
        throw RuntimeError(err::kInvalidProcedureCall);
    }
    keyboard_ =
        zwp_virtual_keyboard_manager_v1_create_virtual_keyboard(connection_.virtualKeyboards(), connection_.seat());
    zwp_virtual_keyboard_v1_keymap(keyboard_, kKeymapFormatXkbV1, fd, static_cast<std::uint32_t>(text.size() + 1));
    connection_.flush();
    ::close(fd);
}

KeyEvents::~KeyEvents() {
    releaseAll();
    if (keyboard_ != nullptr) {
        zwp_virtual_keyboard_v1_destroy(keyboard_);
        connection_.flush();
    }
}

void KeyEvents::send(unsigned evdevKey, bool down) {
    if (fakeInput_ != nullptr) {
        // KWin derives the modifiers from the keys itself.
        org_kde_kwin_fake_input_keyboard_key(fakeInput_, evdevKey, down ? kKeyPressed : kKeyReleased);
        connection_.flush();
        ++sent_;
        return;
    }
    zwp_virtual_keyboard_v1_key(keyboard_, timestamp(), evdevKey, down ? 1 : 0);
    // The compositor takes the modifier state from us: it does not derive it from the keys of a virtual keyboard.
    if (modifiers_->update(evdevKey, down)) {
        zwp_virtual_keyboard_v1_modifiers(keyboard_, modifiers_->depressed(), modifiers_->latched(),
                                          modifiers_->locked(), modifiers_->group());
    }
    connection_.flush();
    ++sent_;
}

void KeyEvents::keyEvent(std::uint8_t virtualKey, std::uint32_t flags) {
    const unsigned key = evdevKeyForVirtualKey(virtualKey);
    if (key == 0 || (keyboard_ == nullptr && fakeInput_ == nullptr)) {
        throw RuntimeError(err::kInvalidProcedureCall);
    }
    const bool up = (flags & platform::kKeyEventKeyUp) != 0;
    const auto it = std::find(down_.begin(), down_.end(), key);
    if (up) {
        // Releasing a key that is not down sends nothing: the compositor's state of this keyboard knows only ours.
        if (it != down_.end()) {
            down_.erase(it);
            send(key, false);
        }
        return;
    }
    if (it != down_.end()) {
        send(key, false); // a key pressed twice goes up first, as a real one would repeat
    } else {
        down_.push_back(key);
    }
    send(key, true);
}

void KeyEvents::releaseAll() {
    while (!down_.empty()) {
        const unsigned key = down_.back();
        down_.pop_back();
        send(key, false);
    }
}

} // namespace valumat::wayland
