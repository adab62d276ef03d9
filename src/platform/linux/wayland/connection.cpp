#include "platform/linux/wayland/connection.h"

#include "fake-input-client.h"
#include "virtual-keyboard-unstable-v1-client.h"
#include "wlr-data-control-unstable-v1-client.h"

#include <wayland-client.h>

#include <poll.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace valumat::wayland {

Connection::Connection() {
    display_ = wl_display_connect(nullptr);
    if (display_ == nullptr) {
        return;
    }
    registry_ = wl_display_get_registry(display_);
    static const wl_registry_listener listener = {&Connection::global, &Connection::globalRemove};
    wl_registry_add_listener(registry_, &listener, this);
    wl_display_roundtrip(display_);
}

Connection::~Connection() {
    notifier_.reset();
    if (display_ == nullptr) {
        return;
    }
    if (virtualKeyboards_ != nullptr) {
        zwp_virtual_keyboard_manager_v1_destroy(virtualKeyboards_);
    }
    if (fakeInput_ != nullptr) {
        org_kde_kwin_fake_input_destroy(fakeInput_);
    }
    if (dataControl_ != nullptr) {
        zwlr_data_control_manager_v1_destroy(dataControl_);
    }
    if (seat_ != nullptr) {
        wl_seat_destroy(seat_);
    }
    wl_registry_destroy(registry_);
    wl_display_flush(display_);
    wl_display_disconnect(display_);
}

void Connection::global(void* data, wl_registry* registry, std::uint32_t name, const char* interface,
                        std::uint32_t version) {
    auto* self = static_cast<Connection*>(data);
    if (std::strcmp(interface, wl_seat_interface.name) == 0 && self->seat_ == nullptr) {
        // The first seat: desktops have one.
        self->seat_ = static_cast<wl_seat*>(wl_registry_bind(registry, name, &wl_seat_interface, 1));
    } else if (std::strcmp(interface, zwlr_data_control_manager_v1_interface.name) == 0) {
        self->dataControl_ = static_cast<zwlr_data_control_manager_v1*>(
            wl_registry_bind(registry, name, &zwlr_data_control_manager_v1_interface, 1));
    } else if (std::strcmp(interface, zwp_virtual_keyboard_manager_v1_interface.name) == 0) {
        self->virtualKeyboards_ = static_cast<zwp_virtual_keyboard_manager_v1*>(
            wl_registry_bind(registry, name, &zwp_virtual_keyboard_manager_v1_interface, 1));
    } else if (std::strcmp(interface, org_kde_kwin_fake_input_interface.name) == 0 &&
               version >= ORG_KDE_KWIN_FAKE_INPUT_KEYBOARD_KEY_SINCE_VERSION) {
        self->fakeInput_ = static_cast<org_kde_kwin_fake_input*>(wl_registry_bind(
            registry, name, &org_kde_kwin_fake_input_interface, ORG_KDE_KWIN_FAKE_INPUT_KEYBOARD_KEY_SINCE_VERSION));
    }
}

void Connection::globalRemove(void*, wl_registry*, std::uint32_t) {}

std::string Connection::missing() const {
    if (display_ == nullptr) {
        return "keine Verbindung zum Wayland-Compositor";
    }
    std::string text;
    auto add = [&text](const char* what) { text += text.empty() ? what : std::string(", ") + what; };
    if (seat_ == nullptr) {
        add("kein Eingabegerät (wl_seat)");
    }
    if (dataControl_ == nullptr) {
        add("Zwischenablage im Hintergrund (zwlr_data_control_manager_v1)");
    }
    if (virtualKeyboards_ == nullptr && fakeInput_ == nullptr) {
        add("Tastenanschläge (zwp_virtual_keyboard_manager_v1, unter KDE org_kde_kwin_fake_input: KWin gibt es nur "
            "Programmen mit X-KDE-Wayland-Interfaces=org_kde_kwin_fake_input in ihrer Desktop-Datei, deren Exec= der "
            "volle Pfad des Programms ist)");
    }
    return text;
}

void Connection::watch() {
    if (display_ == nullptr || notifier_) {
        return;
    }
    notifier_ = std::make_unique<QSocketNotifier>(wl_display_get_fd(display_), QSocketNotifier::Read);
    QObject::connect(notifier_.get(), &QSocketNotifier::activated, this, [this] { readEvents(); });
    readEvents();
}

void Connection::flush() {
    if (display_ != nullptr) {
        wl_display_flush(display_);
    }
}

void Connection::readEvents() {
    if (display_ == nullptr) {
        return;
    }
    int dispatched = 0;
    while (wl_display_prepare_read(display_) != 0) {
        dispatched += std::max(wl_display_dispatch_pending(display_), 0);
    }
    wl_display_flush(display_);
    // Only what is there already: the descriptor is not waited on.
    pollfd ready{wl_display_get_fd(display_), POLLIN, 0};
    if (::poll(&ready, 1, 0) > 0) {
        wl_display_read_events(display_);
    } else {
        wl_display_cancel_read(display_);
    }
    dispatched += std::max(wl_display_dispatch_pending(display_), 0);
    if (dispatched > 0) {
        emit activity();
    }
}

bool Connection::roundtrip() {
    if (display_ == nullptr) {
        return false;
    }
    const bool ok = wl_display_roundtrip(display_) >= 0;
    emit activity();
    return ok;
}

std::string Connection::failure() const {
    if (display_ == nullptr) {
        return "keine Verbindung";
    }
    const int error = wl_display_get_error(display_);
    if (error == 0) {
        return {};
    }
    const wl_interface* interface = nullptr;
    std::uint32_t id = 0;
    const std::uint32_t code = wl_display_get_protocol_error(display_, &interface, &id);
    if (error == EPROTO && interface != nullptr) {
        return std::string("Protokollfehler ") + std::to_string(code) + " an " + interface->name;
    }
    return std::strerror(error);
}

} // namespace valumat::wayland
