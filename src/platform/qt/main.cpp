// valumat for Linux: the configuration window and dialogs in Qt Widgets, autostart through an XDG autostart entry,
// and the desktop services of one of two backends, chosen at start:
// - X11: hot keys through X key grabs, synthetic key strokes through XTEST, the clipboard through Qt;
// - Wayland: the clipboard through wlr data control, key strokes through a virtual keyboard (KWin: its fake input),
//   hot keys through sway's IPC, KDE's KGlobalAccel under KWin, or `valumat --hotkey N` bound in the compositor.
// Wayland when WAYLAND_DISPLAY is set and the compositor offers the clipboard and the key strokes, X11 otherwise;
// VALUMAT_PLATFORM=x11 or wayland chooses one.
#include "platform/qt/configwindowview.h"
#include "platform/qt/icons.h"
#include "platform/qt/localatoms.h"
#include "platform/qt/modalhost.h"
#include "platform/qt/qtdesktop.h"
#include "platform/qt/qtrates.h"
#include "platform/qt/traymenu.h"
#include "platform/wayland/connection.h"
#include "platform/wayland/swayhotkeys.h"
#include "platform/wayland/waylandclipboard.h"
#include "platform/wayland/waylandkeys.h"
#include "platform/x11/x11hotkeys.h"
#include "platform/x11/x11keys.h"
#include "platform/x11/xdgautostart.h"
#include "platform/xdg/xdgfolders.h"
#include "runtime/errors.h"
#include "runtime/tables.h"
#include "shell/startup.h"

#include <QAbstractNativeEventFilter>
#include <QApplication>
#include <QFileInfo>
#include <QLocalServer>
#include <QLocalSocket>
#include <QSocketNotifier>
#include <QTimer>
#include <QWidget>
#include <QtGui/qguiapplication_platform.h>

#include <cstdio>
#include <cstring>
#include <memory>
#include <string>

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

namespace {

using namespace valumat;

// Hot-key presses arrive as key events on Qt's X connection: they become hot-key messages to the configuration
// window, delivered by the event loop (and so by every message pump of a running script). A press made while the
// user still holds its modifiers goes out once they are let go of, or when the wait runs out.
class HotKeyFilter final : public QAbstractNativeEventFilter {
public:
    HotKeyFilter(x11::X11HotKeys& hotKeys, qt::Windows& windows) : hotKeys_(hotKeys), windows_(windows) {
        releaseWait_.setSingleShot(true);
        releaseWait_.setInterval(x11::X11HotKeys::kReleaseWaitMs);
        QObject::connect(&releaseWait_, &QTimer::timeout, [this] { post(hotKeys_.takeWaiting()); });
    }
    bool nativeEventFilter(const QByteArray& eventType, void* message, qintptr*) override {
        if (eventType != "xcb_generic_event_t") {
            return false;
        }
        const bool waited = hotKeys_.isWaiting();
        post(hotKeys_.handleEvent(message));
        if (!hotKeys_.isWaiting()) {
            releaseWait_.stop();
        } else if (!waited) {
            releaseWait_.start();
        }
        // Qt still sees the event: it keeps Qt's idea of the server time fresh, which taking the clipboard needs.
        return false;
    }

private:
    void post(const std::vector<x11::HotKeyPress>& presses) {
        for (const auto& press : presses) {
            std::fprintf(stderr, "valumat: Tastenkombination %d\n", press.id);
            windows_.post(press.window, platform::kWmHotKey, press.id, 0);
        }
    }

    x11::X11HotKeys& hotKeys_;
    qt::Windows& windows_;
    QTimer releaseWait_;
};

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

// `valumat --hotkey N`: the running program runs the hot key of binding N (its row in the list, from 0).
int sendHotKey(int argc, char** argv, const char* slot) {
    QCoreApplication app(argc, argv);
    QLocalSocket peer;
    peer.connectToServer(instanceName());
    if (!peer.waitForConnected(1000)) {
        std::fprintf(stderr, "valumat: Valumat läuft nicht.\n");
        return 1;
    }
    peer.write(QByteArray("hotkey ") + slot + "\n");
    peer.waitForBytesWritten(1000);
    peer.waitForReadyRead(1000);
    const QByteArray answer = peer.readAll().trimmed();
    if (answer != "ok") {
        std::fprintf(stderr, "valumat: keine Tastenkombination %s.\n", slot);
        return 1;
    }
    return 0;
}

QtMessageHandler previousMessageHandler = nullptr;

void quietBufferIntegration(QtMsgType type, const QMessageLogContext& context, const QString& message) {
    const bool aboutIntegration = message.contains(QLatin1String("client buffer integration"));
    if (aboutIntegration && context.category != nullptr && std::strcmp(context.category, "qt.qpa.wayland") == 0) {
        return;
    }
    if (previousMessageHandler != nullptr) {
        previousMessageHandler(type, context, message);
    }
}

enum class Backend { X11, Wayland };

// The backend to use, decided before Qt starts (Qt's own platform follows it). An open Wayland connection is handed
// over in `wayland` when that backend was chosen. Returns false (after saying why) when neither can run.
bool chooseBackend(Backend& backend, std::unique_ptr<wayland::Connection>& wayland) {
    const QByteArray forced = qgetenv("VALUMAT_PLATFORM");
    const bool haveX11 = !qEnvironmentVariableIsEmpty("DISPLAY");
    const bool haveWayland = !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY");
    if (!forced.isEmpty() && forced != "x11" && forced != "wayland") {
        std::fprintf(stderr, "valumat: VALUMAT_PLATFORM=%s ist unbekannt (x11 oder wayland).\n", forced.constData());
        return false;
    }
    if (forced == "x11" || (forced.isEmpty() && !haveWayland)) {
        if (!haveX11) {
            std::fprintf(stderr, "valumat: keine X11-Sitzung (DISPLAY ist nicht gesetzt) und keine Wayland-Sitzung "
                                 "(WAYLAND_DISPLAY ist nicht gesetzt).\n");
            return false;
        }
        backend = Backend::X11;
        return true;
    }
    auto connection = std::make_unique<wayland::Connection>();
    const std::string missing = connection->missing();
    if (missing.empty()) {
        backend = Backend::Wayland;
        wayland = std::move(connection);
        return true;
    }
    std::fprintf(stderr, "valumat: der Wayland-Compositor bietet nicht an: %s.\n", missing.c_str());
    if (forced.isEmpty() && haveX11) {
        std::fprintf(stderr, "valumat: Valumat läuft deshalb über XWayland (X11): Umrechnen geht nur in "
                             "X11-Anwendungen. Unter GNOME siehe README (Desktops).\n");
        backend = Backend::X11;
        return true;
    }
    std::fprintf(stderr, "valumat: ohne diese Dienste kann Valumat unter Wayland nicht umrechnen; mit XWayland "
                         "(DISPLAY) läuft es über X11.\n");
    return false;
}

} // namespace

int main(int argc, char** argv) {
    for (int i = 1; i + 1 < argc; ++i) {
        if (std::strcmp(argv[i], "--hotkey") == 0) {
            return sendHotKey(argc, argv, argv[i + 1]);
        }
    }
    Backend backend = Backend::X11;
    std::unique_ptr<wayland::Connection> waylandConnection;
    if (!chooseBackend(backend, waylandConnection)) {
        return 2;
    }
    if (backend == Backend::X11) {
        qputenv("QT_QPA_PLATFORM", "xcb"); // hot keys and key strokes need X11
    } else {
        if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
            qputenv("QT_QPA_PLATFORM", "wayland");
        }
        // The widgets draw into shared memory and need no GL: naming no buffer integration keeps Qt from loading EGL
        // and the GL driver, some 50 MiB of resident memory. Qt's two lines about it are not shown.
        if (qEnvironmentVariableIsEmpty("QT_WAYLAND_CLIENT_BUFFER_INTEGRATION")) {
            qputenv("QT_WAYLAND_CLIENT_BUFFER_INTEGRATION", "none");
            previousMessageHandler = qInstallMessageHandler(quietBufferIntegration);
        }
    }
    QApplication app(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);
    QApplication::setApplicationName(QStringLiteral("Valumat"));
    QApplication::setWindowIcon(qtui::valumatIcon());

    // One program per session: a second start shows the running program's window and ends.
    {
        QLocalSocket probe;
        probe.connectToServer(instanceName());
        if (probe.waitForConnected(500)) {
            probe.write("show\n");
            probe.waitForBytesWritten(500);
            std::fprintf(stderr, "valumat: Valumat läuft bereits; das Fenster des laufenden Programms wird "
                                 "angezeigt.\n");
            return 0;
        }
    }
    QLocalServer::removeServer(instanceName());
    QLocalServer instance;
    instance.listen(instanceName());

    qt::Windows windows;
    x11::XdgAutostart autostart;
    qt::LocalAtoms atoms;
    qt::Sleeper sleeper;
    qt::MessagePump pump;
    qt::TrayIcon trayIcon(qtui::valumatIcon());
    qt::TooltipTray tray(trayIcon);
    qt::RateLoader rates;
    qt::ShellOpen shell;
    qt::MessageBoxes boxes;
    qt::Process process;
    xdg::XdgFolders folders(VALUMAT_RELATIVE_DATA_FOLDER);

    platform::Platform services;
    services.atoms = &atoms;
    services.sleeper = &sleeper;
    services.pump = &pump;
    services.windowHook = &windows;
    services.tray = &tray;
    services.shell = &shell;
    services.autostart = &autostart;
    services.messageBoxes = &boxes;
    services.process = &process;
    services.folders = &folders;
    services.rates = &rates;

    // The backend's services. X11: on Qt's X connection. Wayland: on a connection of our own.
    std::unique_ptr<x11::X11HotKeys> x11HotKeys;
    std::unique_ptr<x11::X11KeyEvents> x11KeyEvents;
    std::unique_ptr<qt::Clipboard> x11Clipboard;
    std::unique_ptr<HotKeyFilter> filter;
    std::unique_ptr<wayland::KeyEvents> waylandKeys;
    std::unique_ptr<wayland::Clipboard> waylandClipboard;
    std::unique_ptr<wayland::HotKeys> waylandHotKeys;
    std::function<void()> abandonWaits;
    if (backend == Backend::X11) {
        auto* x11 = app.nativeInterface<QNativeInterface::QX11Application>();
        if (x11 == nullptr || x11->display() == nullptr) {
            std::fprintf(stderr, "valumat: keine Verbindung zum X-Server.\n");
            return 2;
        }
        x11HotKeys = std::make_unique<x11::X11HotKeys>(x11->display());
        x11KeyEvents = std::make_unique<x11::X11KeyEvents>(x11->display());
        x11Clipboard = std::make_unique<qt::Clipboard>();
        services.hotKeys = x11HotKeys.get();
        services.keyEvents = x11KeyEvents.get();
        services.clipboard = x11Clipboard.get();
        abandonWaits = [&x11Clipboard] { x11Clipboard->abandonWaits(); };
        filter = std::make_unique<HotKeyFilter>(*x11HotKeys, windows);
        app.installNativeEventFilter(filter.get());
    } else {
        waylandConnection->watch();
        try {
            waylandKeys = std::make_unique<wayland::KeyEvents>(*waylandConnection);
        } catch (const RuntimeError&) {
            std::fprintf(stderr, "valumat: die Tastaturbelegung für Tastenanschläge lässt sich nicht bilden "
                                 "(xkb-data fehlt?).\n");
            return 2;
        }
        wayland::KeyEvents* keys = waylandKeys.get();
        waylandClipboard = std::make_unique<wayland::Clipboard>(*waylandConnection);
        waylandHotKeys =
            std::make_unique<wayland::HotKeys>(keys->keymap(), [&windows](platform::WindowHandle window, int id) {
                std::fprintf(stderr, "valumat: Tastenkombination %d\n", id);
                windows.post(window, platform::kWmHotKey, id, 0);
            });
        const QByteArray sway = qgetenv("SWAYSOCK");
        std::string problem;
        // KGlobalAccel only under KWin (the compositor with fake input, or a Plasma session): elsewhere a
        // kglobalaccel5 on the bus cannot see the keys of a Wayland session.
        const bool kwin = keys->fakeInput() || qgetenv("XDG_CURRENT_DESKTOP").split(':').contains("KDE");
        const char* keysVia = keys->fakeInput() ? "KWins Fake-Input" : "virtuelle Tastatur";
        if (!sway.isEmpty() && waylandHotKeys->connectSway(sway.toStdString(), problem)) {
            std::fprintf(stderr, "valumat: Wayland; Tastenkombinationen über sway\n");
        } else if (sway.isEmpty() && kwin && waylandHotKeys->connectKde(problem)) {
            std::fprintf(stderr, "valumat: Wayland; Tastenkombinationen über KGlobalAccel, Tastenanschläge über %s\n",
                         keysVia);
        } else {
            if (!problem.empty()) {
                std::fprintf(stderr, "valumat: %s: %s\n", sway.isEmpty() ? "KDE" : "sway", problem.c_str());
            }
            std::fprintf(stderr, "valumat: Wayland; dieser Compositor vergibt keine Tastenkombinationen an "
                                 "Programme: belegen Sie in seinen Einstellungen je Tastenkombination den Befehl "
                                 "\"valumat --hotkey N\" (N: Zeile in der Liste der Tastenkombinationen, ab 0).\n");
        }
        // Ended at once (the error box's "Nein"): sway's bindings and our keys are given back all the same.
        process.beforeEnd = [&waylandHotKeys, &waylandKeys] {
            waylandHotKeys.reset();
            waylandKeys->releaseAll();
        };
        trayIcon.activateOpens = true;
        services.hotKeys = waylandHotKeys.get();
        services.keyEvents = waylandKeys.get();
        services.clipboard = waylandClipboard.get();
        abandonWaits = [&waylandClipboard] { waylandClipboard->abandonWaits(); };
    }

    AppState state(services);
    std::unique_ptr<QSocketNotifier> endSignals;
    if (catchEndSignals()) {
        endSignals = std::make_unique<QSocketNotifier>(signalPipe[0], QSocketNotifier::Read);
        QObject::connect(endSignals.get(), &QSocketNotifier::activated, [&state, &abandonWaits] {
            char bytes[16];
            while (::read(signalPipe[0], bytes, sizeof bytes) > 0) {
            }
            if (state.endRequested) {
                return;
            }
            std::fprintf(stderr, "valumat: beendet durch ein Signal\n");
            state.endRequested = true; // a running script stops and restores the clipboard
            abandonWaits();
            QCoreApplication::exit(0); // every running event loop returns
        });
    }
    state.configWindow = windows.create();
    windows.delivered = [](unsigned message, std::intptr_t id) {
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
        std::fprintf(stderr, "valumat: bereit\n");
        if (!program.unloaded()) {
            view = std::make_unique<qtui::ConfigWindowView>(window);
            modal.setOwner(view->widget());
            // A second start: "show" shows the window; "hotkey N" runs the hot key of binding N.
            QObject::connect(
                &instance, &QLocalServer::newConnection, &instance, [&instance, &program, &window, &state, &windows] {
                    while (QLocalSocket* peer = instance.nextPendingConnection()) {
                        QObject::connect(peer, &QLocalSocket::disconnected, peer, &QObject::deleteLater);
                        QObject::connect(
                            peer, &QLocalSocket::readyRead, peer, [peer, &program, &window, &state, &windows] {
                                while (peer->canReadLine()) {
                                    const QByteArray line = peer->readLine().trimmed();
                                    if (line.startsWith("hotkey ")) {
                                        bool ok = false;
                                        const int slot = line.mid(7).trimmed().toInt(&ok);
                                        const bool known =
                                            ok && slot >= 0 && slot < static_cast<int>(state.hotKeys.size()) &&
                                            state.hotKeys[static_cast<std::size_t>(slot)].registered != 0 &&
                                            state.hooked;
                                        if (known) {
                                            const auto id = static_cast<std::int16_t>(
                                                state.hotKeys[static_cast<std::size_t>(slot)].id);
                                            std::fprintf(stderr, "valumat: Tastenkombination %d\n", id);
                                            windows.post(state.hookWindow, platform::kWmHotKey, id, 0);
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
            if (!trayIcon.available()) {
                std::fprintf(stderr, "valumat: kein Infobereich (System-Tray) gefunden; ein zweiter Start von "
                                     "valumat zeigt das Fenster.\n");
            }
            status = QApplication::exec();
        }
        program.tray.popupMenu = nullptr;
        modal.setOwner(nullptr);
    }
    if (x11KeyEvents) {
        x11KeyEvents->restoreKeyboard();
    }
    if (waylandKeys) {
        waylandKeys->releaseAll();
    }
    return status;
}
