// The X11 backend: hot keys through X key grabs, key strokes through XTEST, the clipboard on Qt's X connection.
#pragma once

#include "platform/linux/backend.h"
#include "platform/linux/qtservices.h"

#include <memory>

namespace valumat::x11 {

// Made on Qt's X connection (the program runs on Qt's xcb platform); nullptr, after saying why, without one.
std::unique_ptr<qt::Backend> makeBackend(qt::Windows& windows);

} // namespace valumat::x11
