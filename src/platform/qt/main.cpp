// valumat for Linux/X11: the configuration window and dialogs in Qt Widgets, hot keys through X key grabs,
// synthetic key strokes through XTEST, the clipboard through Qt, autostart through an XDG autostart entry.
#include "platform/qt/configwindowview.h"
#include "platform/qt/icons.h"
#include "platform/qt/localatoms.h"
#include "platform/qt/modalhost.h"
#include "platform/qt/qtdesktop.h"
#include "platform/qt/traymenu.h"
#include "platform/x11/x11hotkeys.h"
#include "platform/x11/x11keys.h"
#include "platform/x11/xdgautostart.h"
#include "platform/xdg/xdgfolders.h"
#include "runtime/tables.h"
#include "shell/startup.h"

#include <QAbstractNativeEventFilter>
#include <QApplication>
#include <QLocalServer>
#include <QLocalSocket>
#include <QSocketNotifier>
#include <QTimer>
#include <QWidget>
#include <QtGui/qguiapplication_platform.h>

#include <cstdio>
#include <memory>

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

QString instanceName() {
    const QByteArray display = qgetenv("DISPLAY");
    const QByteArray user = qgetenv("USER");
    return QStringLiteral("valumat-%1-%2").arg(QString::fromLocal8Bit(user), QString::fromLocal8Bit(display));
}

} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("DISPLAY")) {
        std::fprintf(stderr, "valumat: keine X11-Sitzung (DISPLAY ist nicht gesetzt). Valumat braucht X11 "
                             "(unter Wayland XWayland).\n");
        return 2;
    }
    qputenv("QT_QPA_PLATFORM", "xcb"); // hot keys and key strokes need X11
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

    auto* x11 = app.nativeInterface<QNativeInterface::QX11Application>();
    if (x11 == nullptr || x11->display() == nullptr) {
        std::fprintf(stderr, "valumat: keine Verbindung zum X-Server.\n");
        return 2;
    }
    x11::X11HotKeys hotKeys(x11->display());
    x11::X11KeyEvents keyEvents(x11->display());
    x11::XdgAutostart autostart;
    qt::LocalAtoms atoms;
    qt::Windows windows;
    qt::Clipboard clipboard;
    qt::Sleeper sleeper;
    qt::MessagePump pump;
    qt::TrayIcon tray(qtui::valumatIcon());
    qt::ShellOpen shell;
    qt::MessageBoxes boxes;
    qt::Process process;
    xdg::XdgFolders folders(VALUMAT_RELATIVE_DATA_FOLDER);

    platform::Platform services;
    services.hotKeys = &hotKeys;
    services.atoms = &atoms;
    services.keyEvents = &keyEvents;
    services.clipboard = &clipboard;
    services.sleeper = &sleeper;
    services.pump = &pump;
    services.windowHook = &windows;
    services.tray = &tray;
    services.shell = &shell;
    services.autostart = &autostart;
    services.messageBoxes = &boxes;
    services.process = &process;
    services.folders = &folders;

    AppState state(services);
    std::unique_ptr<QSocketNotifier> endSignals;
    if (catchEndSignals()) {
        endSignals = std::make_unique<QSocketNotifier>(signalPipe[0], QSocketNotifier::Read);
        QObject::connect(endSignals.get(), &QSocketNotifier::activated, [&state, &clipboard] {
            char bytes[16];
            while (::read(signalPipe[0], bytes, sizeof bytes) > 0) {
            }
            if (state.endRequested) {
                return;
            }
            std::fprintf(stderr, "valumat: beendet durch ein Signal\n");
            state.endRequested = true; // a running script stops and restores the clipboard
            clipboard.abandonWaits();
            QCoreApplication::exit(0); // every running event loop returns
        });
    }
    state.configWindow = windows.create();
    windows.delivered = [](unsigned message, std::intptr_t id) {
        if (message == platform::kWmHotKey) {
            std::fprintf(stderr, "valumat: Tastenkombination %d erledigt\n", static_cast<int>(id));
        }
    };
    HotKeyFilter filter(hotKeys, windows);
    app.installNativeEventFilter(&filter);

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
            QObject::connect(&instance, &QLocalServer::newConnection, &instance, [&instance, &program, &window] {
                while (QLocalSocket* peer = instance.nextPendingConnection()) {
                    peer->deleteLater();
                    if (!program.unloaded()) {
                        program.tray.HideTray(false);
                        window.form.refresh();
                    }
                }
            });
            if (!tray.available()) {
                std::fprintf(stderr, "valumat: kein Infobereich (System-Tray) gefunden; ein zweiter Start von "
                                     "valumat zeigt das Fenster.\n");
            }
            status = QApplication::exec();
        }
        program.tray.popupMenu = nullptr;
        modal.setOwner(nullptr);
    }
    keyEvents.restoreKeyboard();
    return status;
}
