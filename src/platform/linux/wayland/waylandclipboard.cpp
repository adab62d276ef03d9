#include "platform/linux/wayland/waylandclipboard.h"

#include "platform/linux/eventwait.h"
#include "platform/linux/pipes.h"
#include "platform/linux/wayland/connection.h"
#include "runtime/clipsave.h"
#include "runtime/errors.h"

#include "wlr-data-control-unstable-v1-client.h"

#include <QEventLoop>
#include <QString>
#include <QTimer>

#include <wayland-client.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

namespace valumat::wayland {

namespace {

using qt::steadyMs;

// The text formats we offer for a result and read a copy in, best first.
const char* const kTextTypes[] = {"text/plain;charset=utf-8", "UTF8_STRING", "text/plain", "TEXT", "STRING"};

bool isTextType(const std::string& type) {
    return std::any_of(std::begin(kTextTypes), std::end(kTextTypes), [&type](const char* t) { return type == t; });
}

class SavedClipboard final : public platform::Clipboard::Snapshot {
public:
    std::vector<std::pair<std::string, std::string>> formats;
};

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
        if (offer != nullptr && offer != self->selection_) {
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

Clipboard::Clipboard(Connection& connection)
    : connection_(connection), ahead_([this](const std::string& type) { return receive(type); },
                                      [this](const std::string& line) { trace(line); }) {
    tracing_ = !qEnvironmentVariableIsEmpty("VALUMAT_TRACE_CLIPBOARD");
    connect(&ahead_, &qt::PipeReadAhead::finished, this, &Clipboard::news);
    if (connection_.dataControl() != nullptr && connection_.seat() != nullptr) {
        device_ = zwlr_data_control_manager_v1_get_data_device(connection_.dataControl(), connection_.seat());
        zwlr_data_control_device_v1_add_listener(device_, &Listeners::kDevice, this);
        connection_.roundtrip(); // the current selection
    }
}

Clipboard::~Clipboard() {
    ahead_.stop();
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

void Clipboard::onSelection(zwlr_data_control_offer_v1* offer) {
    // What was read ahead of the selection before goes with it; a new one of another client is read once settled.
    const auto offered = offers_.find(offer);
    if (offer == nullptr || ownSelection_ != nullptr || offered == offers_.end()) {
        ahead_.changed({}, true);
    } else {
        ahead_.changed(offered->second.types, false);
    }
    // The offer before is dropped.
    if (selection_ != nullptr && selection_ != offer) {
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
    if (listener_ != nullptr) {
        listener_->ownerChanged(platform::ClipboardOrigin::Unknown, std::nullopt);
        emit news();
    }
}

void Clipboard::onSend(Source* source, const char* mimeType, int fd) {
    const std::string type = mimeType;
    bool serve = true;
    // The hint goes to whoever asks (histories read it to leave the result out); it is no request for the result.
    if (source->result && listener_ != nullptr && type != platform::kHistoryHintFormat) {
        serve = listener_->resultRequested(platform::ClipboardOrigin::Unknown, isTextType(type));
        emit news();
    }
    const auto find = [source](const std::string& wanted) {
        return std::find_if(source->formats.begin(), source->formats.end(),
                            [&wanted](const auto& format) { return format.first == wanted; });
    };
    const auto it = find(type);
    if (serve && it != source->formats.end()) {
        qt::writeAll(fd, it->second);
    } else if (serve && std::find(source->derived.begin(), source->derived.end(), type) != source->derived.end()) {
        qt::writeAll(fd, qt::derivedImage(find("image/png")->second, type));
    }
    ::close(fd);
    trace("request " + type + (source->result ? (serve ? " (result)" : " (result, refused)") : " (user's)"));
}

void Clipboard::onCancelled(Source* source) {
    trace(source->result ? "result replaced" : "user's content replaced");
    if (source == ownSelection_) {
        ownSelection_ = nullptr;
    }
    zwlr_data_control_source_v1_destroy(source->proxy);
    std::erase_if(sources_, [source](const auto& s) { return s.get() == source; });
}

Clipboard::Source* Clipboard::offerSource(std::vector<std::pair<std::string, std::string>> formats, bool result,
                                          std::vector<std::string> derived) {
    auto source = std::make_unique<Source>();
    source->owner = this;
    source->formats = std::move(formats);
    source->derived = std::move(derived);
    source->result = result;
    source->proxy = zwlr_data_control_manager_v1_create_data_source(connection_.dataControl());
    zwlr_data_control_source_v1_add_listener(source->proxy, &Listeners::kSource, source.get());
    for (const auto& [type, bytes] : source->formats) {
        zwlr_data_control_source_v1_offer(source->proxy, type.c_str());
    }
    for (const std::string& type : source->derived) {
        zwlr_data_control_source_v1_offer(source->proxy, type.c_str());
    }
    zwlr_data_control_device_v1_set_selection(device_, source->proxy);
    connection_.flush();
    ownSelection_ = source.get();
    sources_.push_back(std::move(source));
    return ownSelection_;
}

bool Clipboard::readOffer(const std::string& type, int maxMilliseconds, std::string& bytes) {
    const int fd = receive(type);
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

int Clipboard::receive(const std::string& type) {
    int ends[2];
    if (selection_ == nullptr || ::pipe2(ends, O_CLOEXEC | O_NONBLOCK) != 0) {
        return -1;
    }
    zwlr_data_control_offer_v1_receive(selection_, type.c_str(), ends[1]);
    connection_.flush();
    ::close(ends[1]);
    return ends[0];
}

// The user's content: what was read ahead when the selection is still the one it was read of (a read under way is
// waited for within the save's time), else what the saving rule plans, read now.
std::unique_ptr<platform::Clipboard::Snapshot> Clipboard::save() {
    if (device_ == nullptr) {
        throw RuntimeError(err::kInvalidProcedureCall);
    }
    // Every selection event the compositor sent before the hot key is in once the round trip is back.
    connection_.roundtrip();
    auto snapshot = std::make_unique<SavedClipboard>();
    const auto wait = [this](int maxMilliseconds) {
        waitForEvents(maxMilliseconds);
        return !abandoned_;
    };
    if (ahead_.saveInto(snapshot->formats, wait, [this](const std::string& text) { note(text); })) {
        return snapshot;
    }
    if (ownSelection_ != nullptr) {
        snapshot->formats = ownSelection_->formats;
    } else if (selection_ != nullptr) {
        // What the saving rule plans (src/runtime/clipsave), each read within the time it leaves.
        const std::int64_t start = steadyMs();
        clipsave::Read read = clipsave::readPlanned(
            offers_[selection_].types, [start] { return steadyMs() - start; },
            [this](const std::string& type, int maxMilliseconds, std::string& bytes) {
                return readOffer(type, maxMilliseconds, bytes);
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
    if (saved == nullptr || device_ == nullptr) {
        throw RuntimeError(err::kInvalidProcedureCall);
    }
    trace("restore " + std::to_string(saved->formats.size()) + " formats");
    ahead_.release(); // what comes now is ours
    if (saved->formats.empty()) {
        zwlr_data_control_device_v1_set_selection(device_, nullptr);
        ownSelection_ = nullptr;
        connection_.flush();
        return;
    }
    // The save kept one image of the user's (its PNG): the other image types are made from it when asked for.
    offerSource(saved->formats, false, qt::derivedImageTypes(saved->formats));
}

// The text of the current selection, as offered, empty when it cannot be read.
std::string Clipboard::readText(int maxMilliseconds) {
    const auto it = offers_.find(selection_);
    if (selection_ == nullptr || ownSelection_ != nullptr || it == offers_.end()) {
        return {};
    }
    for (const char* wanted : kTextTypes) {
        if (std::find(it->second.types.begin(), it->second.types.end(), wanted) == it->second.types.end()) {
            continue;
        }
        std::string bytes;
        if (!readOffer(wanted, maxMilliseconds, bytes)) {
            return {};
        }
        if (std::string(wanted) == "STRING") {
            bytes = QString::fromLatin1(bytes.data(), static_cast<qsizetype>(bytes.size())).toStdString();
        }
        return bytes;
    }
    return {};
}

void Clipboard::empty() {
    if (device_ == nullptr) {
        throw RuntimeError(err::kInvalidProcedureCall);
    }
    zwlr_data_control_device_v1_set_selection(device_, nullptr);
    // Events still on their way (the selection of a source of ours set just before, its cancellation) are taken in
    // now, while we still know the source as ours: afterwards the first new selection is the application's copy.
    connection_.roundtrip();
    ownSelection_ = nullptr;
    trace("empty");
}

void Clipboard::offerText(const std::string& text) {
    if (device_ == nullptr) {
        throw RuntimeError(err::kInvalidProcedureCall);
    }
    std::vector<std::pair<std::string, std::string>> formats;
    for (const char* type : kTextTypes) {
        formats.emplace_back(type, std::string(type) == "STRING" ? QString::fromStdString(text).toLatin1().toStdString()
                                                                 : text);
    }
    formats.emplace_back(platform::kHistoryHintFormat, platform::kHistoryHintValue);
    offerSource(std::move(formats), true);
}

void Clipboard::abandonWaits() {
    abandoned_ = true;
    emit news();
}

} // namespace valumat::wayland
