#include "platform/linux/qtservices.h"

#include "runtime/errors.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDesktopServices>
#include <QEvent>
#include <QEventLoop>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPushButton>
#include <QThread>
#include <QUrl>

#include <cstdio>
#include <cstdlib>

namespace valumat::qt {

namespace {

class PostedMessage final : public QEvent {
public:
    static QEvent::Type type() {
        static const auto t = static_cast<QEvent::Type>(QEvent::registerEventType());
        return t;
    }
    PostedMessage(platform::WindowHandle w, unsigned m, std::intptr_t wp, std::intptr_t lp)
        : QEvent(type()), window(w), message(m), wParam(wp), lParam(lp) {}
    platform::WindowHandle window;
    unsigned message;
    std::intptr_t wParam;
    std::intptr_t lParam;
};

} // namespace

// --- windows ---------------------------------------------------------------------------------------------------

platform::WindowHandle Windows::create() {
    const platform::WindowHandle handle = next_++;
    procedures_[handle] = [](platform::WindowHandle, unsigned, std::intptr_t, std::intptr_t) -> std::intptr_t {
        return 0;
    };
    return handle;
}

platform::WindowProc Windows::setWindowProc(platform::WindowHandle window, platform::WindowProc procedure) {
    const auto it = procedures_.find(window);
    if (it == procedures_.end()) {
        throw RuntimeError(err::kInvalidProcedureCall);
    }
    platform::WindowProc previous = std::move(it->second);
    it->second = std::move(procedure);
    return previous;
}

void Windows::post(platform::WindowHandle window, unsigned message, std::intptr_t wParam, std::intptr_t lParam) {
    QCoreApplication::postEvent(this, new PostedMessage(window, message, wParam, lParam));
}

void Windows::postHotKey(platform::WindowHandle window, int id) {
    std::fprintf(stderr, "valumat: Tastenkombination %d\n", id);
    post(window, platform::kWmHotKey, id, 0);
}

void Windows::customEvent(QEvent* event) {
    if (event->type() != PostedMessage::type()) {
        return;
    }
    const auto* m = static_cast<PostedMessage*>(event);
    const auto it = procedures_.find(m->window);
    if (it != procedures_.end()) {
        // A copy: the procedure may replace itself while it runs.
        const platform::WindowProc procedure = it->second;
        procedure(m->window, m->message, m->wParam, m->lParam);
        if (delivered) {
            delivered(m->message, m->wParam);
        }
    }
}

// --- waiting and the pump --------------------------------------------------------------------------------------

void Sleeper::sleep(int milliseconds) {
    if (milliseconds > 0) {
        QThread::msleep(static_cast<unsigned long>(milliseconds));
    }
}

void MessagePump::pumpMessages() {
    QCoreApplication::processEvents(QEventLoop::AllEvents);
}

// --- tray ----------------------------------------------------------------------------------------------------------

TrayIcon::TrayIcon(QIcon picture) : picture_(std::move(picture)) {}

// Made when first shown: asking the desktop for its notification area takes a while, and the hot keys go live
// before that.
QSystemTrayIcon& TrayIcon::icon() {
    if (!icon_) {
        icon_ = std::make_unique<QSystemTrayIcon>(picture_);
        // Without a StatusNotifier host Qt embeds a window of its own into the notification area (XEmbed); its
        // button events tell the press of the right button from its release. A StatusNotifier host decides itself
        // when to ask for the menu.
        QCoreApplication::instance()->installEventFilter(this);
        QObject::connect(icon_.get(), &QSystemTrayIcon::messageClicked, this, [this] {
            // Qt takes any notification's action for a click on its message: only one Qt showed counts.
            if (handler_ && iconMessageShown_) {
                handler_(platform::kTrayMessageClick);
            }
        });
        QObject::connect(
            icon_.get(), &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason reason) {
                if (!handler_) {
                    return;
                }
                if (reason == QSystemTrayIcon::DoubleClick || (activateOpens && reason == QSystemTrayIcon::Trigger)) {
                    handler_(platform::kTrayLeftDoubleClick);
                } else if (reason == QSystemTrayIcon::Context) {
                    handler_(platform::kTrayRightButtonUp);
                }
            });
    }
    return *icon_;
}

bool TrayIcon::eventFilter(QObject* watched, QEvent* event) {
    const QEvent::Type type = event->type();
    if ((type != QEvent::MouseButtonPress && type != QEvent::MouseButtonRelease) ||
        watched->objectName() != QLatin1String("QSystemTrayIconSys")) {
        return false;
    }
    if (static_cast<QMouseEvent*>(event)->button() != Qt::RightButton) {
        return false;
    }
    // The press does nothing (Qt would report it as the context activation); the release opens the menu.
    if (type == QEvent::MouseButtonRelease && handler_) {
        handler_(platform::kTrayRightButtonUp);
    }
    return true;
}

void TrayIcon::add(const std::string& tooltip) {
    icon().setToolTip(QString::fromStdString(tooltip));
    icon().show();
}

// Through the desktop's notification service (org.freedesktop.Notifications) where it runs, whose default action
// counts as a click on the message (Qt's own message to that service carries no action); beside the icon where
// there is no such service.
void TrayIcon::showMessage(const std::string& title, const std::string& text) {
    std::fprintf(stderr, "valumat: %s: %s\n", title.c_str(), text.c_str());
    if (notify(title, text)) {
        return;
    }
    if (icon_ && icon_->isVisible()) {
        iconMessageShown_ = true;
        icon_->showMessage(QString::fromStdString(title), QString::fromStdString(text), QSystemTrayIcon::Information,
                           10000);
    }
}

bool TrayIcon::notify(const std::string& title, const std::string& text) {
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) {
        return false;
    }
    if (!notificationsWatched_) {
        notificationsWatched_ = true;
        bus.connect(QStringLiteral("org.freedesktop.Notifications"), QStringLiteral("/org/freedesktop/Notifications"),
                    QStringLiteral("org.freedesktop.Notifications"), QStringLiteral("ActionInvoked"), this,
                    SLOT(notificationAction(uint, QString)));
    }
    QDBusMessage call = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.Notifications"), QStringLiteral("/org/freedesktop/Notifications"),
        QStringLiteral("org.freedesktop.Notifications"), QStringLiteral("Notify"));
    call << QStringLiteral("Valumat") << notification_ << QStringLiteral("valumat") << QString::fromStdString(title)
         << QString::fromStdString(text) << QStringList{QStringLiteral("default"), QStringLiteral("Kopieren")}
         << QVariantMap{} << 10000;
    const QDBusMessage reply = bus.call(call, QDBus::Block, 1000);
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty()) {
        return false;
    }
    notification_ = reply.arguments().first().toUInt();
    return true;
}

void TrayIcon::notificationAction(uint id, const QString& action) {
    if (id == notification_ && action == QLatin1String("default") && handler_) {
        handler_(platform::kTrayMessageClick);
    }
}

void TrayIcon::setTooltip(const std::string& tooltip) {
    if (icon_ && icon_->isVisible()) {
        icon_->setToolTip(QString::fromStdString(tooltip));
    }
}

void TrayIcon::remove() {
    if (icon_) {
        icon_->hide();
    }
}

void TrayIcon::setMouseHandler(std::function<void(int message)> handler) {
    handler_ = std::move(handler);
}

bool TrayIcon::available() const {
    return QSystemTrayIcon::isSystemTrayAvailable();
}

// --- shell, message boxes, process ----------------------------------------------------------------------------

void ShellOpen::shellOpen(platform::WindowHandle, const std::string&, const std::string& target,
                          const std::string& directory) {
    const QString t = QString::fromStdString(target);
    QUrl url;
    if (t.startsWith(QLatin1String("mailto:")) || t.contains(QLatin1String("://"))) {
        url = QUrl(t);
    } else {
        url = QUrl::fromLocalFile(QString::fromStdString(directory) + t);
    }
    QDesktopServices::openUrl(url);
}

platform::MessageAnswer MessageBoxes::messageBox(const std::string& text, const std::string& title,
                                                 platform::MessageIcon icon, platform::MessageButtons buttons,
                                                 platform::DefaultButton defaultButton) {
    QMessageBox box;
    box.setWindowTitle(QString::fromStdString(title));
    box.setText(QString::fromStdString(text));
    switch (icon) {
    case platform::MessageIcon::Critical:
        box.setIcon(QMessageBox::Critical);
        break;
    case platform::MessageIcon::Question:
        box.setIcon(QMessageBox::Question);
        break;
    case platform::MessageIcon::Exclamation:
        box.setIcon(QMessageBox::Warning);
        break;
    case platform::MessageIcon::Information:
        box.setIcon(QMessageBox::Information);
        break;
    case platform::MessageIcon::None:
        break;
    }
    if (buttons == platform::MessageButtons::Ok) {
        QPushButton* ok = box.addButton(QStringLiteral("OK"), QMessageBox::AcceptRole);
        box.setDefaultButton(ok);
        box.setEscapeButton(ok);
        box.exec();
        return platform::MessageAnswer::Ok;
    }
    QPushButton* yes = box.addButton(QStringLiteral("Ja"), QMessageBox::YesRole);
    QPushButton* no = box.addButton(QStringLiteral("Nein"), QMessageBox::NoRole);
    box.setDefaultButton(defaultButton == platform::DefaultButton::First ? yes : no);
    box.setEscapeButton(no);
    box.exec();
    return box.clickedButton() == yes ? platform::MessageAnswer::Yes : platform::MessageAnswer::No;
}

std::string Process::programPath() {
    return QCoreApplication::applicationFilePath().toStdString();
}

std::string Process::commandLine() {
    QStringList arguments = QCoreApplication::arguments();
    if (!arguments.isEmpty()) {
        arguments.removeFirst();
    }
    return arguments.join(QLatin1Char(' ')).toStdString();
}

void Process::endProgram(int status) {
    if (beforeEnd) {
        beforeEnd();
    }
    std::fflush(nullptr);
    std::_Exit(status);
}

} // namespace valumat::qt
