#include "platform/qt/qtdesktop.h"

#include "runtime/errors.h"

#include <QAbstractEventDispatcher>
#include <QClipboard>
#include <QCoreApplication>
#include <QDesktopServices>
#include <QEvent>
#include <QEventLoop>
#include <QGuiApplication>
#include <QMessageBox>
#include <QMimeData>
#include <QPushButton>
#include <QThread>
#include <QTimer>
#include <QUrl>
#include <QtGui/qguiapplication_platform.h>

#include <xcb/xcb.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace valumat::qt {

namespace {

xcb_connection_t* connection() {
    auto* x11 = qApp->nativeInterface<QNativeInterface::QX11Application>();
    return x11 != nullptr ? x11->connection() : nullptr;
}

unsigned internAtom(const char* name) {
    xcb_connection_t* c = connection();
    if (c == nullptr) {
        return 0;
    }
    auto cookie = xcb_intern_atom(c, 0, static_cast<std::uint16_t>(std::strlen(name)), name);
    xcb_intern_atom_reply_t* reply = xcb_intern_atom_reply(c, cookie, nullptr);
    const unsigned atom = reply != nullptr ? reply->atom : 0;
    std::free(reply);
    return atom;
}

xcb_window_t selectionOwner(unsigned selection) {
    xcb_connection_t* c = connection();
    if (c == nullptr) {
        return XCB_NONE;
    }
    xcb_get_selection_owner_reply_t* reply =
        xcb_get_selection_owner_reply(c, xcb_get_selection_owner(c, selection), nullptr);
    const xcb_window_t owner = reply != nullptr ? reply->owner : XCB_NONE;
    std::free(reply);
    return owner;
}

// Windows of one client share the bits outside the resource-id mask.
std::uint32_t clientOf(xcb_window_t window) {
    return window & ~xcb_get_setup(connection())->resource_id_mask;
}

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

class SavedClipboard final : public platform::Clipboard::Snapshot {
public:
    std::vector<std::pair<QString, QByteArray>> formats;
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

// --- clipboard -------------------------------------------------------------------------------------------------

Clipboard::Clipboard() {
    clipboardAtom_ = internAtom("CLIPBOARD");
    for (const char* name : {"UTF8_STRING", "text/plain;charset=utf-8", "text/plain;charset=UTF-8", "text/plain",
                             "STRING", "TEXT", "COMPOUND_TEXT"}) {
        textTargets_.push_back(internAtom(name));
    }
    if (QAbstractEventDispatcher* dispatcher = QAbstractEventDispatcher::instance()) {
        dispatcher->installNativeEventFilter(this);
    }
}

Clipboard::~Clipboard() {
    if (QAbstractEventDispatcher* dispatcher = QAbstractEventDispatcher::instance()) {
        dispatcher->removeNativeEventFilter(this);
    }
}

bool Clipboard::nativeEventFilter(const QByteArray& eventType, void* message, qintptr*) {
    if (eventType != "xcb_generic_event_t" || !resultSet_) {
        return false;
    }
    const auto* event = static_cast<xcb_generic_event_t*>(message);
    const int type = event->response_type & ~0x80;
    if (type == XCB_SELECTION_REQUEST) {
        const auto* request = reinterpret_cast<const xcb_selection_request_event_t*>(event);
        // Applications ask for the list of formats and for formats of their own first: only a text format we
        // offer takes the result.
        if (request->selection == clipboardAtom_ && !fetched_ &&
            std::find(textTargets_.begin(), textTargets_.end(), request->target) != textTargets_.end()) {
            fetched_ = true;
            emit fetchedOrLost();
        }
    } else if (type == XCB_SELECTION_CLEAR) {
        const auto* clear = reinterpret_cast<const xcb_selection_clear_event_t*>(event);
        if (clear->selection == clipboardAtom_) {
            const xcb_window_t owner = selectionOwner(clipboardAtom_);
            if (owner != XCB_NONE && clientOf(owner) != xcb_get_setup(connection())->resource_id_base) {
                lost_ = true;
                emit fetchedOrLost();
            }
        }
    }
    return false;
}

bool Clipboard::ownerIsFocusedClient() {
    xcb_connection_t* c = connection();
    if (c == nullptr) {
        return true;
    }
    const xcb_window_t owner = selectionOwner(clipboardAtom_);
    if (owner == XCB_NONE) {
        return false;
    }
    xcb_get_input_focus_reply_t* reply = xcb_get_input_focus_reply(c, xcb_get_input_focus(c), nullptr);
    const xcb_window_t focus = reply != nullptr ? reply->focus : XCB_NONE;
    std::free(reply);
    if (focus == XCB_NONE || focus == XCB_INPUT_FOCUS_POINTER_ROOT) {
        return true; // nothing to compare with
    }
    return clientOf(owner) == clientOf(focus);
}

bool Clipboard::weOwnIt() {
    xcb_connection_t* c = connection();
    if (c == nullptr) {
        return QGuiApplication::clipboard()->ownsClipboard();
    }
    const xcb_window_t owner = selectionOwner(clipboardAtom_);
    return owner != XCB_NONE && clientOf(owner) == xcb_get_setup(c)->resource_id_base;
}

std::unique_ptr<platform::Clipboard::Snapshot> Clipboard::save() {
    resultSet_ = false;
    fetched_ = false;
    lost_ = false;
    auto snapshot = std::make_unique<SavedClipboard>();
    if (const QMimeData* data = QGuiApplication::clipboard()->mimeData(QClipboard::Clipboard)) {
        for (const QString& format : data->formats()) {
            snapshot->formats.emplace_back(format, data->data(format));
        }
    }
    return snapshot;
}

void Clipboard::restore(const platform::Clipboard::Snapshot& snapshot) {
    if (lost_) {
        return; // another program put something new there: that stays
    }
    const auto* saved = dynamic_cast<const SavedClipboard*>(&snapshot);
    if (saved == nullptr) {
        throw RuntimeError(err::kInvalidProcedureCall);
    }
    if (saved->formats.empty()) {
        QGuiApplication::clipboard()->clear(QClipboard::Clipboard);
        return;
    }
    auto* data = new QMimeData;
    for (const auto& [format, bytes] : saved->formats) {
        data->setData(format, bytes);
    }
    QGuiApplication::clipboard()->setMimeData(data, QClipboard::Clipboard);
}

std::string Clipboard::getText() {
    // Clipboard managers take the clipboard back as soon as it is emptied: only the focused application's copy
    // is the user's selection.
    if (!ownerIsFocusedClient()) {
        return {};
    }
    const std::string text = QGuiApplication::clipboard()->text(QClipboard::Clipboard).toStdString();
    return text;
}

void Clipboard::clear() {
    if (lost_) {
        return;
    }
    QGuiApplication::clipboard()->clear(QClipboard::Clipboard);
}

void Clipboard::setText(const std::string& text) {
    auto offer = [&text] {
        auto* data = new QMimeData;
        data->setText(QString::fromStdString(text));
        data->setData(QStringLiteral("text/plain;charset=utf-8"), QByteArray::fromStdString(text));
        QGuiApplication::clipboard()->setMimeData(data, QClipboard::Clipboard);
    };
    offer();
    resultSet_ = true;
    fetched_ = false;
    lost_ = false;
    if (!weOwnIt()) {
        // A stale server time makes taking the selection fail silently: let Qt see newer events, then again.
        QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
        offer();
    }
}

bool Clipboard::resultPending() {
    return resultSet_ && !fetched_ && !lost_ && weOwnIt();
}

bool Clipboard::waitFetched(int maxMilliseconds) {
    if (!resultPending()) {
        return true;
    }
    QEventLoop loop;
    QTimer timer;
    timer.setSingleShot(true);
    QObject::connect(&timer, &QTimer::timeout, &loop, &QEventLoop::quit);
    QObject::connect(this, &Clipboard::fetchedOrLost, &loop, &QEventLoop::quit);
    timer.start(maxMilliseconds);
    loop.exec();
    return !resultPending();
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

TrayIcon::TrayIcon(QIcon icon) : icon_(std::move(icon)) {
    QObject::connect(&icon_, &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason reason) {
        if (!handler_) {
            return;
        }
        if (reason == QSystemTrayIcon::DoubleClick) {
            handler_(platform::kTrayLeftDoubleClick);
        } else if (reason == QSystemTrayIcon::Context) {
            handler_(platform::kTrayRightButtonUp);
        }
    });
}

void TrayIcon::add(const std::string& tooltip) {
    icon_.setToolTip(QString::fromStdString(tooltip));
    icon_.show();
}

void TrayIcon::remove() {
    icon_.hide();
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
    std::fflush(nullptr);
    std::_Exit(status);
}

} // namespace valumat::qt
