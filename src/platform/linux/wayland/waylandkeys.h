// Synthetic key strokes on Wayland: a virtual keyboard of our own on the seat, with a US layout. The compositor
// sends its keys to the application with the keyboard focus, with this keyboard's modifier state: the keys the user
// still holds on the real keyboard do not mix into our Ctrl+C and Ctrl+V.
// KWin has no virtual keyboard for programs: there the keys go through its fake input, as keys of its own input
// device. KWin reads them with the user's layout and modifier state, as if typed (the keys Valumat sends, Ctrl,
// Shift, C, V, the arrows, sit in the same places on the common layouts).
#pragma once

#include "platform/linux/wayland/keymap.h"
#include "platform/platform.h"

#include <cstdint>
#include <memory>
#include <vector>

struct zwp_virtual_keyboard_v1;
struct org_kde_kwin_fake_input;

namespace valumat::wayland {

class Connection;

class KeyEvents final : public platform::KeyEvents {
public:
    // Fails with RuntimeError when the compositor offers neither a virtual keyboard nor fake input, or the layout
    // cannot be built. The virtual keyboard is preferred when both are there.
    explicit KeyEvents(Connection& connection);
    // Releases the keys still down.
    ~KeyEvents() override;
    KeyEvents(const KeyEvents&) = delete;
    KeyEvents& operator=(const KeyEvents&) = delete;

    // Fails with RuntimeError ("Ungültiger Prozeduraufruf oder ungültiges Argument") for a code without a key.
    void keyEvent(std::uint8_t virtualKey, std::uint32_t flags) override;

    // Releases the keys this object still holds down. Never fails.
    void releaseAll();

    // Key events sent so far.
    std::uint64_t sent() const { return sent_; }

    // True when the keys go through KWin's fake input.
    bool fakeInput() const { return fakeInput_ != nullptr; }

    // The combination as the compositor's bindings write it ("Ctrl+d").
    const UsKeymap& keymap() const { return *keymap_; }

private:
    void send(unsigned evdevKey, bool down);

    Connection& connection_;
    std::unique_ptr<UsKeymap> keymap_;
    std::unique_ptr<ModifierState> modifiers_;
    zwp_virtual_keyboard_v1* keyboard_ = nullptr;
    org_kde_kwin_fake_input* fakeInput_ = nullptr; // owned by the connection
    std::vector<unsigned> down_;                   // evdev keys pressed by us, not yet released
    std::uint64_t sent_ = 0;
};

} // namespace valumat::wayland
