#include "platform/linux/wayland/waylanddesktop.h"

#include "platform/linux/wayland/connection.h"
#include "platform/linux/wayland/swayhotkeys.h"
#include "platform/linux/wayland/waylandclipboard.h"
#include "platform/linux/wayland/waylandkeys.h"
#include "runtime/errors.h"

#include <QByteArray>
#include <QList>

#include <cstdio>

namespace valumat::wayland {

namespace {

class WaylandBackend final : public qt::Backend {
public:
    WaylandBackend(std::unique_ptr<Connection> connection, std::unique_ptr<KeyEvents> keys, qt::Windows& windows)
        : connection_(std::move(connection)), keys_(std::move(keys)), clipboard_(*connection_),
          hotKeys_(std::make_unique<HotKeys>(
              keys_->keymap(), [&windows](platform::WindowHandle window, int id) { windows.postHotKey(window, id); })) {
        connectHotKeys();
    }
    platform::HotKeys& hotKeys() override { return *hotKeys_; }
    platform::KeyEvents& keyEvents() override { return *keys_; }
    platform::Clipboard& clipboard() override { return clipboard_; }
    void abandonWaits() override { clipboard_.abandonWaits(); }
    void releaseKeys() override { keys_->releaseAll(); }
    // sway's bindings go with the hot keys.
    void giveBack() override {
        hotKeys_.reset();
        keys_->releaseAll();
    }
    bool clickOpens() const override { return true; }

private:
    // Who delivers the hot keys: sway, KGlobalAccel under KWin, or the compositor's own bindings of
    // `valumat --hotkey N`.
    void connectHotKeys() {
        const QByteArray sway = qgetenv("SWAYSOCK");
        std::string problem;
        // KGlobalAccel only under KWin (the compositor with fake input, or a Plasma session): elsewhere a
        // kglobalaccel5 on the bus cannot see the keys of a Wayland session.
        const bool kwin = keys_->fakeInput() || qgetenv("XDG_CURRENT_DESKTOP").split(':').contains("KDE");
        const char* keysVia = keys_->fakeInput() ? "KWins Fake-Input" : "virtuelle Tastatur";
        if (!sway.isEmpty() && hotKeys_->connectSway(sway.toStdString(), problem)) {
            std::fprintf(stderr, "valumat: Wayland; Tastenkombinationen über sway\n");
        } else if (sway.isEmpty() && kwin && hotKeys_->connectKde(problem)) {
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
    }

    std::unique_ptr<Connection> connection_;
    std::unique_ptr<KeyEvents> keys_;
    Clipboard clipboard_;
    std::unique_ptr<HotKeys> hotKeys_;
};

} // namespace

std::unique_ptr<qt::Backend> makeBackend(std::unique_ptr<Connection> connection, qt::Windows& windows) {
    connection->watch();
    std::unique_ptr<KeyEvents> keys;
    try {
        keys = std::make_unique<KeyEvents>(*connection);
    } catch (const RuntimeError&) {
        std::fprintf(stderr, "valumat: die Tastaturbelegung für Tastenanschläge lässt sich nicht bilden "
                             "(xkb-data fehlt?).\n");
        return nullptr;
    }
    return std::make_unique<WaylandBackend>(std::move(connection), std::move(keys), windows);
}

} // namespace valumat::wayland
