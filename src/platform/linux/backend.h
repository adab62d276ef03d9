// The services in which the Linux desktops differ: hot keys, key strokes and the clipboard, one backend each
// (x11/, wayland/). Everything else (windows, tray, message boxes, folders, autostart) is Qt's or freedesktop.org's
// and the same on all of them.
#pragma once

#include "platform/platform.h"

namespace valumat::qt {

class Backend {
public:
    virtual ~Backend() = default;
    virtual platform::HotKeys& hotKeys() = 0;
    virtual platform::KeyEvents& keyEvents() = 0;
    virtual platform::Clipboard& clipboard() = 0;
    // The program is ending: every clipboard wait ends at once.
    virtual void abandonWaits() = 0;
    // No key of ours stays down, the keyboard is as we found it (at the end). Never fails.
    virtual void releaseKeys() = 0;
    // Everything the desktop lent us goes back (the keys, and bindings the compositor keeps for us) when the program
    // ends at once, without unwinding. Never fails.
    virtual void giveBack() { releaseKeys(); }
    // The hot keys registered so far are live once this returns (GNOME writes its shortcuts together, later).
    virtual void settleHotKeys() {}
    // A click on the notification icon opens the window (hosts that know no double-click).
    virtual bool clickOpens() const { return false; }
};

} // namespace valumat::qt
