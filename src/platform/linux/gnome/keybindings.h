// GNOME's custom keyboard shortcuts as gnome-settings-daemon reads them from GSettings: the list
// `custom-keybindings` of org.gnome.settings-daemon.plugins.media-keys names one path per shortcut, and each path holds
// name, command and binding (schema org.gnome.settings-daemon.plugins.media-keys.custom-keybinding). GNOME runs the
// command when the combination is pressed.
//
// Valumat's shortcuts live under paths of their own (…/custom-keybindings/valumat<slot>/): the user's entries are
// never touched, ours are replaced as a whole on every write, so none pile up over restarts or a crash.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace valumat::gnome {

// A combination as GNOME writes it: "<Control>d", "<Shift><Control>F5"; "" when the key has no name there.
// Modifiers as platform::kModControl with wayland-style Alt (1), Shift (4) and Super (8).
std::string accelerator(unsigned modifiers, std::uint8_t virtualKey);

// The same combination in a form that compares: "<Primary>D", "<ctrl>d" and "<Control>d" alike.
std::string normalAccelerator(const std::string& accelerator);

struct CustomBinding {
    int slot = 0;            // the binding's row in Valumat's list
    std::string name;        // shown in GNOME's keyboard settings
    std::string accelerator; // "<Control>d"
    std::string command;     // "'/usr/bin/valumat' --hotkey 0"
};

class CustomKeybindings {
public:
    // False when the schemas are not installed (gnome-settings-daemon's data missing).
    static bool available();

    // Makes our entries exactly `bindings` (none: all of ours go), leaving the user's own as they are. Never fails.
    static void write(const std::vector<CustomBinding>& bindings);

    // Our entries as written now (for tests and the start-up message).
    static std::vector<CustomBinding> ours();

    // Who in GNOME uses the combination already (a window-manager, shell or settings-daemon key, or one of the user's
    // own shortcuts): a description such as "org.gnome.desktop.wm.keybindings close"; "" when nobody does.
    static std::string usedBy(const std::string& accelerator);

    static constexpr const char* kPathPrefix =
        "/org/gnome/settings-daemon/plugins/media-keys/custom-keybindings/valumat";
};

} // namespace valumat::gnome
