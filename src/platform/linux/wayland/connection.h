// Our own connection to the Wayland compositor, beside Qt's: the globals the desktop services need (the seat, wlr
// data control, the virtual-keyboard manager or KWin's fake input), read and dispatched from the Qt event loop.
#pragma once

#include <QObject>
#include <QSocketNotifier>

#include <memory>
#include <string>

struct wl_display;
struct wl_registry;
struct wl_seat;
struct zwlr_data_control_manager_v1;
struct zwp_virtual_keyboard_manager_v1;
struct org_kde_kwin_fake_input;

namespace valumat::wayland {

class Connection final : public QObject {
    Q_OBJECT
public:
    // Connects to the compositor of WAYLAND_DISPLAY and looks at its globals. Never fails: see connected() and
    // missing().
    Connection();
    ~Connection() override;
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;

    bool connected() const { return display_ != nullptr; }
    // What the compositor does not offer, in German for the user ("" when everything is there): the clipboard
    // (wlr data control) and the key strokes (a virtual keyboard, or KWin's fake input).
    std::string missing() const;

    // Starts reading events in the Qt event loop (once a QCoreApplication exists).
    void watch();

    wl_display* display() const { return display_; }
    wl_seat* seat() const { return seat_; }
    zwlr_data_control_manager_v1* dataControl() const { return dataControl_; }
    zwp_virtual_keyboard_manager_v1* virtualKeyboards() const { return virtualKeyboards_; }
    // KWin's fake input (version 4 or later: the one with key events); KWin offers it only to programs whose desktop
    // file lists it under X-KDE-Wayland-Interfaces.
    org_kde_kwin_fake_input* fakeInput() const { return fakeInput_; }

    // Sends what is queued.
    void flush();
    // Reads what has arrived (without blocking) and dispatches it; emits activity() when something came.
    void readEvents();
    // Waits until the compositor has handled every request sent so far, dispatching what comes meanwhile.
    bool roundtrip();
    // The protocol error the compositor ended the connection with, in plain words ("" when none).
    std::string failure() const;

signals:
    // Events were dispatched.
    void activity();

private:
    static void global(void* data, wl_registry* registry, std::uint32_t name, const char* interface,
                       std::uint32_t version);
    static void globalRemove(void* data, wl_registry* registry, std::uint32_t name);

    wl_display* display_ = nullptr;
    wl_registry* registry_ = nullptr;
    wl_seat* seat_ = nullptr;
    zwlr_data_control_manager_v1* dataControl_ = nullptr;
    zwp_virtual_keyboard_manager_v1* virtualKeyboards_ = nullptr;
    org_kde_kwin_fake_input* fakeInput_ = nullptr;
    std::unique_ptr<QSocketNotifier> notifier_;
};

} // namespace valumat::wayland
