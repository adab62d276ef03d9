// Global hot keys under GNOME: custom keyboard shortcuts of GNOME's settings (keybindings.h), each running
// `valumat --hotkey N`, which hands binding N to the running program. Written when a hot key is registered or
// removed; a combination GNOME or the user's own shortcuts use already is refused.
//
// Every write goes through GSettings, which reads and writes the whole settings database: the registrations of a
// start or an "Ok" are written once, together, when the caller gives a way to run the write later.
#pragma once

#include "platform/linux/gnome/keybindings.h"
#include "platform/platform.h"

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace valumat::gnome {

class HotKeys final : public platform::HotKeys {
public:
    using Later = std::function<void(std::function<void()>)>;
    // hotKeySlot: the binding's row for a hot-key id; programPath: the program GNOME starts; later: runs a write
    // once the current event is handled (none: each change is written at once).
    HotKeys(std::function<int(int id)> hotKeySlot, std::string programPath, Later later = nullptr);
    // Our shortcuts go.
    ~HotKeys() override;
    HotKeys(const HotKeys&) = delete;
    HotKeys& operator=(const HotKeys&) = delete;

    bool registerHotKey(platform::WindowHandle window, int id, unsigned modifiers, unsigned virtualKey) override;
    bool unregisterHotKey(platform::WindowHandle window, int id) override;
    // Takes every shortcut of ours away (the program ends at once).
    void clear();
    // Writes a pending change now.
    void flushPending() {
        if (pending_) {
            flush();
        }
    }

    // The command for binding N: the program's path (quoted for GNOME's command line) and "--hotkey N".
    static std::string command(const std::string& programPath, int slot);

private:
    struct Registration {
        platform::WindowHandle window;
        int id;
        CustomBinding binding;
    };
    void write();
    void flush();

    std::function<int(int)> hotKeySlot_;
    std::string programPath_;
    std::vector<Registration> registrations_;
    Later later_;
    bool pending_ = false;
    std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
    bool tracing_ = false;
};

} // namespace valumat::gnome
