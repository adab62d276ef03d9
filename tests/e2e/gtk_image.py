#!/usr/bin/python3
"""A GTK program of the tests' own with a picture of WIDTH x HEIGHT pixels, drawn the same on every run (a
screenshot's flat areas, gradients and fine detail).

  gtk_image.py copy WIDTH HEIGHT [--no-window]
                                    puts the picture on the clipboard as GTK does for an image (every image type
                                    GTK can write, rendered on request), prints "copied" and serves it until the
                                    clipboard is taken or it is ended; shows a window unless told not to (on X11 the
                                    clipboard needs none, and a window would take the keyboard focus)
  gtk_image.py paste WIDTH HEIGHT   takes the clipboard's image as a GTK application pastes one and prints "same"
                                    when its pixels are the picture's, else what differs; exits 1 then
"""
import sys

import gi

gi.require_version("Gtk", "3.0")
gi.require_version("Gdk", "3.0")
from gi.repository import Gdk, GdkPixbuf, GLib, Gtk  # noqa: E402


def picture(width, height):
    row = bytearray(width * 3)
    rows = []
    for y in range(height):
        if y % 64 < 24:  # a title bar: flat
            row[:] = bytes((40, 60, 90)) * width
        else:  # a gradient with a fine pattern (text-like detail) every few rows
            shade = (y * 255) // height
            row[:] = bytes((shade, 255 - shade, 128)) * width
            if y % 8 < 3:
                for x in range(y % 5, width, 7):
                    row[3 * x:3 * x + 3] = b"\x10\x10\x10"
        rows.append(bytes(row))
    data = b"".join(rows)
    return GdkPixbuf.Pixbuf.new_from_bytes(GLib.Bytes.new(data), GdkPixbuf.Colorspace.RGB, False, 8, width, height,
                                           width * 3)


def pixels(pixbuf):
    width, height, stride = pixbuf.get_width(), pixbuf.get_height(), pixbuf.get_rowstride()
    channels = pixbuf.get_n_channels()
    data = pixbuf.get_pixels()
    out = bytearray()
    for y in range(height):
        line = data[y * stride:y * stride + width * channels]
        if channels == 4:
            line = b"".join(line[i:i + 3] for i in range(0, len(line), 4))
        out += line
    return bytes(out)


def main():
    mode, width, height = sys.argv[1], int(sys.argv[2]), int(sys.argv[3])
    clipboard = Gtk.Clipboard.get(Gdk.SELECTION_CLIPBOARD)
    wanted = picture(width, height)
    if mode == "copy":
        if "--no-window" not in sys.argv:
            window = Gtk.Window(title="gtk-image")
            window.show()
        clipboard.set_image(wanted)
        clipboard.connect("owner-change", lambda *_: None)
        print("copied", flush=True)
        Gtk.main()
        return 0
    got = clipboard.wait_for_image()
    if got is None:
        print("no image")
        return 1
    if (got.get_width(), got.get_height()) != (width, height):
        print(f"size {got.get_width()}x{got.get_height()}")
        return 1
    if pixels(got) != pixels(wanted):
        print("pixels differ")
        return 1
    print("same")
    return 0


sys.exit(main())
