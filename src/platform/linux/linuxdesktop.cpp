#include "platform/linux/linuxdesktop.h"

#include "platform/linux/gnome/gnomedesktop.h"
#include "platform/linux/ui/configwindowview.h"
#include "platform/linux/ui/icons.h"
#include "platform/linux/ui/modalhost.h"
#include "platform/linux/ui/traymenu.h"
#include "platform/linux/wayland/connection.h"
#include "platform/linux/wayland/waylanddesktop.h"
#include "platform/linux/x11/x11desktop.h"
#include "runtime/tables.h"
#include "runtime/text.h"
#include "shell/startup.h"

#include <QApplication>
#include <QCoreApplication>
#include <QFileInfo>
#include <QLocalServer>
#include <QLocalSocket>
#include <QSocketNotifier>
#include <QWidget>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

namespace valumat::qt {

namespace {

// SIGTERM, SIGINT and SIGHUP end the program the orderly way: a running script stops at its next line and gives the
// user's clipboard back, then the event loops end. The handler only writes to a pipe that the event loop watches.
int signalPipe[2] = {-1, -1};

extern "C" void onEndSignal(int) {
    const char byte = 1;
    [[maybe_unused]] const ssize_t written = ::write(signalPipe[1], &byte, 1);
}

bool catchEndSignals() {
    if (::pipe2(signalPipe, O_CLOEXEC | O_NONBLOCK) != 0) {
        return false;
    }
    struct sigaction action {};
    action.sa_handler = onEndSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (int signal : {SIGTERM, SIGINT, SIGHUP}) {
        sigaction(signal, &action, nullptr);
    }
    return true;
}

} // namespace

// One name per user and desktop session, whichever backend runs: a compositor's binding `valumat --hotkey N`
// must find the program. The socket lives in the user's runtime folder when there is one (private, emptied at
// logout), else in the temporary folder under the user's number: another user's program, or a socket left behind
// by one, is never in the way.
QString instanceName() {
    const QByteArray wayland = qgetenv("WAYLAND_DISPLAY");
    const QString display = QString::fromLocal8Bit(wayland.isEmpty() ? qgetenv("DISPLAY") : "wayland-" + wayland);
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (!runtime.isEmpty() && QFileInfo(runtime).isDir()) {
        return runtime + QStringLiteral("/valumat-") + display;
    }
    return QStringLiteral("valumat-%1-%2").arg(::getuid()).arg(display);
}

LinuxDesktop::LinuxDesktop(BackendKind kind, std::unique_ptr<wayland::Connection> connection)
    : trayIcon_(qtui::valumatIcon()), folders_(VALUMAT_RELATIVE_DATA_FOLDER) {
    if (kind == BackendKind::X11) {
        backend_ = x11::makeBackend(windows_);
    } else if (kind == BackendKind::Wayland) {
        backend_ = wayland::makeBackend(std::move(connection), windows_);
    } else {
        // GNOME runs `valumat --hotkey N`: the hot-key ids are the atoms "Rate<N>".
        const auto slotOf = [this](int id) {
            const std::string name = atoms_.name(static_cast<std::uint16_t>(id));
            const std::string prefix = foldNoCase("Rate");
            return name.rfind(prefix, 0) == 0 ? std::atoi(name.c_str() + prefix.size()) : -1;
        };
        backend_ = gnome::makeBackend(windows_, slotOf, process_.programPath());
    }
    services_.atoms = &atoms_;
    services_.sleeper = &sleeper_;
    services_.pump = &pump_;
    services_.windowHook = &windows_;
    services_.tray = &trayIcon_;
    services_.rates = &rates_;
    services_.shell = &shell_;
    services_.autostart = &autostart_;
    services_.messageBoxes = &boxes_;
    services_.process = &process_;
    services_.folders = &folders_;
    if (backend_) {
        services_.hotKeys = &backend_->hotKeys();
        services_.keyEvents = &backend_->keyEvents();
        services_.clipboard = &backend_->clipboard();
        trayIcon_.activateOpens = backend_->clickOpens();
        // Ended at once (the error box's "Nein"): what the desktop lent us goes back all the same.
        process_.beforeEnd = [this] { backend_->giveBack(); };
    }
}

LinuxDesktop::~LinuxDesktop() = default;

int LinuxDesktop::run(QLocalServer& instance) {
    if (!backend_) {
        return 2;
    }
    AppState state(services_);
    std::unique_ptr<QSocketNotifier> endSignals;
    if (catchEndSignals()) {
        endSignals = std::make_unique<QSocketNotifier>(signalPipe[0], QSocketNotifier::Read);
        QObject::connect(endSignals.get(), &QSocketNotifier::activated, [this, &state] {
            char bytes[16];
            while (::read(signalPipe[0], bytes, sizeof bytes) > 0) {
            }
            if (state.endRequested) {
                return;
            }
            std::fprintf(stderr, "valumat: beendet durch ein Signal\n");
            state.endRequested = true; // a running script stops and restores the clipboard
            backend_->abandonWaits();
            QCoreApplication::exit(0); // every running event loop returns
        });
    }
    state.configWindow = windows_.create();
    windows_.delivered = [](unsigned message, std::intptr_t id) {
        if (message == platform::kWmHotKey) {
            std::fprintf(stderr, "valumat: Tastenkombination %d erledigt\n", static_cast<int>(id));
        }
    };

    qtui::QtModalHost modal;
    shell::Program program(state, modal);
    ui::ConfigWindow& window = program.window;
    program.quit = [] { QCoreApplication::exit(0); };
    int status = 0;
    {
        // The start-up first (the hot keys go live in it), the widgets after: they mirror the window's state as it
        // is then, and building them (fonts, styles) is the slowest part of the start.
        qtui::TrayMenu menu(program.tray);
        std::unique_ptr<qtui::ConfigWindowView> view;
        program.tray.popupMenu = [&view, &menu] {
            if (view) {
                view->widget()->activateWindow();
            }
            menu.popup();
        };
        program.Form_Load();
        if (backend_) {
            backend_->settleHotKeys();
        }
        std::fprintf(stderr, "valumat: bereit\n");
        if (!program.unloaded()) {
            view = std::make_unique<qtui::ConfigWindowView>(window);
            modal.setOwner(view->widget());
            // A second start: "show" shows the window; "hotkey N" runs the hot key of binding N.
            QObject::connect(
                &instance, &QLocalServer::newConnection, &instance, [&instance, &program, &window, &state, this] {
                    while (QLocalSocket* peer = instance.nextPendingConnection()) {
                        QObject::connect(peer, &QLocalSocket::disconnected, peer, &QObject::deleteLater);
                        QObject::connect(peer, &QLocalSocket::readyRead, peer, [peer, &program, &window, &state, this] {
                            while (peer->canReadLine()) {
                                const QByteArray line = peer->readLine().trimmed();
                                if (line.startsWith("hotkey ")) {
                                    bool ok = false;
                                    const int slot = line.mid(7).trimmed().toInt(&ok);
                                    const bool known =
                                        ok && slot >= 0 && slot < static_cast<int>(state.hotKeys.size()) &&
                                        state.hotKeys[static_cast<std::size_t>(slot)].registered != 0 && state.hooked;
                                    if (known) {
                                        const auto id =
                                            static_cast<std::int16_t>(state.hotKeys[static_cast<std::size_t>(slot)].id);
                                        windows_.postHotKey(state.hookWindow, id);
                                    }
                                    peer->write(known ? "ok\n" : "unknown\n");
                                } else if (!program.unloaded()) {
                                    program.tray.HideTray(false);
                                    window.form.refresh();
                                }
                            }
                        });
                    }
                });
            if (!trayIcon_.available()) {
                std::fprintf(stderr, "valumat: kein Infobereich (System-Tray) gefunden; ein zweiter Start von "
                                     "valumat zeigt das Fenster.\n");
            }
            status = QApplication::exec();
        }
        program.tray.popupMenu = nullptr;
        modal.setOwner(nullptr);
    }
    backend_->releaseKeys();
    return status;
}

} // namespace valumat::qt
