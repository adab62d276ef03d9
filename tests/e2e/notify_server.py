#!/usr/bin/env python3
"""A notification service (org.freedesktop.Notifications) for the end-to-end tests: writes each notification's
summary and body to the file given, one line each ("summary: body"), and emits ActionInvoked(id, "default") for the
last one when its extra method Invoke() is called (as a click on the notification would)."""
import sys

import dbus
import dbus.service
from dbus.mainloop.glib import DBusGMainLoop
from gi.repository import GLib

NAME = "org.freedesktop.Notifications"
PATH = "/org/freedesktop/Notifications"


class Server(dbus.service.Object):
    def __init__(self, bus, record):
        super().__init__(bus, PATH)
        self.record = record
        self.last = 0

    @dbus.service.method(NAME, in_signature="susssasa{sv}i", out_signature="u")
    def Notify(self, app, replaces, icon, summary, body, actions, hints, timeout):
        self.last = replaces if replaces else self.last + 1
        with open(self.record, "a", encoding="utf-8") as out:
            out.write(f"{summary}: {body}\n")
        return self.last

    @dbus.service.method(NAME, in_signature="", out_signature="as")
    def GetCapabilities(self):
        return ["actions", "body"]

    @dbus.service.method(NAME, in_signature="", out_signature="ssss")
    def GetServerInformation(self):
        return ["test", "valumat", "1", "1.2"]

    @dbus.service.method(NAME, in_signature="u", out_signature="")
    def CloseNotification(self, id):
        pass

    @dbus.service.method(NAME, in_signature="", out_signature="")
    def Invoke(self):
        self.ActionInvoked(self.last, "default")

    @dbus.service.signal(NAME, signature="us")
    def ActionInvoked(self, id, action):
        pass


DBusGMainLoop(set_as_default=True)
bus = dbus.SessionBus()
name = dbus.service.BusName(NAME, bus)
server = Server(bus, sys.argv[1])
GLib.MainLoop().run()
