#include "platform/linux/gnome/gnomeclipboard.h"

#include "platform/linux/eventwait.h"
#include "platform/linux/gnome/remotedesktop.h"
#include "platform/linux/pipes.h"
#include "runtime/clipsave.h"
#include "runtime/errors.h"

#include <QCoreApplication>
#include <QDBusArgument>
#include <QDBusUnixFileDescriptor>
#include <QEvent>
#include <QStringList>

#include <algorithm>
#include <cstdio>

#include <fcntl.h>
#include <unistd.h>

namespace valumat::gnome {

namespace {

using qt::steadyMs;

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

} // namespace

Clipboard::Clipboard()
    : tracing_(!qEnvironmentVariableIsEmpty("VALUMAT_TRACE_CLIPBOARD")),
      ahead_([this](const std::string& type) { return selectionRead(type); },
             [this](const std::string& line) { trace(line); }) {
    connect(&ahead_, &qt::PipeReadAhead::finished, this, &Clipboard::news);
}

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
    ahead_.stop();
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
        ahead_.changed({}, true);
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
    // What was read ahead of the content before goes with it; another program's is read once settled.
    ahead_.changed(types_, types_.empty());
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
    if (ours_ && offeredResult_ && listener_ != nullptr && type != platform::kHistoryHintFormat) {
        serve = listener_->resultRequested(platform::ClipboardOrigin::Unknown, isTextType(type));
        emit news();
    }
    const auto it =
        std::find_if(offered_.begin(), offered_.end(), [&type](const auto& format) { return format.first == type; });
    const bool derived = std::find(derived_.begin(), derived_.end(), type) != derived_.end();
    const auto png =
        std::find_if(offered_.begin(), offered_.end(), [](const auto& format) { return format.first == "image/png"; });
    bool written = false;
    if (serve && (it != offered_.end() || (derived && png != offered_.end())) && session_) {
        const QDBusMessage reply = session_->call(QStringLiteral("SelectionWrite"), {serial});
        if (reply.type() == QDBusMessage::ReplyMessage && !reply.arguments().isEmpty()) {
            const auto fd = reply.arguments().first().value<QDBusUnixFileDescriptor>();
            written =
                fd.isValid() && qt::writeAll(fd.fileDescriptor(),
                                             it != offered_.end() ? it->second : qt::derivedImage(png->second, type));
        }
    }
    if (session_) {
        session_->call(QStringLiteral("SelectionWriteDone"), {serial, written});
    }
    trace("request " + type + (offeredResult_ ? (written ? " (result)" : " (result, refused)") : " (user's)"));
}

bool Clipboard::offer(Formats formats, bool result, bool placeholder, std::vector<std::string> derived) {
    if (!ensure()) {
        return false;
    }
    QStringList types;
    for (const auto& format : formats) {
        types << QString::fromStdString(format.first);
    }
    for (const std::string& type : derived) {
        types << QString::fromStdString(type);
    }
    const QDBusMessage reply =
        session_->call(QStringLiteral("SetSelection"), {QVariantMap{{QStringLiteral("mime-types"), types}}});
    if (reply.type() != QDBusMessage::ReplyMessage) {
        trace("set selection refused: " + reply.errorMessage().toStdString());
        return false;
    }
    ++pendingOwn_;
    offered_ = std::move(formats);
    derived_ = std::move(derived);
    offeredResult_ = result;
    placeholder_ = placeholder;
    ours_ = true;
    return true;
}

int Clipboard::selectionRead(const std::string& type) {
    if (!ensure()) {
        return -1;
    }
    // Mutter runs one read per session and clears it only a moment after its last byte came: a read right after
    // another may be refused as "in parallel" and is asked again (briefly).
    QDBusMessage reply;
    for (int attempt = 0;; ++attempt) {
        reply = session_->call(QStringLiteral("SelectionRead"), {QString::fromStdString(type)});
        if (reply.type() == QDBusMessage::ErrorMessage &&
            reply.errorName() == QStringLiteral("org.freedesktop.DBus.Error.LimitsExceeded") && attempt < 20) {
            ::usleep(5000);
            continue;
        }
        break;
    }
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty()) {
        trace("read refused: " + reply.errorMessage().toStdString());
        return -1;
    }
    const auto descriptor = reply.arguments().first().value<QDBusUnixFileDescriptor>();
    // The descriptor closes its own copy.
    return descriptor.isValid() ? ::fcntl(descriptor.fileDescriptor(), F_DUPFD_CLOEXEC, 0) : -1;
}

bool Clipboard::readFormat(const std::string& type, int maxMilliseconds, std::string& bytes) {
    bytes.clear();
    const int fd = selectionRead(type);
    if (fd < 0) {
        return false;
    }
    const bool complete = qt::readAll(fd, maxMilliseconds, bytes);
    ::close(fd);
    if (!complete) {
        trace("format not delivered in time: " + type);
    }
    return complete;
}

std::unique_ptr<platform::Clipboard::Snapshot> Clipboard::save() {
    if (!ensure()) {
        throw RuntimeError(err::kInvalidProcedureCall);
    }
    auto snapshot = std::make_unique<SavedClipboard>();
    // Every owner change mutter sent before the hot key is handled first.
    session_->sync();
    QCoreApplication::sendPostedEvents(this, QEvent::MetaCall);
    const auto wait = [this](int maxMilliseconds) {
        waitForEvents(maxMilliseconds);
        return !abandoned_;
    };
    if (ahead_.saveInto(snapshot->formats, wait, [this](const std::string& text) { note(text); })) {
        return snapshot;
    }
    if (ours_) {
        if (!placeholder_) {
            snapshot->formats = offered_;
        }
    } else {
        // What the saving rule plans (src/runtime/clipsave), each read within the time it leaves.
        const std::int64_t start = steadyMs();
        clipsave::Read read = clipsave::readPlanned(
            types_, [start] { return steadyMs() - start; },
            [this](const std::string& type, int maxMilliseconds, std::string& bytes) {
                return readFormat(type, maxMilliseconds, bytes);
            });
        snapshot->formats = std::move(read.formats);
        if (!read.late.empty()) {
            note(clipsave::lateNote(read.late));
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
    ahead_.release(); // what comes now is ours
    if (saved->formats.empty()) {
        if (ours_) {
            session_->call(QStringLiteral("SetSelection"), {QVariantMap{}});
        }
        ours_ = false;
        offered_.clear();
        return;
    }
    // The save kept one image of the user's (its PNG): the other image types are made from it when asked for.
    if (!offer(saved->formats, false, false, qt::derivedImageTypes(saved->formats))) {
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
    // Clipboard histories that know the hint leave the result out.
    formats.emplace_back(platform::kHistoryHintFormat, platform::kHistoryHintValue);
    if (!offer(std::move(formats), true, false)) {
        throw RuntimeError(err::kInvalidProcedureCall);
    }
}

} // namespace valumat::gnome
