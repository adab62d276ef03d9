// Global hot keys on KDE Plasma: KGlobalAccel, the shortcut service KWin runs on the session bus
// (org.kde.kglobalaccel). Each hot key is an action of the component "valumat" with our combination as its shortcut,
// set without a question to the user; KWin keeps the press from the application and reports it on the component's
// object: globalShortcutPressed, then globalShortcutReleased once the combination's key is up (KWin 5.27). The hot
// key runs on the release; should no release come, after a short bound.
#pragma once

#include <QObject>
#include <QString>
#include <QTimer>

#include <cstdint>
#include <functional>
#include <string>

namespace valumat::wayland {

// The shortcut as KGlobalAccel keeps it: Qt's key code with Qt's modifier bits (Ctrl+D = 0x04000044); 0 when the
// virtual key has no Qt key. Modifiers as platform::kModControl, kModAlt, kModShift, kModWin.
int qtKeyCode(unsigned modifiers, std::uint8_t virtualKey);

class KGlobalAccel final : public QObject {
    Q_OBJECT
public:
    // fired: runs hot key id.
    explicit KGlobalAccel(std::function<void(int id)> fired);
    ~KGlobalAccel() override;
    KGlobalAccel(const KGlobalAccel&) = delete;
    KGlobalAccel& operator=(const KGlobalAccel&) = delete;

    // Looks for the service on the session bus; on failure `problem` says why.
    bool connectService(std::string& problem);

    // Gives hot key id the combination (named `name` in KDE's shortcut settings); false (with the reason in `error`)
    // when KGlobalAccel refuses it (another program has it) or the key has no Qt code.
    bool bind(int id, unsigned modifiers, std::uint8_t virtualKey, const std::string& name, std::string& error);
    // Takes hot key id's action away again.
    void unbind(int id);

private slots:
    void onPressed(const QString& component, const QString& action, qlonglong timestamp);
    void onReleased(const QString& component, const QString& action, qlonglong timestamp);

private:
    // The hot key an action of ours stands for; false for another action.
    static bool actionId(const QString& component, const QString& action, int& id);
    void fire();

    std::function<void(int)> fired_;
    QString componentPath_;
    QTimer releaseWait_;
    bool waiting_ = false; // a hot key pressed, its release awaited
    int waitingId_ = 0;
    bool tracing_ = false;
};

} // namespace valumat::wayland
