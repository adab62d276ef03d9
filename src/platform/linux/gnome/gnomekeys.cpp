#include "platform/linux/gnome/gnomekeys.h"

#include "platform/linux/evdevkeys.h"
#include "platform/linux/gnome/remotedesktop.h"
#include "runtime/errors.h"

#include <algorithm>
#include <cstdio>

namespace valumat::gnome {

KeyEvents::KeyEvents() : tracing_(!qEnvironmentVariableIsEmpty("VALUMAT_TRACE_HOTKEYS")) {
    idle_.setSingleShot(true);
    idle_.setInterval(kIdleStopMs);
    QObject::connect(&idle_, &QTimer::timeout, this, [this] {
        if (down_.empty()) {
            stop();
        }
    });
}

KeyEvents::~KeyEvents() {
    releaseAll();
    stop();
}

bool KeyEvents::ensureStarted() {
    if (session_ && session_->alive() && session_->started()) {
        return true;
    }
    down_.clear(); // a closed session's keys went with it
    auto session = std::make_unique<Session>();
    std::string error;
    if (!session->open(error) || !session->start(error)) {
        std::fprintf(stderr, "valumat: GNOME gibt keine Tastenanschläge frei: %s\n", error.c_str());
        return false;
    }
    if (tracing_) {
        std::fprintf(stderr, "valumat: Fernsteuerungssitzung %s gestartet\n", qPrintable(session->path()));
    }
    session_ = std::move(session);
    return true;
}

void KeyEvents::keyEvent(std::uint8_t virtualKey, std::uint32_t flags) {
    const unsigned key = qt::evdevKeyForVirtualKey(virtualKey);
    if (key == 0 || !ensureStarted()) {
        throw RuntimeError(err::kInvalidProcedureCall);
    }
    const bool down = (flags & platform::kKeyEventKeyUp) == 0;
    // mutter refuses the release of a key the session did not press ("Invalid key event"): the releases of Alt, Ctrl
    // and Shift that open every combination would end the conversion. The user's own keys are not ours to release.
    if (!down && std::find(down_.begin(), down_.end(), key) == down_.end()) {
        return;
    }
    const QDBusMessage reply = session_->call(QStringLiteral("NotifyKeyboardKeycode"), {key, down});
    if (reply.type() != QDBusMessage::ReplyMessage) {
        throw RuntimeError(err::kInvalidProcedureCall);
    }
    if (down) {
        if (std::find(down_.begin(), down_.end(), key) == down_.end()) {
            down_.push_back(key);
        }
    } else {
        std::erase(down_, key);
    }
    idle_.start();
}

void KeyEvents::releaseAll() {
    if (!session_ || !session_->alive()) {
        down_.clear();
        return;
    }
    for (auto it = down_.rbegin(); it != down_.rend(); ++it) {
        session_->call(QStringLiteral("NotifyKeyboardKeycode"), {*it, false});
    }
    down_.clear();
}

void KeyEvents::stop() {
    idle_.stop();
    if (session_ && tracing_) {
        std::fprintf(stderr, "valumat: Fernsteuerungssitzung beendet\n");
    }
    session_.reset();
}

} // namespace valumat::gnome
