// Whether mutter's remote-desktop service runs, asked through GIO before Qt is up (kept apart from Qt's headers,
// whose keywords collide with GIO's).
#include "platform/linux/gnome/service.h"

#include <gio/gio.h>

namespace valumat::gnome {

constexpr int kTimeoutMs = 3000;

bool serviceRunning() {
    GDBusConnection* bus = g_bus_get_sync(G_BUS_TYPE_SESSION, nullptr, nullptr);
    if (bus == nullptr) {
        return false;
    }
    GVariant* reply = g_dbus_connection_call_sync(
        bus, "org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus", "NameHasOwner",
        g_variant_new("(s)", kService), G_VARIANT_TYPE("(b)"), G_DBUS_CALL_FLAGS_NONE, kTimeoutMs, nullptr, nullptr);
    gboolean owned = FALSE;
    if (reply != nullptr) {
        g_variant_get(reply, "(b)", &owned);
        g_variant_unref(reply);
    }
    g_object_unref(bus);
    return owned != FALSE;
}

} // namespace valumat::gnome
