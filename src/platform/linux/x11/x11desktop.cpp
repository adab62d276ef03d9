#include "platform/linux/x11/x11desktop.h"

#include "platform/linux/x11/x11clipboard.h"
#include "platform/linux/x11/x11hotkeys.h"
#include "platform/linux/x11/x11keys.h"

#include <QAbstractNativeEventFilter>
#include <QCoreApplication>
#include <QGuiApplication>
#include <QTimer>
#include <QtGui/qguiapplication_platform.h>

#include <cstdio>
#include <vector>

namespace valumat::x11 {

namespace {

// Hot-key presses arrive as key events on Qt's X connection: they become hot-key messages to the configuration
// window, delivered by the event loop (and so by every message pump of a running script). A press made while the
// user still holds its modifiers goes out once they are let go of, or when the wait runs out.
class HotKeyFilter final : public QAbstractNativeEventFilter {
public:
    HotKeyFilter(X11HotKeys& hotKeys, qt::Windows& windows, Clipboard& clipboard)
        : hotKeys_(hotKeys), windows_(windows), clipboard_(clipboard) {
        releaseWait_.setSingleShot(true);
        releaseWait_.setInterval(platform::kHotKeyReleaseWaitMs);
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
            clipboard_.hotKeyPressed(); // the save can start while the user lets go
        }
        // Qt still sees the event: it keeps Qt's idea of the server time fresh, which taking the clipboard needs.
        return false;
    }

private:
    void post(const std::vector<HotKeyPress>& presses) {
        for (const auto& press : presses) {
            windows_.postHotKey(press.window, press.id);
        }
    }

    X11HotKeys& hotKeys_;
    qt::Windows& windows_;
    Clipboard& clipboard_;
    QTimer releaseWait_;
};

class X11Backend final : public qt::Backend {
public:
    X11Backend(Display* display, qt::Windows& windows)
        : hotKeys_(display), keys_(display), filter_(hotKeys_, windows, clipboard_) {
        QCoreApplication::instance()->installNativeEventFilter(&filter_);
    }
    ~X11Backend() override { QCoreApplication::instance()->removeNativeEventFilter(&filter_); }
    platform::HotKeys& hotKeys() override { return hotKeys_; }
    platform::KeyEvents& keyEvents() override { return keys_; }
    platform::Clipboard& clipboard() override { return clipboard_; }
    void abandonWaits() override { clipboard_.abandonWaits(); }
    void releaseKeys() override { keys_.restoreKeyboard(); }

private:
    X11HotKeys hotKeys_;
    X11KeyEvents keys_;
    Clipboard clipboard_;
    HotKeyFilter filter_;
};

} // namespace

std::unique_ptr<qt::Backend> makeBackend(qt::Windows& windows) {
    auto* x11 = qApp->nativeInterface<QNativeInterface::QX11Application>();
    if (x11 == nullptr || x11->display() == nullptr) {
        std::fprintf(stderr, "valumat: keine Verbindung zum X-Server.\n");
        return nullptr;
    }
    return std::make_unique<X11Backend>(x11->display(), windows);
}

} // namespace valumat::x11
