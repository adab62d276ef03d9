// Global hot keys under GNOME: custom keyboard shortcuts of GNOME's settings (keybindings.h), each running
// `valumat --hotkey N`, which hands binding N to the running program. Written when a hot key is registered or
// removed; a combination GNOME or the user's own shortcuts use already is refused.
#pragma once

#include "platform/linux/gnome/keybindings.h"
#include "platform/platform.h"

#include <functional>
#include <string>
#include <vector>

namespace valumat::gnome {

class HotKeys final : public platform::HotKeys {
public:
    // hotKeySlot: the binding's row for a hot-key id; programPath: the program GNOME starts.
    HotKeys(std::function<int(int id)> hotKeySlot, std::string programPath);
    // Our shortcuts go.
    ~HotKeys() override;
    HotKeys(const HotKeys&) = delete;
    HotKeys& operator=(const HotKeys&) = delete;

    bool registerHotKey(platform::WindowHandle window, int id, unsigned modifiers, unsigned virtualKey) override;
    bool unregisterHotKey(platform::WindowHandle window, int id) override;
    // Takes every shortcut of ours away (the program ends at once).
    void clear();

    // The command for binding N: the program's path (quoted for GNOME's command line) and "--hotkey N".
    static std::string command(const std::string& programPath, int slot);

private:
    struct Registration {
        platform::WindowHandle window;
        int id;
        CustomBinding binding;
    };
    void write();

    std::function<int(int)> hotKeySlot_;
    std::string programPath_;
    std::vector<Registration> registrations_;
    bool tracing_ = false;
};

} // namespace valumat::gnome
