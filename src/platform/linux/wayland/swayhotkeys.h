// Global hot keys on Wayland. Applications cannot grab keys there: the compositor runs its own bindings.
// - Under sway (SWAYSOCK): per hot key `bindsym --no-repeat <combination> nop valumat` (keeps the press from the
//   application) and `bindsym --release <combination> nop valumat <pid> <id>` through sway's IPC socket, and the
//   binding events read from a second socket subscribed to them: the event comes when the combination's key is let
//   go of. The compositor runs nothing per press; `unbindsym` takes the bindings away again.
// - Under KDE Plasma: through KGlobalAccel on the session bus (kglobalaccel.h).
// - Elsewhere: the user binds `valumat --hotkey N` in the compositor; that second start hands N (the binding's slot)
//   to the running program, which runs it as if its key had been pressed (deliverSlot()).
#pragma once

#include "platform/platform.h"

#include <QByteArray>
#include <QLocalSocket>
#include <QObject>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace valumat::wayland {

class UsKeymap;
class KGlobalAccel;

// One message of sway's IPC: the magic "i3-ipc", the payload length and the type (native byte order), the payload.
QByteArray ipcMessage(std::uint32_t type, const QByteArray& payload);
// Takes one whole message off the front of buffer; false when it does not hold one yet.
bool takeIpcMessage(QByteArray& buffer, std::uint32_t& type, QByteArray& payload);

// The binding command that marks one hot key of this program, and its reading back from a binding event's
// payload; readTag gives false for another program's binding.
std::string bindingTag(long pid, int id);
bool readTag(const QByteArray& bindingEvent, long pid, int& id);

class HotKeys final : public QObject, public platform::HotKeys {
    Q_OBJECT
public:
    // pressed: runs a hot key (posts the hot-key message to the window).
    HotKeys(const UsKeymap& keymap, std::function<void(platform::WindowHandle, int id)> pressed);
    ~HotKeys() override;
    HotKeys(const HotKeys&) = delete;
    HotKeys& operator=(const HotKeys&) = delete;

    // Connects to sway's IPC socket (both connections); on failure `problem` says why and hot keys are taken from
    // `valumat --hotkey N` only.
    bool connectSway(const std::string& socketPath, std::string& problem);
    bool usingSway() const { return events_ != nullptr; }
    // Connects to KDE's KGlobalAccel on the session bus; on failure `problem` says why.
    bool connectKde(std::string& problem);
    bool usingKde() const { return kde_ != nullptr; }

    // Under sway or KDE: false when the compositor refused the binding or the key has no name. Elsewhere: recorded for
    // deliverSlot(); false when (window, id) is registered already.
    bool registerHotKey(platform::WindowHandle window, int id, unsigned modifiers, unsigned virtualKey) override;
    bool unregisterHotKey(platform::WindowHandle window, int id) override;

    // Runs the hot key registered under id; false when there is none.
    bool deliver(int id);

    // The combinations registered now, for the start-up message ("Ctrl+d" ...).
    std::vector<std::string> combinations() const;

private:
    struct Registration {
        platform::WindowHandle window;
        int id;
        std::string combination;
    };
    bool command(const std::string& text, std::string& error);
    bool bind(const std::string& combination, int id, std::string& error);
    void unbind(const std::string& combination);
    void readEvents();

    const UsKeymap& keymap_;
    std::function<void(platform::WindowHandle, int)> pressed_;
    std::unique_ptr<QLocalSocket> commands_;
    std::unique_ptr<QLocalSocket> events_;
    QByteArray eventBuffer_;
    std::vector<Registration> registrations_;
    std::unique_ptr<KGlobalAccel> kde_;
    long pid_ = 0;
    bool tracing_ = false; // VALUMAT_TRACE_HOTKEYS: the commands sent to sway on standard error
};

} // namespace valumat::wayland
