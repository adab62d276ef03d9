#include "platform/linux/gnome/remotedesktop.h"

#include <QDBusConnection>
#include <QDBusObjectPath>

namespace valumat::gnome {

namespace {

const QString kPath = QStringLiteral("/org/gnome/Mutter/RemoteDesktop");
const QString kInterface = QStringLiteral("org.gnome.Mutter.RemoteDesktop");
const QString kSessionInterface = QStringLiteral("org.gnome.Mutter.RemoteDesktop.Session");
constexpr int kCallTimeoutMs = 3000;

} // namespace

Session::~Session() {
    if (alive_ && started_) {
        call(QStringLiteral("Stop"));
    }
}

bool Session::open(std::string& error) {
    QDBusMessage message = QDBusMessage::createMethodCall(QString::fromLatin1(kService), kPath, kInterface,
                                                          QStringLiteral("CreateSession"));
    const QDBusMessage reply = QDBusConnection::sessionBus().call(message, QDBus::Block, kCallTimeoutMs);
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty()) {
        error = reply.errorMessage().toStdString();
        return false;
    }
    path_ = reply.arguments().first().value<QDBusObjectPath>().path();
    alive_ = true;
    subscribe(QStringLiteral("Closed"), this, SLOT(onClosed()));
    return true;
}

bool Session::start(std::string& error) {
    const QDBusMessage reply = call(QStringLiteral("Start"));
    if (reply.type() != QDBusMessage::ReplyMessage) {
        error = reply.errorMessage().toStdString();
        return false;
    }
    started_ = true;
    return true;
}

QDBusMessage Session::call(const QString& method, const QList<QVariant>& arguments) {
    QDBusMessage message =
        QDBusMessage::createMethodCall(QString::fromLatin1(kService), path_, kSessionInterface, method);
    message.setArguments(arguments);
    return QDBusConnection::sessionBus().call(message, QDBus::Block, kCallTimeoutMs);
}

void Session::sync() {
    const QDBusMessage message = QDBusMessage::createMethodCall(
        QString::fromLatin1(kService), path_, QStringLiteral("org.freedesktop.DBus.Peer"), QStringLiteral("Ping"));
    QDBusConnection::sessionBus().call(message, QDBus::Block, kCallTimeoutMs);
}

bool Session::subscribe(const QString& signal, QObject* receiver, const char* slot) {
    return QDBusConnection::sessionBus().connect(QString::fromLatin1(kService), path_, kSessionInterface, signal,
                                                 receiver, slot);
}

void Session::onClosed() {
    alive_ = false;
    started_ = false;
    emit closed();
}

} // namespace valumat::gnome
