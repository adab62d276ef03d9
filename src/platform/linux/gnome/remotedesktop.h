// One session of mutter's remote-desktop service (org.gnome.Mutter.RemoteDesktop on the session bus), the way GNOME
// lends programs key strokes and the clipboard without a window in front. A session is created without a question
// to the user; keys need it started, its clipboard does not. GNOME closes every session when the screen locks, and
// mutter closes a session when the connection that made it goes away.
#pragma once

#include "platform/linux/gnome/service.h"

#include <QDBusMessage>
#include <QList>
#include <QObject>
#include <QString>
#include <QVariant>

#include <string>

namespace valumat::gnome {

class Session final : public QObject {
    Q_OBJECT
public:
    Session() = default;
    // Stops the session when it is started.
    ~Session() override;
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;

    // Creates the session; on failure `error` says why.
    bool open(std::string& error);
    // Starts it (key strokes go through only then).
    bool start(std::string& error);
    bool started() const { return started_; }
    // False once mutter closed it.
    bool alive() const { return alive_; }
    const QString& path() const { return path_; }

    // A method of the session's interface, waited for.
    QDBusMessage call(const QString& method, const QList<QVariant>& arguments = {});
    // Waits for mutter to answer a call sent now: every signal it sent before has come (posted to its receivers,
    // not yet handled).
    void sync();
    // Subscribes `receiver`'s slot to a signal of the session.
    bool subscribe(const QString& signal, QObject* receiver, const char* slot);

signals:
    void closed();

private slots:
    void onClosed();

private:
    QString path_;
    bool started_ = false;
    bool alive_ = false;
};

} // namespace valumat::gnome
