#include "platform/linux/gnome/gnomeclipboard.h"

#include "platform/linux/eventwait.h"
#include "platform/linux/gnome/remotedesktop.h"
#include "runtime/errors.h"

#include <QDBusArgument>
#include <QDBusUnixFileDescriptor>
#include <QStringList>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

namespace valumat::gnome {

namespace {

std::int64_t steadyMs() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

// The text formats we offer for a result and read a copy in, best first.
const char* const kTextTypes[] = {"text/plain;charset=utf-8", "UTF8_STRING", "text/plain", "TEXT", "STRING"};
// The one format of the emptied clipboard: no program asks for it.
const char* const kEmptiedType = "application/x-valumat-emptied";

bool isTextType(const std::string& type) {
    return std::any_of(std::begin(kTextTypes), std::end(kTextTypes), [&type](const char* t) { return type == t; });
}

class SavedClipboard final : public platform::Clipboard::Snapshot {
public:
    Clipboard::Formats formats;
};

// The mime types of an owner change: mutter sends them as a structure holding the list.
std::vector<std::string> mimeTypes(const QVariant& value) {
    QStringList list;
    if (value.canConvert<QDBusArgument>()) {
        const auto argument = value.value<QDBusArgument>();
        if (argument.currentType() == QDBusArgument::StructureType) {
            argument.beginStructure();
            argument >> list;
            argument.endStructure();
        } else {
            argument >> list;
        }
    } else {
        list = value.toStringList();
    }
    std::vector<std::string> types;
    for (const QString& type : list) {
        types.push_back(type.toStdString());
    }
    return types;
}

// Writes all bytes to a pipe whose reader reads them while we write; gives up when the reader stops reading for a
// second.
bool writeAll(int fd, const std::string& bytes) {
    const int flags = ::fcntl(fd, F_GETFL);
    ::fcntl(fd, F_SETFL, flags | O_NONBLOCK);
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n > 0) {
            done += static_cast<std::size_t>(n);
        } else if (n < 0 && (errno == EAGAIN || errno == EINTR)) {
            pollfd ready{fd, POLLOUT, 0};
            if (::poll(&ready, 1, 1000) <= 0) {
                return false;
            }
        } else {
            return false; // the reader went away
        }
    }
    return true;
}

} // namespace

Clipboard::Clipboard() : tracing_(!qEnvironmentVariableIsEmpty("VALUMAT_TRACE_CLIPBOARD")) {}

Clipboard::~Clipboard() = default;

bool Clipboard::open(std::string& problem) {
    auto session = std::make_unique<Session>();
    if (!session->open(problem)) {
        return false;
    }
    session->subscribe(QStringLiteral("SelectionOwnerChanged"), this, SLOT(onOwnerChanged(QVariantMap)));
    session->subscribe(QStringLiteral("SelectionTransfer"), this, SLOT(onTransfer(QString, uint)));
    QObject::connect(session.get(), &Session::closed, this, &Clipboard::onClosed);
    // Turned on without formats, the clipboard's current owner is announced at once.
    const QDBusMessage reply = session->call(QStringLiteral("EnableClipboard"), {QVariantMap{}});
    if (reply.type() != QDBusMessage::ReplyMessage) {
        problem = reply.errorMessage().toStdString();
        return false;
    }
    session_ = std::move(session);
    return true;
}

bool Clipboard::ensure() {
    if (session_ && session_->alive()) {
        return true;
    }
    std::string problem;
    if (!open(problem)) {
        trace("no clipboard session: " + problem);
        return false;
    }
    trace("clipboard session made anew");
    return true;
}

void Clipboard::onClosed() {
    trace("clipboard session closed by GNOME");
    ours_ = false;
    pendingOwn_ = 0;
    types_.clear();
    if (session_) {
        session_.release()->deleteLater();
    }
    emit news();
}

void Clipboard::trace(const std::string& what) {
    if (tracing_) {
        std::fprintf(stderr, "valumat: clipboard %lld %s\n", static_cast<long long>(steadyMs() % 1000000),
                     what.c_str());
    }
}

std::int64_t Clipboard::nowMs() {
    return steadyMs();
}

void Clipboard::waitForEvents(int maxMilliseconds) {
    if (!abandoned_) {
        qt::waitForSignal(this, &Clipboard::news, maxMilliseconds);
    }
}

void Clipboard::abandonWaits() {
    abandoned_ = true;
    emit news();
}

void Clipboard::onOwnerChanged(const QVariantMap& options) {
    const bool own = options.value(QStringLiteral("session-is-owner")).toBool();
    if (own) {
        pendingOwn_ = std::max(0, pendingOwn_ - 1);
        trace("selection ours");
        return;
    }
    // A change that happened before our latest selection took over is news of the past: mutter announced it before
    // ours, and the owner now is us.
    if (pendingOwn_ > 0) {
        trace("selection of another client before ours (past)");
        return;
    }
    ours_ = false;
    types_ = mimeTypes(options.value(QStringLiteral("mime-types")));
    if (types_.empty()) {
        trace("selection none");
        return;
    }
    trace("selection of another client");
    if (listener_ != nullptr) {
        listener_->ownerChanged(platform::ClipboardOrigin::Unknown, std::nullopt);
        emit news();
    }
}

void Clipboard::onTransfer(const QString& mimeType, uint serial) {
    const std::string type = mimeType.toStdString();
    bool serve = ours_;
    if (ours_ && offeredResult_ && listener_ != nullptr) {
        serve = listener_->resultRequested(platform::ClipboardOrigin::Unknown, isTextType(type));
        emit news();
    }
    const auto it =
        std::find_if(offered_.begin(), offered_.end(), [&type](const auto& format) { return format.first == type; });
    bool written = false;
    if (serve && it != offered_.end() && session_) {
        const QDBusMessage reply = session_->call(QStringLiteral("SelectionWrite"), {serial});
        if (reply.type() == QDBusMessage::ReplyMessage && !reply.arguments().isEmpty()) {
            const auto fd = reply.arguments().first().value<QDBusUnixFileDescriptor>();
            written = fd.isValid() && writeAll(fd.fileDescriptor(), it->second);
        }
    }
    if (session_) {
        session_->call(QStringLiteral("SelectionWriteDone"), {serial, written});
    }
    trace("request " + type + (offeredResult_ ? (written ? " (result)" : " (result, refused)") : " (user's)"));
}

bool Clipboard::offer(Formats formats, bool result, bool placeholder) {
    if (!ensure()) {
        return false;
    }
    QStringList types;
    for (const auto& format : formats) {
        types << QString::fromStdString(format.first);
    }
    const QDBusMessage reply =
        session_->call(QStringLiteral("SetSelection"), {QVariantMap{{QStringLiteral("mime-types"), types}}});
    if (reply.type() != QDBusMessage::ReplyMessage) {
        trace("set selection refused: " + reply.errorMessage().toStdString());
        return false;
    }
    ++pendingOwn_;
    offered_ = std::move(formats);
    offeredResult_ = result;
    placeholder_ = placeholder;
    ours_ = true;
    return true;
}

bool Clipboard::readFormat(const std::string& type, int maxMilliseconds, std::string& bytes) {
    bytes.clear();
    if (!ensure()) {
        return false;
    }
    const QDBusMessage reply = session_->call(QStringLiteral("SelectionRead"), {QString::fromStdString(type)});
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty()) {
        trace("read refused: " + reply.errorMessage().toStdString());
        return false;
    }
    const auto descriptor = reply.arguments().first().value<QDBusUnixFileDescriptor>();
    if (!descriptor.isValid()) {
        return false;
    }
    const int fd = descriptor.fileDescriptor();
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK);
    const std::int64_t deadline = steadyMs() + maxMilliseconds;
    char buffer[65536];
    while (true) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n > 0) {
            bytes.append(buffer, static_cast<std::size_t>(n));
            continue;
        }
        if (n == 0) {
            return true;
        }
        if (errno != EAGAIN && errno != EINTR) {
            return false;
        }
        const std::int64_t left = deadline - steadyMs();
        if (left <= 0) {
            trace("format not delivered in time: " + type);
            return false;
        }
        pollfd ready{fd, POLLIN, 0};
        ::poll(&ready, 1, static_cast<int>(left));
    }
}

std::unique_ptr<platform::Clipboard::Snapshot> Clipboard::save() {
    if (!ensure()) {
        throw RuntimeError(err::kInvalidProcedureCall);
    }
    auto snapshot = std::make_unique<SavedClipboard>();
    if (ours_) {
        if (!placeholder_) {
            snapshot->formats = offered_;
        }
    } else {
        const std::int64_t deadline = steadyMs() + kSaveMs;
        for (const std::string& type : types_) {
            std::string bytes;
            const auto left = static_cast<int>(deadline - steadyMs());
            if (left > 0 && readFormat(type, left, bytes)) {
                snapshot->formats.emplace_back(type, std::move(bytes));
            }
        }
    }
    trace("save " + std::to_string(snapshot->formats.size()) + " formats");
    return snapshot;
}

void Clipboard::restore(const platform::Clipboard::Snapshot& snapshot) {
    const auto* saved = dynamic_cast<const SavedClipboard*>(&snapshot);
    if (saved == nullptr || !ensure()) {
        throw RuntimeError(err::kInvalidProcedureCall);
    }
    trace("restore " + std::to_string(saved->formats.size()) + " formats");
    if (saved->formats.empty()) {
        if (ours_) {
            session_->call(QStringLiteral("SetSelection"), {QVariantMap{}});
        }
        ours_ = false;
        offered_.clear();
        return;
    }
    if (!offer(saved->formats, false, false)) {
        throw RuntimeError(err::kInvalidProcedureCall);
    }
}

void Clipboard::empty() {
    if (!offer({{kEmptiedType, std::string()}}, false, true)) {
        throw RuntimeError(err::kInvalidProcedureCall);
    }
    trace("empty");
}

std::string Clipboard::readText(int maxMilliseconds) {
    if (ours_) {
        return {};
    }
    for (const char* wanted : kTextTypes) {
        if (std::find(types_.begin(), types_.end(), wanted) == types_.end()) {
            continue;
        }
        std::string bytes;
        if (!readFormat(wanted, maxMilliseconds, bytes)) {
            return {};
        }
        if (std::string(wanted) == "STRING") {
            bytes = QString::fromLatin1(bytes.data(), static_cast<qsizetype>(bytes.size())).toStdString();
        }
        return bytes;
    }
    return {};
}

void Clipboard::offerText(const std::string& text) {
    Formats formats;
    for (const char* type : kTextTypes) {
        formats.emplace_back(type, std::string(type) == "STRING" ? QString::fromStdString(text).toLatin1().toStdString()
                                                                 : text);
    }
    if (!offer(std::move(formats), true, false)) {
        throw RuntimeError(err::kInvalidProcedureCall);
    }
}

} // namespace valumat::gnome
