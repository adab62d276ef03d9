#!/usr/bin/env python3
"""The end-to-end test's keyboard under GNOME: a session of mutter's remote-desktop service, kept for the whole test
as a real keyboard is, sending Linux key codes (US positions).

    rdkeys.py COMMANDS ACKS

Reads lines from the FIFO COMMANDS and writes "ok" (or "error ...") to the FIFO ACKS once each line's keys went out.
A line holds words: "ctrl+a" (a combination, modifiers ctrl, shift, alt), "type:12,5" (digits, comma, period, minus,
letters), "down:ctrl" / "up:ctrl" (a key held across lines), "sleep:50" (milliseconds).
"""
import sys
import time

import dbus

KEYS = {"ctrl": 29, "shift": 42, "alt": 56, "enter": 28, "tab": 15, "esc": 1, "space": 57, "home": 102,
        "end": 107, "left": 105, "right": 106, "up": 103, "down": 108, "backspace": 14, "delete": 111,
        ",": 51, ".": 52, "-": 12, " ": 57, "0": 11}
for i, c in enumerate("123456789"):
    KEYS[c] = 2 + i
for row, first in (("qwertyuiop", 16), ("asdfghjkl", 30), ("zxcvbnm", 44)):
    for i, c in enumerate(row):
        KEYS[c] = first + i


def main():
    commands, acks = sys.argv[1], sys.argv[2]
    bus = dbus.SessionBus()
    service = bus.get_object("org.gnome.Mutter.RemoteDesktop", "/org/gnome/Mutter/RemoteDesktop")
    path = service.CreateSession(dbus_interface="org.gnome.Mutter.RemoteDesktop")
    session = dbus.Interface(bus.get_object("org.gnome.Mutter.RemoteDesktop", path),
                             "org.gnome.Mutter.RemoteDesktop.Session")
    session.Start()

    def key(code, down):
        session.NotifyKeyboardKeycode(dbus.UInt32(code), dbus.Boolean(down))

    with open(commands) as lines, open(acks, "w") as out:
        for line in lines:
            try:
                for word in line.split():
                    if word.startswith("type:"):
                        for c in word[5:]:
                            shifted = c.isupper()
                            if shifted:
                                key(KEYS["shift"], True)
                            key(KEYS[c.lower()], True)
                            key(KEYS[c.lower()], False)
                            if shifted:
                                key(KEYS["shift"], False)
                    elif word.startswith("down:"):
                        key(KEYS[word[5:]], True)
                    elif word.startswith("up:"):
                        key(KEYS[word[3:]], False)
                    elif word.startswith("sleep:"):
                        time.sleep(int(word[6:]) / 1000)
                    else:
                        parts = word.split("+")
                        for p in parts:
                            key(KEYS[p], True)
                        for p in reversed(parts):
                            key(KEYS[p], False)
                    time.sleep(0.005)
                out.write("ok\n")
            except Exception as e:  # reported to the test, which fails with it
                out.write("error %s\n" % str(e).replace("\n", " "))
            out.flush()


if __name__ == "__main__":
    main()
