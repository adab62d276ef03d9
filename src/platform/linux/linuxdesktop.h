// The Linux desktop program: the shared Qt services with the chosen backend's (x11/, wayland/ or gnome/), the
// configuration window and its tray, the program's end on a signal, and the instance socket through which a second
// start shows the window and `valumat --hotkey N` runs a hot key.
#pragma once

#include "platform/linux/backend.h"
#include "platform/linux/localatoms.h"
#include "platform/linux/qtrates.h"
#include "platform/linux/qtservices.h"
#include "platform/linux/xdg/xdgautostart.h"
#include "platform/linux/xdg/xdgfolders.h"
#include "platform/platform.h"

#include <QString>

#include <memory>

class QLocalServer;

namespace valumat::wayland {
class Connection;
}

namespace valumat::qt {

enum class BackendKind { X11, Wayland, Gnome };

// One name per user and desktop session, whichever backend runs: a compositor's binding `valumat --hotkey N`
// must find the program.
QString instanceName();

class LinuxDesktop {
public:
    // connection: the Wayland connection the choice of the backend opened (Wayland only).
    LinuxDesktop(BackendKind kind, std::unique_ptr<wayland::Connection> connection);
    ~LinuxDesktop();
    LinuxDesktop(const LinuxDesktop&) = delete;
    LinuxDesktop& operator=(const LinuxDesktop&) = delete;

    // Runs the program until it ends; returns its exit status (2 when the backend could not be set up).
    int run(QLocalServer& instance);

private:
    Windows windows_;
    xdg::XdgAutostart autostart_;
    LocalAtoms atoms_;
    Sleeper sleeper_;
    MessagePump pump_;
    TrayIcon trayIcon_;
    RateLoader rates_;
    ShellOpen shell_;
    MessageBoxes boxes_;
    Process process_;
    xdg::XdgFolders folders_;
    std::unique_ptr<Backend> backend_;
    platform::Platform services_;
};

} // namespace valumat::qt
