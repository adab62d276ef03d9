// The GNOME backend (GNOME on Wayland, or mutter alone): key strokes and the clipboard through mutter's
// remote-desktop service, hot keys as GNOME's own custom keyboard shortcuts that run `valumat --hotkey N`.
#pragma once

#include "platform/linux/backend.h"
#include "platform/linux/qtservices.h"

#include <functional>
#include <memory>
#include <string>

namespace valumat::gnome {

// hotKeySlot: the binding's row for a hot-key id (what `valumat --hotkey N` names); -1 for none. programPath: the
// command GNOME runs. nullptr, after saying why, when the service refuses a session.
std::unique_ptr<qt::Backend> makeBackend(qt::Windows& windows, std::function<int(int id)> hotKeySlot,
                                         const std::string& programPath);

} // namespace valumat::gnome
