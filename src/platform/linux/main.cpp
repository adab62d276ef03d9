// valumat for Linux: reads the command line, chooses the desktop backend before Qt starts, makes sure one program
// runs per session, and starts the desktop (linuxdesktop.h). The backends:
// - X11: hot keys through X key grabs, synthetic key strokes through XTEST, the clipboard on Qt's X connection;
// - Wayland: the clipboard through wlr data control, key strokes through a virtual keyboard (KWin: its fake input),
//   hot keys through sway's IPC, KDE's KGlobalAccel under KWin, or `valumat --hotkey N` bound in the compositor;
// - GNOME on Wayland: key strokes and the clipboard through mutter's remote-desktop service, hot keys as GNOME's
//   custom shortcuts running `valumat --hotkey N`.
// Wayland when WAYLAND_DISPLAY is set and the compositor offers the clipboard and the key strokes, else GNOME when
// mutter's service runs, X11 otherwise;
// VALUMAT_PLATFORM=x11, wayland or gnome chooses one.
#include "platform/linux/gnome/service.h"
#include "platform/linux/linuxdesktop.h"
#include "platform/linux/ui/icons.h"
#include "platform/linux/wayland/connection.h"

#include <QApplication>
#include <QCoreApplication>
#include <QLocalServer>
#include <QLocalSocket>

#include <cstdio>
#include <cstring>
#include <memory>
#include <string>

namespace {

using namespace valumat;
using qt::instanceName;

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

bool haveWaylandDisplay() {
    return !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY");
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

// The backend to use, decided before Qt starts (Qt's own platform follows it). An open Wayland connection is handed
// over in `wayland` when that backend was chosen. Returns false (after saying why) when neither can run.
bool chooseBackend(qt::BackendKind& backend, std::unique_ptr<wayland::Connection>& wayland) {
    const QByteArray forced = qgetenv("VALUMAT_PLATFORM");
    const bool haveX11 = !qEnvironmentVariableIsEmpty("DISPLAY");
    const bool haveWayland = !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY");
    if (!forced.isEmpty() && forced != "x11" && forced != "wayland" && forced != "gnome") {
        std::fprintf(stderr, "valumat: VALUMAT_PLATFORM=%s ist unbekannt (x11, wayland oder gnome).\n",
                     forced.constData());
        return false;
    }
    // GNOME: mutter's remote-desktop service on the session bus (mutter alone will do), chosen when asked for or when
    // the Wayland compositor lends neither the clipboard nor key strokes otherwise (mutter has no data control).
    if (forced == "gnome") {
        if (!gnome::serviceRunning()) {
            std::fprintf(stderr,
                         "valumat: GNOME bietet den Dienst %s auf dem D-Bus der Sitzung nicht an (ohne ihn "
                         "keine Tastenanschläge und keine Zwischenablage im Hintergrund).\n",
                         gnome::kService);
            return false;
        }
        backend = qt::BackendKind::Gnome;
        return true;
    }
    if (forced == "x11" || (forced.isEmpty() && !haveWayland)) {
        if (!haveX11) {
            std::fprintf(stderr, "valumat: keine X11-Sitzung (DISPLAY ist nicht gesetzt) und keine Wayland-Sitzung "
                                 "(WAYLAND_DISPLAY ist nicht gesetzt).\n");
            return false;
        }
        backend = qt::BackendKind::X11;
        return true;
    }
    auto connection = std::make_unique<wayland::Connection>();
    const std::string missing = connection->missing();
    if (missing.empty()) {
        backend = qt::BackendKind::Wayland;
        wayland = std::move(connection);
        return true;
    }
    if (forced.isEmpty() && gnome::serviceRunning()) {
        backend = qt::BackendKind::Gnome;
        return true;
    }
    std::fprintf(stderr, "valumat: der Wayland-Compositor bietet nicht an: %s.\n", missing.c_str());
    if (forced.isEmpty() && haveX11) {
        std::fprintf(stderr, "valumat: Valumat läuft deshalb über XWayland (X11): Umrechnen geht nur in "
                             "X11-Anwendungen. Unter GNOME siehe README (Desktops).\n");
        backend = qt::BackendKind::X11;
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
    qt::BackendKind backend = qt::BackendKind::X11;
    std::unique_ptr<wayland::Connection> waylandConnection;
    if (!chooseBackend(backend, waylandConnection)) {
        return 2;
    }
    if (backend == qt::BackendKind::X11) {
        qputenv("QT_QPA_PLATFORM", "xcb"); // hot keys and key strokes need X11
    } else if (backend == qt::BackendKind::Gnome && !haveWaylandDisplay()) {
        qputenv("QT_QPA_PLATFORM", "xcb"); // forced without Wayland: the window on XWayland
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

    qt::LinuxDesktop desktop(backend, std::move(waylandConnection));
    return desktop.run(instance);
}
