#!/usr/bin/python3
"""A text that takes no paste, as on a web page: a GTK window of the tests' own whose selectable label holds TEXT,
all of it selected whenever the window gets the focus (a label copies its selection and ignores Ctrl+V; a read-only
text view would still fetch the clipboard on Ctrl+V). Prints "focused" and "copy" as they happen.

  gtk_page.py TEXT
"""
import sys

import gi

gi.require_version("Gtk", "3.0")
from gi.repository import Gtk  # noqa: E402


def main():
    window = Gtk.Window(title="Seite")
    label = Gtk.Label(label=sys.argv[1])
    label.set_selectable(True)
    window.add(label)
    window.connect("destroy", Gtk.main_quit)
    def focused(*_):
        label.select_region(0, -1)
        print("focused", flush=True)

    window.connect("focus-in-event", focused)
    label.connect("copy-clipboard", lambda *_: print("copy", flush=True))
    window.show_all()
    label.grab_focus()
    label.select_region(0, -1)
    Gtk.main()
    return 0


sys.exit(main())
