#include "platform/linux/x11/x11readahead.h"

#include <xcb/xcb.h>
#include <xcb/xfixes.h>

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <mutex>
#include <thread>

namespace valumat::x11 {

namespace {

std::int64_t steadyMs() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

xcb_atom_t intern(xcb_connection_t* c, const char* name) {
    xcb_intern_atom_reply_t* reply =
        xcb_intern_atom_reply(c, xcb_intern_atom(c, 0, static_cast<std::uint16_t>(std::strlen(name)), name), nullptr);
    const xcb_atom_t atom = reply != nullptr ? reply->atom : XCB_NONE;
    std::free(reply);
    return atom;
}

// The name Qt keeps a target under: the X text targets are its "text/plain".
QString qtFormat(const std::string& target) {
    if (target == "UTF8_STRING" || target == "STRING" || target == "TEXT" || target == "COMPOUND_TEXT") {
        return QStringLiteral("text/plain");
    }
    return QString::fromStdString(target);
}

} // namespace

bool takeProperty(xcb_connection_t* connection, xcb_window_t window, xcb_atom_t property, std::string& out,
                  xcb_atom_t* type) {
    xcb_get_property_reply_t* reply = xcb_get_property_reply(
        connection, xcb_get_property(connection, 1, window, property, XCB_GET_PROPERTY_TYPE_ANY, 0, 1U << 28), nullptr);
    if (reply == nullptr) {
        return false;
    }
    out.append(static_cast<const char*>(xcb_get_property_value(reply)),
               static_cast<std::size_t>(xcb_get_property_value_length(reply)));
    *type = reply->type;
    std::free(reply);
    xcb_flush(connection);
    return true;
}

TargetNames targetNames(xcb_connection_t* connection, const std::string& targetsReply) {
    std::vector<xcb_atom_t> atoms(targetsReply.size() / sizeof(xcb_atom_t));
    std::memcpy(atoms.data(), targetsReply.data(), atoms.size() * sizeof(xcb_atom_t));
    std::vector<xcb_get_atom_name_cookie_t> cookies;
    for (const xcb_atom_t atom : atoms) {
        cookies.push_back(xcb_get_atom_name(connection, atom));
    }
    TargetNames result;
    for (std::size_t i = 0; i < atoms.size(); ++i) {
        if (xcb_get_atom_name_reply_t* reply = xcb_get_atom_name_reply(connection, cookies[i], nullptr)) {
            std::string name(xcb_get_atom_name_name(reply),
                             static_cast<std::size_t>(xcb_get_atom_name_name_length(reply)));
            std::free(reply);
            if (result.atomOf.emplace(name, atoms[i]).second) {
                result.names.push_back(std::move(name));
            }
        }
    }
    return result;
}

void addFetched(SavedFormats& formats, const clipsave::Fetch& fetch, std::string bytes) {
    if (fetch.type == "STRING") {
        bytes = QString::fromLatin1(bytes.data(), static_cast<qsizetype>(bytes.size())).toStdString();
    }
    const QByteArray shared = QByteArray::fromStdString(bytes);
    std::vector<QString> names{qtFormat(fetch.type)};
    for (const std::string& alias : fetch.aliases) {
        names.push_back(qtFormat(alias));
    }
    if (fetch.part == clipsave::Part::Text) {
        names.push_back(QStringLiteral("text/plain")); // Qt offers the other text targets with it
    }
    for (const QString& name : names) {
        const bool known =
            std::any_of(formats.begin(), formats.end(), [&name](const auto& saved) { return saved.first == name; });
        if (!known) {
            formats.emplace_back(name, shared);
        }
    }
}

// The thread and its connection. It sleeps in poll() until the server reports a new clipboard owner (XFixes) or the
// program asks something (an eventfd); a timeout is set only while a change settles or a read waits for its owner.
struct ReadAhead::Worker {
    xcb_connection_t* c = nullptr;
    std::uint32_t ourClient = 0;
    bool tracing = false;
    xcb_window_t root = XCB_NONE;
    std::uint32_t idMask = 0;
    xcb_atom_t clipboard = XCB_NONE, targets = XCB_NONE, property = XCB_NONE, incr = XCB_NONE;
    int xfixesEvent = -1;
    int wake = -1;
    std::thread thread;

    // Shared with the program's thread.
    std::mutex mutex;
    std::condition_variable changed;
    clipsave::ReadAhead<Content> ahead;
    std::uint64_t syncWanted = 0;
    std::uint64_t synced = 0;
    bool hurried = false;
    bool stop = false;

    // The read under way (the worker's own).
    xcb_window_t requestor = XCB_NONE;
    bool notified = false;
    xcb_atom_t notifiedProperty = XCB_NONE;
    unsigned newValues = 0;

    ~Worker() {
        if (thread.joinable()) {
            {
                const std::lock_guard lock(mutex);
                stop = true;
            }
            poke();
            thread.join();
        }
        if (wake >= 0) {
            close(wake);
        }
        if (c != nullptr) {
            xcb_disconnect(c);
        }
    }

    bool start() {
        c = xcb_connect(nullptr, nullptr);
        if (c == nullptr || xcb_connection_has_error(c) != 0) {
            return false;
        }
        const xcb_query_extension_reply_t* xfixes = xcb_get_extension_data(c, &xcb_xfixes_id);
        if (xfixes == nullptr || xfixes->present == 0) {
            return false;
        }
        std::free(xcb_xfixes_query_version_reply(c, xcb_xfixes_query_version(c, 5, 0), nullptr));
        xfixesEvent = xfixes->first_event;
        const xcb_setup_t* setup = xcb_get_setup(c);
        root = xcb_setup_roots_iterator(setup).data->root;
        idMask = setup->resource_id_mask;
        clipboard = intern(c, "CLIPBOARD");
        targets = intern(c, "TARGETS");
        property = intern(c, "_VALUMAT_AHEAD");
        incr = intern(c, "INCR");
        xcb_xfixes_select_selection_input(c, root, clipboard,
                                          XCB_XFIXES_SELECTION_EVENT_MASK_SET_SELECTION_OWNER |
                                              XCB_XFIXES_SELECTION_EVENT_MASK_SELECTION_WINDOW_DESTROY |
                                              XCB_XFIXES_SELECTION_EVENT_MASK_SELECTION_CLIENT_CLOSE);
        xcb_flush(c);
        wake = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
        if (wake < 0) {
            return false;
        }
        thread = std::thread([this] { run(); });
        return true;
    }

    void poke() const {
        const std::uint64_t one = 1;
        [[maybe_unused]] const ssize_t written = write(wake, &one, sizeof one);
    }

    void trace(const std::string& text) const {
        if (tracing) {
            std::fprintf(stderr, "valumat: clipboard %lld read ahead: %s\n",
                         static_cast<long long>(steadyMs() % 1000000), text.c_str());
        }
    }

    void handle(xcb_generic_event_t* event) {
        const int type = event->response_type & 0x7f;
        if (type == xfixesEvent + XCB_XFIXES_SELECTION_NOTIFY) {
            const auto* notify = reinterpret_cast<const xcb_xfixes_selection_notify_event_t*>(event);
            if (notify->selection != clipboard) {
                return;
            }
            const bool ours = notify->owner == XCB_NONE || (notify->owner & ~idMask) == ourClient;
            const std::lock_guard lock(mutex);
            ahead.changed({notify->owner, notify->selection_timestamp}, ours, steadyMs());
            changed.notify_all();
        } else if (type == XCB_SELECTION_NOTIFY) {
            const auto* notify = reinterpret_cast<const xcb_selection_notify_event_t*>(event);
            if (requestor != XCB_NONE && notify->requestor == requestor) {
                notified = true;
                notifiedProperty = notify->property;
            }
        } else if (type == XCB_PROPERTY_NOTIFY) {
            const auto* notify = reinterpret_cast<const xcb_property_notify_event_t*>(event);
            if (requestor != XCB_NONE && notify->window == requestor && notify->atom == property &&
                notify->state == XCB_PROPERTY_NEW_VALUE) {
                ++newValues;
            }
        }
    }

    // Handles what has come (events first, then the program's requests); waits up to timeoutMs (-1: until
    // something comes) when nothing had. false once the connection broke.
    bool waitOnce(int timeoutMs) {
        xcb_flush(c);
        bool any = false;
        while (xcb_generic_event_t* event = xcb_poll_for_event(c)) {
            handle(event);
            std::free(event);
            any = true;
        }
        if (xcb_connection_has_error(c) != 0) {
            return false;
        }
        if (!any) {
            pollfd fds[2] = {{xcb_get_file_descriptor(c), POLLIN, 0}, {wake, POLLIN, 0}};
            poll(fds, 2, timeoutMs);
            while (xcb_generic_event_t* event = xcb_poll_for_event(c)) {
                handle(event);
                std::free(event);
            }
        }
        std::uint64_t count = 0;
        while (read(wake, &count, sizeof count) > 0) {
        }
        std::uint64_t wanted = 0;
        {
            const std::lock_guard lock(mutex);
            wanted = syncWanted;
            if (hurried) {
                hurried = false;
                ahead.hurry(steadyMs());
            }
        }
        if (wanted != synced) {
            // A round trip: every change the server made before it has been reported once its answer is here.
            std::free(xcb_get_input_focus_reply(c, xcb_get_input_focus(c), nullptr));
            while (xcb_generic_event_t* event = xcb_poll_for_event(c)) {
                handle(event);
                std::free(event);
            }
            const std::lock_guard lock(mutex);
            synced = wanted;
            changed.notify_all();
        }
        return xcb_connection_has_error(c) == 0;
    }

    void run() {
        for (;;) {
            int timeout = -1;
            {
                const std::lock_guard lock(mutex);
                if (stop) {
                    return;
                }
                const std::int64_t due = ahead.dueMs();
                if (due >= 0) {
                    timeout = static_cast<int>(std::clamp<std::int64_t>(due - steadyMs(), 0, clipsave::kSettleMs));
                }
            }
            if (!waitOnce(timeout)) {
                trace("the connection broke");
                // Changes are seen no more: nothing kept may stand for the clipboard's content from now on.
                const std::lock_guard lock(mutex);
                ahead.changed({}, true, steadyMs());
                synced = syncWanted = ~std::uint64_t{0};
                changed.notify_all();
                return;
            }
            clipsave::Stamp stamp;
            {
                const std::lock_guard lock(mutex);
                if (stop || !ahead.due(steadyMs())) {
                    continue;
                }
                stamp = ahead.startReading();
            }
            std::unique_ptr<Content> content = readContent(stamp);
            const std::lock_guard lock(mutex);
            const bool complete = content && content->late.empty();
            ahead.finished(stamp, std::move(content), complete);
            changed.notify_all();
        }
    }

    // Whether the read of `stamp` is still wanted.
    bool current(clipsave::Stamp stamp) {
        const std::lock_guard lock(mutex);
        return !stop && ahead.stillCurrent(stamp);
    }

    enum class Got { Bytes, Refused, Late, Dropped };

    // One target, within the time; Dropped when the content changed, the program ends or it grows past the cap
    // (`budget`: how many bytes may still come).
    Got readTarget(clipsave::Stamp stamp, xcb_atom_t target, std::int64_t deadline, std::size_t budget,
                   std::string& bytes) {
        auto waitUntil = [&](const auto& done) {
            while (!done()) {
                const std::int64_t left = deadline - steadyMs();
                if (left <= 0) {
                    return Got::Late;
                }
                if (!waitOnce(static_cast<int>(left)) || !current(stamp)) {
                    return Got::Dropped;
                }
            }
            return Got::Bytes;
        };
        notified = false;
        notifiedProperty = XCB_NONE;
        xcb_delete_property(c, requestor, property);
        xcb_convert_selection(c, requestor, clipboard, target, property, XCB_CURRENT_TIME);
        if (const Got got = waitUntil([this] { return notified; }); got != Got::Bytes) {
            return got;
        }
        if (notifiedProperty == XCB_NONE) {
            return Got::Refused;
        }
        auto take = [this](std::string& out, xcb_atom_t* type) {
            return takeProperty(c, requestor, property, out, type);
        };
        bytes.clear();
        xcb_atom_t type = XCB_NONE;
        newValues = 0;
        if (!take(bytes, &type)) {
            return Got::Late;
        }
        if (type != incr) {
            return bytes.size() <= budget ? Got::Bytes : Got::Dropped;
        }
        bytes.clear();
        while (true) {
            if (const Got got = waitUntil([this] { return newValues > 0; }); got != Got::Bytes) {
                return got;
            }
            newValues = 0;
            const std::size_t before = bytes.size();
            if (!take(bytes, &type)) {
                return Got::Late;
            }
            if (bytes.size() == before) {
                return Got::Bytes;
            }
            if (bytes.size() > budget) {
                return Got::Dropped;
            }
        }
    }

    // The planned types of the content of `stamp`; nullptr when nothing is to be kept of it.
    std::unique_ptr<Content> readContent(clipsave::Stamp stamp) {
        const std::int64_t start = steadyMs();
        requestor = xcb_generate_id(c);
        const std::uint32_t mask = XCB_EVENT_MASK_PROPERTY_CHANGE;
        xcb_create_window(c, XCB_COPY_FROM_PARENT, requestor, root, -10, -10, 1, 1, 0, XCB_WINDOW_CLASS_INPUT_ONLY,
                          XCB_COPY_FROM_PARENT, XCB_CW_EVENT_MASK, &mask);
        std::unique_ptr<Content> content = readPlanned(stamp, start);
        // A window of its own per read: what an owner still sends for an abandoned read goes nowhere.
        xcb_destroy_window(c, requestor);
        xcb_flush(c);
        requestor = XCB_NONE;
        return content;
    }

    std::unique_ptr<Content> readPlanned(clipsave::Stamp stamp, std::int64_t start) {
        std::string list;
        if (readTarget(stamp, targets, start + clipsave::kSaveMs, clipsave::kAheadBytes, list) != Got::Bytes) {
            trace("no list of targets");
            return nullptr;
        }
        auto [names, atomOf] = targetNames(c, list);
        const clipsave::Plan plan = clipsave::plan(names);
        if (plan.secret) {
            trace("secret, not read");
            return nullptr;
        }
        auto content = std::make_unique<Content>();
        std::size_t kept = 0;
        for (const clipsave::Fetch& fetch : plan.fetches) {
            const std::int64_t left = clipsave::timeLeft(fetch, steadyMs() - start);
            std::string bytes;
            const Got got = left <= 0 ? Got::Late
                                      : readTarget(stamp, atomOf[fetch.type], steadyMs() + left,
                                                   clipsave::kAheadBytes - kept, bytes);
            if (got == Got::Dropped) {
                trace(current(stamp) ? "more than " + std::to_string(clipsave::kAheadBytes >> 20) + " MiB, not kept"
                                     : "changed while read");
                return nullptr;
            }
            if (got == Got::Late) {
                content->late.push_back(fetch.type);
            }
            if (got != Got::Bytes) {
                continue;
            }
            kept += bytes.size();
            addFetched(content->formats, fetch, std::move(bytes));
        }
        trace(std::to_string(plan.fetches.size() - content->late.size()) + " of " + std::to_string(names.size()) +
              " targets read in " + std::to_string(steadyMs() - start) + " ms, " + std::to_string(kept) + " bytes");
        return content;
    }
};

ReadAhead::ReadAhead(std::uint32_t ourClient, bool tracing) : worker_(std::make_unique<Worker>()) {
    worker_->ourClient = ourClient;
    worker_->tracing = tracing;
    if (!worker_->start()) {
        worker_.reset();
    }
}

ReadAhead::~ReadAhead() = default;

bool ReadAhead::running() const {
    return worker_ != nullptr;
}

void ReadAhead::hurry() {
    if (!worker_) {
        return;
    }
    {
        const std::lock_guard lock(worker_->mutex);
        worker_->hurried = true;
    }
    worker_->poke();
}

std::unique_ptr<ReadAhead::Content> ReadAhead::take(std::int64_t deadlineMs) {
    if (!worker_) {
        return nullptr;
    }
    Worker& w = *worker_;
    std::unique_lock lock(w.mutex);
    const std::uint64_t wanted = ++w.syncWanted;
    w.poke();
    const auto deadline = std::chrono::steady_clock::time_point(std::chrono::milliseconds(deadlineMs));
    const bool synced = w.changed.wait_until(lock, deadline, [&w, wanted] { return w.synced >= wanted; });
    const clipsave::AtHotKey use = w.ahead.atHotKey();
    if (!synced) {
        return nullptr;
    }
    if (use == clipsave::AtHotKey::Wait) {
        w.changed.wait_until(lock, deadline, [&w] { return !w.ahead.reading(); });
    }
    return use == clipsave::AtHotKey::Read ? nullptr : w.ahead.take();
}

void ReadAhead::release() {
    if (worker_) {
        const std::lock_guard lock(worker_->mutex);
        worker_->ahead.release();
    }
}

} // namespace valumat::x11
