#include "platform/linux/x11/x11clipboard.h"

#include "platform/linux/eventwait.h"

#include "runtime/clipsave.h"
#include "runtime/errors.h"

#include <QAbstractEventDispatcher>
#include <QClipboard>
#include <QCoreApplication>
#include <QEventLoop>
#include <QGuiApplication>
#include <QImage>
#include <QMimeData>
#include <QTimer>
#include <QtGui/qguiapplication_platform.h>

#include <xcb/res.h>
#include <xcb/xcb.h>
#include <xcb/xfixes.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <limits>
#include <vector>

namespace valumat::x11 {

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

class SavedClipboard final : public platform::Clipboard::Snapshot {
public:
    SavedFormats formats;
};

// The user's content put back: the saved types as they were, and beside a PNG every image type Qt can write, made
// from it only when someone asks (the save read the PNG alone).
class RestoredData final : public QMimeData {
public:
    QStringList formats() const override {
        QStringList list = QMimeData::formats();
        if (list.contains(QStringLiteral("image/png"))) {
            list.append(QStringLiteral("application/x-qt-image"));
        }
        return list;
    }

protected:
    QVariant retrieveData(const QString& format, QMetaType type) const override {
        if (format == QStringLiteral("application/x-qt-image") && !QMimeData::formats().contains(format)) {
            return QImage::fromData(QMimeData::data(QStringLiteral("image/png")), "PNG");
        }
        return QMimeData::retrieveData(format, type);
    }
};

} // namespace

// --- clipboard -------------------------------------------------------------------------------------------------
//
// Who set the clipboard. After empty(), a new CLIPBOARD owner (XFixes notifications) belongs to the application in
// front when it is the same X client as the window with the input focus, or another client of the same process
// (X-Resource extension: the process id of the client that created the owner window; some applications own the
// clipboard through a connection of their own, not the one of their windows). A clipboard manager is another
// process. When the process ids cannot be compared (no X-Resource extension, a client on another machine) the
// origin is unknown. Requests for our result are told apart the same way.

namespace {

std::int64_t steadyMs() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

xcb_window_t rootWindow() {
    xcb_connection_t* c = connection();
    return c != nullptr ? xcb_setup_roots_iterator(xcb_get_setup(c)).data->root : XCB_NONE;
}

bool resAvailable() {
    static const bool available = [] {
        xcb_connection_t* c = connection();
        if (c == nullptr) {
            return false;
        }
        const xcb_query_extension_reply_t* extension = xcb_get_extension_data(c, &xcb_res_id);
        if (extension == nullptr || extension->present == 0) {
            return false;
        }
        xcb_res_query_version_reply_t* version =
            xcb_res_query_version_reply(c, xcb_res_query_version(c, 1, 2), nullptr);
        const bool ok = version != nullptr &&
                        (version->server_major > 1 || (version->server_major == 1 && version->server_minor >= 2));
        std::free(version);
        return ok;
    }();
    return available;
}

// Asks the X-Resource extension for the process id of the client that created `window` (the query's type is taken
// from the request itself). We ask for nothing else, so every value in the answer is a process id.
template <typename Query>
long askProcess(xcb_connection_t* c, xcb_window_t window,
                xcb_res_query_client_ids_cookie_t (*request)(xcb_connection_t*, std::uint32_t, const Query*)) {
    const Query query{window, XCB_RES_CLIENT_ID_MASK_LOCAL_CLIENT_PID};
    xcb_res_query_client_ids_reply_t* reply = xcb_res_query_client_ids_reply(c, request(c, 1, &query), nullptr);
    long pid = -1;
    if (reply != nullptr) {
        for (auto it = xcb_res_query_client_ids_ids_iterator(reply); it.rem > 0; xcb_res_client_id_value_next(&it)) {
            if (xcb_res_client_id_value_value_length(it.data) >= 1) {
                pid = static_cast<long>(*xcb_res_client_id_value_value(it.data));
            }
        }
    }
    std::free(reply);
    return pid;
}

// The process id of the client that created the window; -1 when the server cannot tell.
long processOf(xcb_window_t window) {
    xcb_connection_t* c = connection();
    if (c == nullptr || window == XCB_NONE || !resAvailable()) {
        return -1;
    }
    return askProcess(c, window, &xcb_res_query_client_ids);
}

} // namespace

Clipboard::Clipboard() {
    clipboardAtom_ = internAtom("CLIPBOARD");
    targetsAtom_ = internAtom("TARGETS");
    for (const char* name : {"UTF8_STRING", "text/plain;charset=utf-8", "text/plain;charset=UTF-8", "text/plain",
                             "STRING", "TEXT", "COMPOUND_TEXT"}) {
        textTargets_.push_back(internAtom(name));
    }
    tracing_ = !qEnvironmentVariableIsEmpty("VALUMAT_TRACE_CLIPBOARD");
    if (xcb_connection_t* c = connection()) {
        const xcb_query_extension_reply_t* xfixes = xcb_get_extension_data(c, &xcb_xfixes_id);
        if (xfixes != nullptr && xfixes->present != 0) {
            std::free(xcb_xfixes_query_version_reply(c, xcb_xfixes_query_version(c, 5, 0), nullptr));
            xfixesEvent_ = xfixes->first_event;
            xcb_xfixes_select_selection_input(c, rootWindow(), clipboardAtom_,
                                              XCB_XFIXES_SELECTION_EVENT_MASK_SET_SELECTION_OWNER |
                                                  XCB_XFIXES_SELECTION_EVENT_MASK_SELECTION_WINDOW_DESTROY |
                                                  XCB_XFIXES_SELECTION_EVENT_MASK_SELECTION_CLIENT_CLOSE);
            xcb_flush(c);
            readAhead_ = std::make_unique<ReadAhead>(xcb_get_setup(c)->resource_id_base, tracing_);
        }
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

void Clipboard::traceEvent(const char* what, std::uint32_t a, std::uint32_t b) const {
    if (!tracing_) {
        return;
    }
    std::string name;
    if (std::strncmp(what, "request", 7) == 0) {
        xcb_connection_t* c = connection();
        if (xcb_get_atom_name_reply_t* reply = xcb_get_atom_name_reply(c, xcb_get_atom_name(c, a), nullptr)) {
            name.assign(xcb_get_atom_name_name(reply), static_cast<std::size_t>(xcb_get_atom_name_name_length(reply)));
            std::free(reply);
        }
    }
    std::fprintf(stderr, "valumat: clipboard %lld %s 0x%x 0x%x %s\n", static_cast<long long>(steadyMs() % 1000000),
                 what, a, b, name.c_str());
}

void Clipboard::trace(const std::string& text) {
    if (tracing_) {
        std::fprintf(stderr, "valumat: clipboard %lld %s\n", static_cast<long long>(steadyMs() % 1000000),
                     text.c_str());
    }
}

std::int64_t Clipboard::nowMs() {
    return steadyMs();
}

// Handles events until something was reported (or our own request for the copy was answered), or the time is up.
void Clipboard::waitForEvents(int maxMilliseconds) {
    if (!abandoned_) {
        qt::waitForSignal(this, &Clipboard::news, maxMilliseconds);
    }
}

bool Clipboard::nativeEventFilter(const QByteArray& eventType, void* message, qintptr*) {
    if (eventType != "xcb_generic_event_t") {
        return false;
    }
    const auto* event = static_cast<xcb_generic_event_t*>(message);
    const int type = event->response_type & ~0x80;
    if (type == XCB_SELECTION_NOTIFY && requestor_ != 0) {
        const auto* notify = reinterpret_cast<const xcb_selection_notify_event_t*>(event);
        if (notify->requestor == requestor_) {
            notified_ = true;
            notifiedProperty_ = notify->property;
            emit news();
            return true; // ours alone
        }
    }
    if (type == XCB_PROPERTY_NOTIFY && requestor_ != 0) {
        const auto* notify = reinterpret_cast<const xcb_property_notify_event_t*>(event);
        if (notify->window == requestor_) {
            if (notify->atom == propertyAtom_ && notify->state == XCB_PROPERTY_NEW_VALUE) {
                ++newValues_;
                emit news();
            }
            return true; // ours alone
        }
    }
    if (xfixesEvent_ >= 0 && type == xfixesEvent_ + XCB_XFIXES_SELECTION_NOTIFY) {
        const auto* notify = reinterpret_cast<const xcb_xfixes_selection_notify_event_t*>(event);
        if (notify->selection == clipboardAtom_ && notify->window == rootWindow()) {
            traceEvent("owner", notify->owner, notify->subtype);
            ownerChanged(notify->owner);
        }
    } else if (type == XCB_SELECTION_REQUEST && tracing_ && !resultSet_) {
        const auto* request = reinterpret_cast<const xcb_selection_request_event_t*>(event);
        traceEvent("request (user's)", request->target, request->requestor);
    } else if (type == XCB_SELECTION_REQUEST && resultSet_) {
        const auto* request = reinterpret_cast<const xcb_selection_request_event_t*>(event);
        if (request->selection == clipboardAtom_) {
            traceEvent("request", request->target, request->requestor);
            lastRequestMs_ = steadyMs();
            ++requests_;
            if (listener_ != nullptr) {
                // Applications ask for the list of formats and for formats of their own first: only a text format
                // we offer takes the result. Qt serves every request, whatever the answer.
                const bool text =
                    std::find(textTargets_.begin(), textTargets_.end(), request->target) != textTargets_.end();
                listener_->resultRequested(originOf(request->requestor), text);
                reported_ = true;
            }
            emit news();
        }
    }
    return false;
}

void Clipboard::ownerChanged(std::uint32_t owner) {
    xcb_connection_t* c = connection();
    if (listener_ == nullptr || owner == XCB_NONE || c == nullptr ||
        clientOf(owner) == xcb_get_setup(c)->resource_id_base) {
        return;
    }
    const platform::ClipboardOrigin origin = originOf(owner);
    if (origin == platform::ClipboardOrigin::Front && !frontSeen_) {
        frontSeen_ = true;
        copiedOnOwnConnection_ = focusClient_ != 0 && clientOf(owner) != focusClient_;
    }
    listener_->ownerChanged(origin, std::nullopt);
    reported_ = true;
    emit news();
}

platform::ClipboardOrigin Clipboard::originOf(std::uint32_t window) {
    if (focusClient_ != 0 && clientOf(window) == focusClient_) {
        return platform::ClipboardOrigin::Front;
    }
    const long pid = processOf(window);
    if (pid > 0 && focusPid_ > 0) {
        return pid == focusPid_ ? platform::ClipboardOrigin::Front : platform::ClipboardOrigin::Other;
    }
    return platform::ClipboardOrigin::Unknown;
}

bool Clipboard::weOwnIt() {
    xcb_connection_t* c = connection();
    if (c == nullptr) {
        return QGuiApplication::clipboard()->ownsClipboard();
    }
    const xcb_window_t owner = selectionOwner(clipboardAtom_);
    return owner != XCB_NONE && clientOf(owner) == xcb_get_setup(c)->resource_id_base;
}

void Clipboard::hotKeyPressed() {
    if (readAhead_) {
        readAhead_->hurry();
    }
}

// The user's content, as the saving rule says (src/runtime/clipsave): what was read ahead when it is still the
// clipboard's content, else read target by target from its owner on a window of our own, each within the time
// the rule leaves it. Content of our own (a conversion's restore) is copied from Qt.
std::unique_ptr<platform::Clipboard::Snapshot> Clipboard::save() {
    traceEvent("save");
    resultSet_ = false;
    const std::int64_t start = steadyMs();
    auto snapshot = std::make_unique<SavedClipboard>();
    if (readAhead_) {
        if (std::unique_ptr<ReadAhead::Content> ahead = readAhead_->take(start + clipsave::kSaveMs)) {
            snapshot->formats = std::move(ahead->formats);
            if (!ahead->late.empty()) {
                note(clipsave::lateNote(ahead->late));
            }
            trace("save: read ahead, " + std::to_string(snapshot->formats.size()) + " formats, waited " +
                  std::to_string(steadyMs() - start) + " ms");
            return snapshot;
        }
    }
    xcb_connection_t* c = connection();
    if (c == nullptr || weOwnIt()) {
        if (const QMimeData* data = QGuiApplication::clipboard()->mimeData(QClipboard::Clipboard)) {
            for (const QString& format : data->formats()) {
                snapshot->formats.emplace_back(format, data->data(format));
            }
        }
        return snapshot;
    }
    std::string targets;
    if (!readTarget(targetsAtom_, clipsave::kSaveMs, targets)) {
        traceEvent("save: no list of targets");
        return snapshot;
    }
    auto [names, atomOf] = targetNames(c, targets);
    const clipsave::Plan plan = clipsave::plan(names);
    std::vector<std::string> late;
    for (const clipsave::Fetch& fetch : plan.fetches) {
        const std::int64_t left = clipsave::timeLeft(fetch, steadyMs() - start);
        std::string bytes;
        bool refused = false;
        if (left <= 0 || !readTarget(atomOf[fetch.type], static_cast<int>(left), bytes, &refused)) {
            if (!refused) {
                late.push_back(fetch.type);
            }
            continue;
        }
        addFetched(snapshot->formats, fetch, std::move(bytes));
    }
    if (!late.empty()) {
        note(clipsave::lateNote(late));
    }
    if (tracing_) {
        trace("save: " + std::to_string(plan.fetches.size() - late.size()) + " of " + std::to_string(names.size()) +
              " targets read in " + std::to_string(steadyMs() - start) + " ms");
    }
    return snapshot;
}

void Clipboard::ensureRequestor() {
    xcb_connection_t* c = connection();
    if (requestor_ != 0 || c == nullptr) {
        return;
    }
    requestor_ = xcb_generate_id(c);
    const std::uint32_t mask = XCB_EVENT_MASK_PROPERTY_CHANGE;
    xcb_create_window(c, XCB_COPY_FROM_PARENT, requestor_, rootWindow(), -10, -10, 1, 1, 0, XCB_WINDOW_CLASS_INPUT_ONLY,
                      XCB_COPY_FROM_PARENT, XCB_CW_EVENT_MASK, &mask);
    propertyAtom_ = internAtom("_VALUMAT_COPY");
    incrAtom_ = internAtom("INCR");
}

// One target of the clipboard's owner, within maxMilliseconds, also when the owner sends it piecewise (INCR).
// false when it did not come in time or was refused (*refused set then).
bool Clipboard::readTarget(unsigned target, int maxMilliseconds, std::string& bytes, bool* refused) {
    xcb_connection_t* c = connection();
    ensureRequestor();
    const std::int64_t deadline = steadyMs() + maxMilliseconds;
    auto waitUntil = [this, deadline](const auto& done) {
        while (!done() && !abandoned_) {
            const std::int64_t left = deadline - steadyMs();
            if (left <= 0) {
                return false;
            }
            qt::waitForSignal(this, &Clipboard::news, static_cast<int>(left));
        }
        return done();
    };
    notified_ = false;
    notifiedProperty_ = XCB_NONE;
    xcb_delete_property(c, requestor_, propertyAtom_);
    xcb_convert_selection(c, requestor_, clipboardAtom_, target, propertyAtom_, XCB_CURRENT_TIME);
    xcb_flush(c);
    if (!waitUntil([this] { return notified_; })) {
        return false;
    }
    if (notifiedProperty_ == XCB_NONE) {
        if (refused != nullptr) {
            *refused = true;
        }
        return false;
    }
    auto take = [this, c](std::string& out, xcb_atom_t* type) {
        return takeProperty(c, requestor_, propertyAtom_, out, type);
    };
    bytes.clear();
    xcb_atom_t type = XCB_NONE;
    newValues_ = 0;
    std::string first;
    if (!take(first, &type)) {
        return false;
    }
    if (type != incrAtom_) {
        bytes = std::move(first);
        return true;
    }
    while (true) {
        if (!waitUntil([this] { return newValues_ > 0; })) {
            traceEvent("piecewise transfer not finished in time");
            return false;
        }
        newValues_ = 0;
        std::string piece;
        if (!take(piece, &type)) {
            return false;
        }
        if (piece.empty()) {
            return true;
        }
        bytes += piece;
    }
}

void Clipboard::restore(const platform::Clipboard::Snapshot& snapshot) {
    const auto* saved = dynamic_cast<const SavedClipboard*>(&snapshot);
    if (saved == nullptr) {
        throw RuntimeError(err::kInvalidProcedureCall);
    }
    resultSet_ = false;
    traceEvent("restore", static_cast<std::uint32_t>(saved->formats.size()));
    if (readAhead_) {
        readAhead_->release(); // what comes now is ours
    }
    if (saved->formats.empty()) {
        QGuiApplication::clipboard()->clear(QClipboard::Clipboard);
        return;
    }
    auto offer = [saved] {
        auto* data = new RestoredData;
        for (const auto& [format, bytes] : saved->formats) {
            data->setData(format, bytes);
        }
        QGuiApplication::clipboard()->setMimeData(data, QClipboard::Clipboard);
    };
    offer();
    if (!weOwnIt()) {
        QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
        offer();
    }
}

std::string Clipboard::readText(int maxMilliseconds) {
    return fetchText(maxMilliseconds);
}

// The copy's text, asked for on a window of our own, waiting for the answer while events go on being handled:
// the owner may be busy asking us something meanwhile (a blocking read would then stall both of us until one
// gives up), and a owner that does not answer in time means no result, not a frozen program.
std::string Clipboard::fetchText(int maxMilliseconds) {
    xcb_connection_t* c = connection();
    if (c == nullptr) {
        return QGuiApplication::clipboard()->text(QClipboard::Clipboard).toStdString();
    }
    ensureRequestor();
    const std::int64_t deadline = steadyMs() + maxMilliseconds;
    for (const unsigned target : {textTargets_[0], textTargets_[1], unsigned{XCB_ATOM_STRING}}) {
        notified_ = false;
        notifiedProperty_ = XCB_NONE;
        xcb_delete_property(c, requestor_, propertyAtom_);
        std::int64_t asked = 0;
        while (!notified_ && !abandoned_) {
            const std::int64_t now = steadyMs();
            const std::int64_t left = deadline - now;
            if (left <= 0) {
                traceEvent("copy not answered");
                return {};
            }
            // Asked again now and then: an owner busy setting itself up may let a request go unanswered.
            if (now - asked >= kAskAgainMs) {
                xcb_convert_selection(c, requestor_, clipboardAtom_, target, propertyAtom_, XCB_CURRENT_TIME);
                xcb_flush(c);
                asked = now;
            }
            qt::waitForSignal(this, &Clipboard::news,
                              static_cast<int>(std::min<std::int64_t>(left, asked + kAskAgainMs - now)));
        }
        if (!notified_) {
            return {};
        }
        if (notifiedProperty_ == XCB_NONE) {
            continue; // not in this format
        }
        xcb_get_property_reply_t* reply = xcb_get_property_reply(
            c, xcb_get_property(c, 1, requestor_, propertyAtom_, XCB_GET_PROPERTY_TYPE_ANY, 0, 1 << 20), nullptr);
        if (reply == nullptr) {
            return {};
        }
        std::string bytes(static_cast<const char*>(xcb_get_property_value(reply)),
                          static_cast<std::size_t>(xcb_get_property_value_length(reply)));
        const bool incremental = reply->type == incrAtom_;
        std::free(reply);
        if (incremental) {
            return {}; // a large selection sent piecewise: no amount is that long
        }
        if (target == XCB_ATOM_STRING) {
            return QString::fromLatin1(bytes.data(), static_cast<qsizetype>(bytes.size())).toStdString();
        }
        return bytes;
    }
    return {};
}

void Clipboard::empty() {
    resultSet_ = false;
    frontSeen_ = false;
    copiedOnOwnConnection_ = false;
    focusClient_ = 0;
    focusPid_ = -1;
    if (xcb_connection_t* c = connection()) {
        xcb_get_input_focus_reply_t* reply = xcb_get_input_focus_reply(c, xcb_get_input_focus(c), nullptr);
        const xcb_window_t focus = reply != nullptr ? reply->focus : XCB_NONE;
        std::free(reply);
        if (focus != XCB_NONE && focus != XCB_INPUT_FOCUS_POINTER_ROOT) {
            focusClient_ = clientOf(focus);
            focusPid_ = processOf(focus);
        }
    }
    traceEvent("empty", focusClient_, static_cast<std::uint32_t>(focusPid_));
    QGuiApplication::clipboard()->clear(QClipboard::Clipboard);
}

void Clipboard::offer() {
    auto put = [this] {
        auto* data = new QMimeData;
        data->setText(QString::fromStdString(offered_));
        data->setData(QStringLiteral("text/plain;charset=utf-8"), QByteArray::fromStdString(offered_));
        data->setData(QString::fromLatin1(platform::kHistoryHintFormat), QByteArray(platform::kHistoryHintValue));
        QGuiApplication::clipboard()->setMimeData(data, QClipboard::Clipboard);
    };
    put();
    if (!weOwnIt()) {
        // A stale server time makes taking the selection fail silently: let Qt see newer events, then again.
        QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
        put();
    }
}

void Clipboard::offerText(const std::string& text) {
    resultSet_ = true;
    offered_ = text;
    lastRequestMs_ = 0;
    const unsigned requestsBefore = requests_;
    offer();
    settle(requestsBefore);
    traceEvent("offered", weOwnIt() ? 1 : 0);
}

// Applications that watch the clipboard ask the new owner for its formats as soon as it changes. Some cannot
// handle a paste that starts while that is under way (it waits for an answer it already had and then pastes
// whatever the clipboard holds later): so the paste goes out once that has settled. Requests up to here are not
// the paste.
//
// Whether the application in front reacts is learnt per process: one that has not asked anything within the time
// in kTrustAfterQuietRounds conversions in a row is not waited for any more; one that reacted once is always waited
// for.
void Clipboard::settle(unsigned requestsBefore) {
    const std::int64_t start = steadyMs();
    if (requests_ == requestsBefore) {
        lastRequestMs_ = start;
    }
    const std::int64_t earliestEnd = start + (copiedOnOwnConnection_ ? kOwnConnectionSettleMs : 0);
    const auto known = focusPid_ > 0 ? quietRounds_.find(focusPid_) : quietRounds_.end();
    const bool trusted = known != quietRounds_.end() && known->second >= kTrustAfterQuietRounds;
    while (!abandoned_) {
        const std::int64_t now = steadyMs();
        // Those that react do so at once: when nobody has asked within kSettleReactionMs, nobody will.
        std::int64_t quietLeft =
            trusted ? 0
                    : (requests_ != requestsBefore ? lastRequestMs_ + kSettleQuietMs : start + kSettleReactionMs) - now;
        quietLeft = std::max(quietLeft, earliestEnd - now);
        const std::int64_t left = start + kSettleMaxMs - now;
        if (quietLeft <= 0 || left <= 0) {
            break;
        }
        qt::waitForSignal(this, &Clipboard::news, static_cast<int>(std::min(quietLeft, left)));
    }
    if (focusPid_ > 0 && !trusted) {
        int& rounds = quietRounds_[focusPid_];
        rounds = requests_ != requestsBefore ? std::numeric_limits<int>::min() : rounds + 1;
    }
    lastRequestMs_ = 0;
}

bool Clipboard::isOurs() {
    return weOwnIt();
}

void Clipboard::abandonWaits() {
    abandoned_ = true;
    emit news();
}

} // namespace valumat::x11
