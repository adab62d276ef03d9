#include "platform/linux/wayland/kglobalaccel.h"

#include "platform/linux/wayland/keymap.h"
#include "platform/platform.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusReply>
#include <QList>
#include <QStringList>
#include <QVariant>

#include <cstdio>

namespace valumat::wayland {

namespace {

const QString kService = QStringLiteral("org.kde.kglobalaccel");
const QString kPath = QStringLiteral("/kglobalaccel");
const QString kInterface = QStringLiteral("org.kde.KGlobalAccel");
const QString kComponentInterface = QStringLiteral("org.kde.kglobalaccel.Component");
const QString kComponent = QStringLiteral("valumat");
const QString kActionPrefix = QStringLiteral("hotkey-");
constexpr int kCallTimeoutMs = 3000;

// setShortcut's flags: take our keys as they are (not the ones saved from an earlier run) and mark the action present.
constexpr uint kSetPresent = 2;
constexpr uint kNoAutoloading = 4;

// Qt's modifier bits and keys (Qt::KeyboardModifier, Qt::Key).
constexpr int kQtShift = 0x02000000;
constexpr int kQtControl = 0x04000000;
constexpr int kQtAlt = 0x08000000;
constexpr int kQtMeta = 0x10000000;
constexpr int kQtKeypad = 0x20000000;

int qtKey(std::uint8_t vk) {
    if ((vk >= '0' && vk <= '9') || (vk >= 'A' && vk <= 'Z')) {
        return vk; // Qt::Key_0 ... Qt::Key_Z are the characters
    }
    if (vk >= 0x70 && vk <= 0x87) {
        return 0x01000030 + (vk - 0x70); // Qt::Key_F1 ... Qt::Key_F24
    }
    if (vk >= 0x60 && vk <= 0x69) {
        return kQtKeypad | ('0' + (vk - 0x60)); // the number pad's digits
    }
    switch (vk) {
    case 0x08:
        return 0x01000003; // Backspace
    case 0x09:
        return 0x01000001; // Tab
    case 0x0D:
        return 0x01000004; // Return
    case 0x13:
        return 0x01000008; // Pause
    case 0x1B:
        return 0x01000000; // Escape
    case 0x20:
        return 0x20; // Space
    case 0x21:
        return 0x01000016; // Page Up
    case 0x22:
        return 0x01000017; // Page Down
    case 0x23:
        return 0x01000011; // End
    case 0x24:
        return 0x01000010; // Home
    case 0x25:
        return 0x01000012; // Left
    case 0x26:
        return 0x01000013; // Up
    case 0x27:
        return 0x01000014; // Right
    case 0x28:
        return 0x01000015; // Down
    case 0x2C:
        return 0x01000009; // Print
    case 0x2D:
        return 0x01000006; // Insert
    case 0x2E:
        return 0x01000007; // Delete
    case 0x6A:
        return kQtKeypad | '*';
    case 0x6B:
        return kQtKeypad | '+';
    case 0x6D:
        return kQtKeypad | '-';
    case 0x6E:
        return kQtKeypad | '.';
    case 0x6F:
        return kQtKeypad | '/';
    case 0xBA:
        return ';';
    case 0xBB:
        return '=';
    case 0xBC:
        return ',';
    case 0xBD:
        return '-';
    case 0xBE:
        return '.';
    case 0xBF:
        return '/';
    case 0xC0:
        return '`';
    case 0xDB:
        return '[';
    case 0xDC:
        return '\\';
    case 0xDD:
        return ']';
    case 0xDE:
        return '\'';
    default:
        return 0;
    }
}

QStringList actionNames(int id, const std::string& name) {
    return {kComponent, kActionPrefix + QString::number(id), QStringLiteral("Valumat"),
            QStringLiteral("Valumat: ") + QString::fromStdString(name)};
}

QDBusMessage call(const QString& method, const QList<QVariant>& arguments) {
    QDBusMessage message = QDBusMessage::createMethodCall(kService, kPath, kInterface, method);
    message.setArguments(arguments);
    return QDBusConnection::sessionBus().call(message, QDBus::Block, kCallTimeoutMs);
}

} // namespace

int qtKeyCode(unsigned modifiers, std::uint8_t virtualKey) {
    const int key = qtKey(virtualKey);
    if (key == 0) {
        return 0;
    }
    int code = key;
    code |= (modifiers & platform::kModControl) != 0 ? kQtControl : 0;
    code |= (modifiers & kModAlt) != 0 ? kQtAlt : 0;
    code |= (modifiers & kModShift) != 0 ? kQtShift : 0;
    code |= (modifiers & kModWin) != 0 ? kQtMeta : 0;
    return code;
}

KGlobalAccel::KGlobalAccel(std::function<void(int id)> fired)
    : fired_(std::move(fired)), tracing_(!qEnvironmentVariableIsEmpty("VALUMAT_TRACE_HOTKEYS")) {
    releaseWait_.setSingleShot(true);
    releaseWait_.setInterval(platform::kHotKeyReleaseWaitMs);
    QObject::connect(&releaseWait_, &QTimer::timeout, this, [this] { fire(); });
}

KGlobalAccel::~KGlobalAccel() = default;

bool KGlobalAccel::connectService(std::string& problem) {
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) {
        problem = "keine Verbindung zum D-Bus der Sitzung";
        return false;
    }
    if (!bus.interface()->isServiceRegistered(kService).value()) {
        problem = "kein KGlobalAccel (org.kde.kglobalaccel) auf dem D-Bus der Sitzung";
        return false;
    }
    // The component's object exists once it has an action: the signals are subscribed to on its path, which
    // KGlobalAccel forms from the name.
    componentPath_ = QStringLiteral("/component/") + kComponent;
    const bool pressed =
        bus.connect(kService, componentPath_, kComponentInterface, QStringLiteral("globalShortcutPressed"), this,
                    SLOT(onPressed(QString, QString, qlonglong)));
    const bool released =
        bus.connect(kService, componentPath_, kComponentInterface, QStringLiteral("globalShortcutReleased"), this,
                    SLOT(onReleased(QString, QString, qlonglong)));
    if (!pressed || !released) {
        problem = "die Signale von KGlobalAccel lassen sich nicht abonnieren";
        return false;
    }
    return true;
}

bool KGlobalAccel::bind(int id, unsigned modifiers, std::uint8_t virtualKey, const std::string& name,
                        std::string& error) {
    const int code = qtKeyCode(modifiers, virtualKey);
    if (code == 0) {
        error = "die Taste hat keinen Namen";
        return false;
    }
    const QStringList names = actionNames(id, name);
    QDBusMessage reply = call(QStringLiteral("doRegister"), {names});
    if (reply.type() == QDBusMessage::ErrorMessage) {
        error = reply.errorMessage().toStdString();
        return false;
    }
    reply = call(QStringLiteral("setShortcut"),
                 {names, QVariant::fromValue(QList<int>{code}), QVariant::fromValue(kSetPresent | kNoAutoloading)});
    if (reply.type() == QDBusMessage::ErrorMessage || reply.arguments().isEmpty()) {
        error = reply.errorMessage().toStdString();
        unbind(id);
        return false;
    }
    const QList<int> given = qdbus_cast<QList<int>>(reply.arguments().first());
    if (tracing_) {
        std::fprintf(stderr, "valumat: KGlobalAccel %s: 0x%x\n", qPrintable(names[1]), given.value(0));
    }
    if (!given.contains(code)) {
        error = "ein anderes Programm hat sie schon";
        unbind(id);
        return false;
    }
    return true;
}

void KGlobalAccel::unbind(int id) {
    call(QStringLiteral("unregister"), {kComponent, kActionPrefix + QString::number(id)});
    if (waiting_ && waitingId_ == id) {
        releaseWait_.stop();
        waiting_ = false;
    }
}

bool KGlobalAccel::actionId(const QString& component, const QString& action, int& id) {
    if (component != kComponent || !action.startsWith(kActionPrefix)) {
        return false;
    }
    bool ok = false;
    const int value = action.mid(kActionPrefix.size()).toInt(&ok); // hot-key ids may be negative
    if (ok) {
        id = value;
    }
    return ok;
}

void KGlobalAccel::onPressed(const QString& component, const QString& action, qlonglong) {
    int id = 0;
    if (!actionId(component, action, id)) {
        return;
    }
    if (tracing_) {
        std::fprintf(stderr, "valumat: KGlobalAccel gedrückt %s\n", qPrintable(action));
    }
    if (waiting_) {
        fire(); // a second press before the first one's release: the first runs now
    }
    waiting_ = true;
    waitingId_ = id;
    releaseWait_.start();
}

void KGlobalAccel::onReleased(const QString& component, const QString& action, qlonglong) {
    int id = 0;
    if (!actionId(component, action, id) || !waiting_ || id != waitingId_) {
        return;
    }
    if (tracing_) {
        std::fprintf(stderr, "valumat: KGlobalAccel losgelassen %s\n", qPrintable(action));
    }
    fire();
}

void KGlobalAccel::fire() {
    releaseWait_.stop();
    if (!waiting_) {
        return;
    }
    waiting_ = false;
    fired_(waitingId_);
}

} // namespace valumat::wayland
