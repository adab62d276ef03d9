#!/usr/bin/python3
"""A stand-in for KDE's KGlobalAccel on the session bus, for the hot-key test without KWin.

Serves org.kde.kglobalaccel: doRegister, setShortcut (a key another program holds, Ctrl+E, is refused with an empty
list, as KGlobalAccel answers), unregister. Its control interface (test.FakeKGlobalAccel) lets the test press an
action, with or without the release signal, and read the calls it got. Prints "ready" once the name is owned.
"""
import dbus
import dbus.service
from dbus.mainloop.glib import DBusGMainLoop
from gi.repository import GLib

TAKEN = {0x04000045}  # Ctrl+E: another program's
CONTROL = "test.FakeKGlobalAccel"


class Component(dbus.service.Object):
    @dbus.service.signal("org.kde.kglobalaccel.Component", signature="ssx")
    def globalShortcutPressed(self, component, action, timestamp):
        pass

    @dbus.service.signal("org.kde.kglobalaccel.Component", signature="ssx")
    def globalShortcutReleased(self, component, action, timestamp):
        pass


class Service(dbus.service.Object):
    def __init__(self, bus):
        super().__init__(bus, "/kglobalaccel")
        self.bus = bus
        self.log = []
        self.components = {}

    def component(self, name):
        if name not in self.components:
            self.components[name] = Component(self.bus, "/component/" + name)
        return self.components[name]

    @dbus.service.method("org.kde.KGlobalAccel", in_signature="as", out_signature="")
    def doRegister(self, action_id):
        self.log.append("doRegister %s" % " | ".join(action_id))
        self.component(str(action_id[0]))

    @dbus.service.method("org.kde.KGlobalAccel", in_signature="asaiu", out_signature="ai")
    def setShortcut(self, action_id, keys, flags):
        self.log.append("setShortcut %s %s %d" % (action_id[1], ",".join("0x%x" % k for k in keys), flags))
        if any(int(k) in TAKEN for k in keys):
            return dbus.Array([], signature="i")
        return dbus.Array(keys, signature="i")

    @dbus.service.method("org.kde.KGlobalAccel", in_signature="ss", out_signature="b")
    def unregister(self, component, action):
        self.log.append("unregister %s %s" % (component, action))
        return True

    @dbus.service.method(CONTROL, in_signature="ssb", out_signature="")
    def Press(self, component, action, release):
        target = self.component(str(component))
        target.globalShortcutPressed(component, action, 0)
        if release:
            target.globalShortcutReleased(component, action, 0)

    @dbus.service.method(CONTROL, in_signature="ss", out_signature="")
    def Release(self, component, action):
        self.component(str(component)).globalShortcutReleased(component, action, 0)

    @dbus.service.method(CONTROL, in_signature="", out_signature="as")
    def Calls(self):
        return self.log


DBusGMainLoop(set_as_default=True)
session = dbus.SessionBus()
service = Service(session)
name = dbus.service.BusName("org.kde.kglobalaccel", session)
print("ready", flush=True)
GLib.MainLoop().run()
