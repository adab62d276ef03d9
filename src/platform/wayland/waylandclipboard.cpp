#include "platform/wayland/waylandclipboard.h"

#include "platform/qt/clipboardnotes.h"
#include "platform/qt/eventwait.h"
#include "platform/wayland/connection.h"
#include "runtime/errors.h"

#include "wlr-data-control-unstable-v1-client.h"

#include <QEventLoop>
#include <QString>
#include <QTimer>

#include <wayland-client.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

namespace valumat::wayland {

using qt::noteNoCopy;
using qt::noteResultNotFetched;
using qt::noteTextNotHandedOver;

namespace {

std::int64_t nowMs() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

// The text formats we offer for a result and read a copy in, best first.
const char* const kTextTypes[] = {"text/plain;charset=utf-8", "UTF8_STRING", "text/plain", "TEXT", "STRING"};

bool isTextType(const std::string& type) {
    return std::any_of(std::begin(kTextTypes), std::end(kTextTypes), [&type](const char* t) { return type == t; });
}

class SavedClipboard final : public platform::Clipboard::Snapshot {
public:
    std::vector<std::pair<std::string, std::string>> formats;
};

// Writes all bytes to a pipe whose reader reads them while we write; gives up when the reader stops reading for a
// second.
void writeAll(int fd, const std::string& bytes) {
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
                return;
            }
        } else {
            return; // the reader went away
        }
    }
}

} // namespace

// The C callbacks of the protocol objects.
struct Listeners {
    static void offerMimeType(void* data, zwlr_data_control_offer_v1* offer, const char* type) {
        auto* self = static_cast<Clipboard*>(data);
        const auto it = self->offers_.find(offer);
        if (it != self->offers_.end()) {
            it->second.types.emplace_back(type);
        }
    }
    static constexpr zwlr_data_control_offer_v1_listener kOffer = {&offerMimeType};

    static void dataOffer(void* data, zwlr_data_control_device_v1*, zwlr_data_control_offer_v1* offer) {
        auto* self = static_cast<Clipboard*>(data);
        self->offers_[offer].proxy = offer;
        zwlr_data_control_offer_v1_add_listener(offer, &kOffer, self);
    }
    static void selection(void* data, zwlr_data_control_device_v1*, zwlr_data_control_offer_v1* offer) {
        static_cast<Clipboard*>(data)->onSelection(offer);
    }
    static void finished(void* data, zwlr_data_control_device_v1*) {
        auto* self = static_cast<Clipboard*>(data);
        self->trace("device finished");
    }
    static void primarySelection(void* data, zwlr_data_control_device_v1*, zwlr_data_control_offer_v1* offer) {
        auto* self = static_cast<Clipboard*>(data);
        if (offer != nullptr && offer != self->selection_ && offer != self->copy_) {
            self->offers_.erase(offer);
            zwlr_data_control_offer_v1_destroy(offer);
        }
    }
    static constexpr zwlr_data_control_device_v1_listener kDevice = {&dataOffer, &selection, &finished,
                                                                     &primarySelection};

    static void send(void* data, zwlr_data_control_source_v1*, const char* type, int fd) {
        auto* source = static_cast<Clipboard::Source*>(data);
        source->owner->onSend(source, type, fd);
    }
    static void cancelled(void* data, zwlr_data_control_source_v1*) {
        auto* source = static_cast<Clipboard::Source*>(data);
        source->owner->onCancelled(source);
    }
    static constexpr zwlr_data_control_source_v1_listener kSource = {&send, &cancelled};
};

Clipboard::Clipboard(Connection& connection, std::function<std::uint64_t()> keysSent)
    : connection_(connection), keysSent_(std::move(keysSent)) {
    tracing_ = !qEnvironmentVariableIsEmpty("VALUMAT_TRACE_CLIPBOARD");
    if (connection_.dataControl() != nullptr && connection_.seat() != nullptr) {
        device_ = zwlr_data_control_manager_v1_get_data_device(connection_.dataControl(), connection_.seat());
        zwlr_data_control_device_v1_add_listener(device_, &Listeners::kDevice, this);
        connection_.roundtrip(); // the current selection
    }
}

Clipboard::~Clipboard() {
    for (auto& [proxy, offer] : offers_) {
        zwlr_data_control_offer_v1_destroy(proxy);
    }
    for (auto& source : sources_) {
        zwlr_data_control_source_v1_destroy(source->proxy);
    }
    if (device_ != nullptr) {
        zwlr_data_control_device_v1_destroy(device_);
    }
    connection_.flush();
}

void Clipboard::trace(const std::string& what) const {
    if (tracing_) {
        std::fprintf(stderr, "valumat: clipboard %lld %s\n", static_cast<long long>(nowMs() % 1000000), what.c_str());
    }
}

void Clipboard::waitForNews(int milliseconds) {
    qt::waitForSignal(this, &Clipboard::news, milliseconds);
}

void Clipboard::onSelection(zwlr_data_control_offer_v1* offer) {
    // The offer before is dropped unless the copy still needs it.
    if (selection_ != nullptr && selection_ != offer && selection_ != copy_) {
        offers_.erase(selection_);
        zwlr_data_control_offer_v1_destroy(selection_);
    }
    selection_ = offer;
    if (offer == nullptr) {
        trace("selection none");
        return;
    }
    if (ownSelection_ != nullptr) {
        trace("selection ours");
        return;
    }
    trace("selection of another client");
    if (watching_ && keysSent_() != keysAtClear_) {
        trace("copied");
        watching_ = false;
        copied_ = true;
        copy_ = offer;
        emit news();
    }
}

void Clipboard::onSend(Source* source, const char* mimeType, int fd) {
    const std::string type = mimeType;
    const auto it = std::find_if(source->formats.begin(), source->formats.end(),
                                 [&type](const auto& format) { return format.first == type; });
    if (it != source->formats.end()) {
        writeAll(fd, it->second);
    }
    ::close(fd);
    trace("request " + type + (source->result ? " (result)" : " (user's)"));
    // Only a request after our paste keys went out is the paste: programs that watch the clipboard (clipboard
    // histories) read every new selection at once, before the paste.
    if (source->result && resultSet_ && keysSent_() != keysAtResult_) {
        lastRequestMs_ = nowMs();
        if (isTextType(type)) {
            fetched_ = true;
        }
        emit news();
    }
}

void Clipboard::onCancelled(Source* source) {
    trace(source->result ? "result replaced" : "user's content replaced");
    if (source == ownSelection_) {
        ownSelection_ = nullptr;
        if (source->result && resultSet_) {
            lost_ = true;
            emit news();
        }
    }
    zwlr_data_control_source_v1_destroy(source->proxy);
    std::erase_if(sources_, [source](const auto& s) { return s.get() == source; });
}

Clipboard::Source* Clipboard::offerSource(std::vector<std::pair<std::string, std::string>> formats, bool result) {
    auto source = std::make_unique<Source>();
    source->owner = this;
    source->formats = std::move(formats);
    source->result = result;
    source->proxy = zwlr_data_control_manager_v1_create_data_source(connection_.dataControl());
    zwlr_data_control_source_v1_add_listener(source->proxy, &Listeners::kSource, source.get());
    for (const auto& [type, bytes] : source->formats) {
        zwlr_data_control_source_v1_offer(source->proxy, type.c_str());
    }
    zwlr_data_control_device_v1_set_selection(device_, source->proxy);
    connection_.flush();
    ownSelection_ = source.get();
    sources_.push_back(std::move(source));
    return ownSelection_;
}

bool Clipboard::readOffer(zwlr_data_control_offer_v1* offer, const std::string& type, int maxMilliseconds,
                          std::string& bytes) {
    int ends[2];
    if (::pipe2(ends, O_CLOEXEC | O_NONBLOCK) != 0) {
        return false;
    }
    zwlr_data_control_offer_v1_receive(offer, type.c_str(), ends[1]);
    connection_.flush();
    ::close(ends[1]);
    bytes.clear();
    const std::int64_t deadline = nowMs() + maxMilliseconds;
    char buffer[65536];
    bool complete = false;
    while (true) {
        const ssize_t n = ::read(ends[0], buffer, sizeof buffer);
        if (n > 0) {
            bytes.append(buffer, static_cast<std::size_t>(n));
            continue;
        }
        if (n == 0) {
            complete = true;
            break;
        }
        if (errno != EAGAIN && errno != EINTR) {
            break;
        }
        const std::int64_t left = deadline - nowMs();
        if (left <= 0) {
            break;
        }
        pollfd ready{ends[0], POLLIN, 0};
        ::poll(&ready, 1, static_cast<int>(left));
    }
    ::close(ends[0]);
    if (!complete) {
        trace("format not delivered in time: " + type);
    }
    return complete;
}

std::unique_ptr<platform::Clipboard::Snapshot> Clipboard::save() {
    if (device_ == nullptr) {
        throw RuntimeError(err::kInvalidProcedureCall);
    }
    connection_.readEvents();
    resultSet_ = false;
    fetched_ = false;
    lost_ = false;
    auto snapshot = std::make_unique<SavedClipboard>();
    if (ownSelection_ != nullptr) {
        snapshot->formats = ownSelection_->formats;
    } else if (selection_ != nullptr) {
        const std::int64_t deadline = nowMs() + kSaveMs;
        for (const std::string& type : offers_[selection_].types) {
            std::string bytes;
            const auto left = static_cast<int>(deadline - nowMs());
            if (left > 0 && readOffer(selection_, type, left, bytes)) {
                snapshot->formats.emplace_back(type, std::move(bytes));
            }
        }
    }
    trace("save " + std::to_string(snapshot->formats.size()) + " formats");
    return snapshot;
}

void Clipboard::restore(const platform::Clipboard::Snapshot& snapshot) {
    const auto* saved = dynamic_cast<const SavedClipboard*>(&snapshot);
    if (saved == nullptr || device_ == nullptr) {
        throw RuntimeError(err::kInvalidProcedureCall);
    }
    resultSet_ = false;
    watching_ = false;
    trace("restore " + std::to_string(saved->formats.size()) + " formats");
    if (saved->formats.empty()) {
        zwlr_data_control_device_v1_set_selection(device_, nullptr);
        ownSelection_ = nullptr;
        connection_.flush();
        return;
    }
    offerSource(saved->formats, false);
}

std::string Clipboard::getText() {
    if (!copied_ || copy_ == nullptr) {
        return {};
    }
    std::string text = copiedText();
    if (text.empty() && !abandoned_) {
        noteTextNotHandedOver();
    }
    return text;
}

std::string Clipboard::copiedText() {
    const auto it = offers_.find(copy_);
    if (it == offers_.end()) {
        return {};
    }
    for (const char* wanted : kTextTypes) {
        if (std::find(it->second.types.begin(), it->second.types.end(), wanted) == it->second.types.end()) {
            continue;
        }
        std::string bytes;
        if (!readOffer(copy_, wanted, kFetchTextMs, bytes)) {
            return {};
        }
        if (std::string(wanted) == "STRING") {
            bytes = QString::fromLatin1(bytes.data(), static_cast<qsizetype>(bytes.size())).toStdString();
        }
        trace("copied text [" + bytes + "]");
        return bytes;
    }
    return {};
}

void Clipboard::clear() {
    if (device_ == nullptr) {
        throw RuntimeError(err::kInvalidProcedureCall);
    }
    resultSet_ = false;
    fetched_ = false;
    lost_ = false;
    copied_ = false;
    if (copy_ != nullptr && copy_ != selection_) {
        offers_.erase(copy_);
        zwlr_data_control_offer_v1_destroy(copy_);
    }
    copy_ = nullptr;
    zwlr_data_control_device_v1_set_selection(device_, nullptr);
    // Events still on their way (the selection of a source of ours set just before, its cancellation) are taken in
    // now, while we still know the source as ours: afterwards the first new selection is the application's copy.
    connection_.roundtrip();
    ownSelection_ = nullptr;
    keysAtClear_ = keysSent_();
    watching_ = true;
    trace("clear");
}

bool Clipboard::waitCopied(int maxMilliseconds) {
    qt::waitUntil([this] { return copied_ || abandoned_; }, maxMilliseconds, [this](int left) { waitForNews(left); });
    if (!copied_ && !abandoned_) {
        trace("no copy");
        noteNoCopy();
    }
    return copied_;
}

void Clipboard::setText(const std::string& text) {
    if (device_ == nullptr) {
        throw RuntimeError(err::kInvalidProcedureCall);
    }
    watching_ = false;
    resultSet_ = true;
    fetched_ = false;
    fetchGaveUp_ = false;
    lost_ = false;
    lastRequestMs_ = 0;
    std::vector<std::pair<std::string, std::string>> formats;
    for (const char* type : kTextTypes) {
        formats.emplace_back(type, std::string(type) == "STRING" ? QString::fromStdString(text).toLatin1().toStdString()
                                                                 : text);
    }
    keysAtResult_ = keysSent_();
    offerSource(std::move(formats), true);
    trace("result [" + text + "]");
}

bool Clipboard::pasteFinished() const {
    return fetched_ && nowMs() - lastRequestMs_ >= kPasteQuietMs;
}

bool Clipboard::resultPending() {
    return resultSet_ && !pasteFinished() && !lost_ && ownSelection_ != nullptr;
}

bool Clipboard::waitFetched(int maxMilliseconds) {
    const std::int64_t start = nowMs();
    const std::int64_t deadline = start + maxMilliseconds;
    const std::int64_t laterEnd = fetched_ ? start + kLaterPasteMs : 0;
    auto quietEnd = [this, laterEnd] { return std::max(lastRequestMs_ + kPasteQuietMs, laterEnd); };
    while (resultSet_ && !lost_ && !abandoned_ && !fetchGaveUp_) {
        const std::int64_t now = nowMs();
        if (now >= deadline) {
            if (!fetched_) {
                fetchGaveUp_ = true; // the target does not paste: later calls do not wait for it again
                noteResultNotFetched();
            }
            break;
        }
        std::int64_t wait = deadline - now;
        if (fetched_) {
            if (now >= quietEnd()) {
                break;
            }
            wait = std::min(wait, quietEnd() - now);
        }
        waitForNews(static_cast<int>(std::max<std::int64_t>(wait, 1)));
    }
    trace(fetched_ ? "paste over" : "paste not seen");
    return fetched_ || lost_ || ownSelection_ == nullptr;
}

void Clipboard::abandonWaits() {
    abandoned_ = true;
    emit news();
}

} // namespace valumat::wayland
