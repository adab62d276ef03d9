// mutter's remote-desktop service, which GNOME (and mutter alone) runs on the session bus.
#pragma once

namespace valumat::gnome {

inline constexpr const char* kService = "org.gnome.Mutter.RemoteDesktop";

// Whether the service runs on the session bus (asked without Qt, before the program chooses its desktop).
bool serviceRunning();

} // namespace valumat::gnome
