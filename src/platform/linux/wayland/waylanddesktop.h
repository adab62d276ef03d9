// The Wayland backend: the clipboard through wlr data control, key strokes through a virtual keyboard (KWin: its
// fake input), hot keys through sway's IPC, KDE's KGlobalAccel under KWin, or `valumat --hotkey N` bound in the
// compositor.
#pragma once

#include "platform/linux/backend.h"
#include "platform/linux/qtservices.h"

#include <memory>

namespace valumat::wayland {

class Connection;

// On a connection that offers what the backend needs (Connection::missing() empty); nullptr, after saying why,
// when the key strokes cannot be set up.
std::unique_ptr<qt::Backend> makeBackend(std::unique_ptr<Connection> connection, qt::Windows& windows);

} // namespace valumat::wayland
