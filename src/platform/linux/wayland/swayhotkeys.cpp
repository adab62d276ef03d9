#include "platform/linux/wayland/swayhotkeys.h"

#include "platform/linux/wayland/keymap.h"
#include "platform/linux/wayland/kglobalaccel.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <algorithm>
#include <cstdio>
#include <cstring>

#include <unistd.h>

namespace valumat::wayland {

namespace {

constexpr char kMagic[] = "i3-ipc";
constexpr int kMagicLength = 6;
constexpr int kHeaderLength = kMagicLength + 8;
constexpr std::uint32_t kRunCommand = 0;
constexpr std::uint32_t kSubscribe = 2;
constexpr std::uint32_t kBindingEvent = 0x80000005;
constexpr int kReplyWaitMs = 2000;
// Two bindings per combination: one on the press, which does nothing but keep the press from the application (a
// release binding alone lets the press through: Ctrl+D would reach the editor), and one on the release, which runs
// the hot key once the combination's key is up (sway tells us the release: the script's keys do not meet the
// user's hand on the key), once per press however long it is held.
constexpr const char* kPressFlags = "--no-repeat ";
constexpr const char* kReleaseFlags = "--release ";
constexpr const char* kPressCommand = " nop valumat";

// Reads one whole message from a blocking use of the socket.
bool readReply(QLocalSocket& socket, QByteArray& buffer, std::uint32_t& type, QByteArray& payload) {
    while (!takeIpcMessage(buffer, type, payload)) {
        if (!socket.waitForReadyRead(kReplyWaitMs)) {
            return false;
        }
        buffer += socket.readAll();
    }
    return true;
}

} // namespace

QByteArray ipcMessage(std::uint32_t type, const QByteArray& payload) {
    QByteArray message(kMagic, kMagicLength);
    const auto length = static_cast<std::uint32_t>(payload.size());
    message.append(reinterpret_cast<const char*>(&length), sizeof length);
    message.append(reinterpret_cast<const char*>(&type), sizeof type);
    return message + payload;
}

bool takeIpcMessage(QByteArray& buffer, std::uint32_t& type, QByteArray& payload) {
    if (buffer.size() < kHeaderLength) {
        return false;
    }
    if (std::memcmp(buffer.constData(), kMagic, kMagicLength) != 0) {
        buffer.clear(); // out of step: nothing after this can be read
        return false;
    }
    std::uint32_t length = 0;
    std::memcpy(&length, buffer.constData() + kMagicLength, sizeof length);
    std::memcpy(&type, buffer.constData() + kMagicLength + 4, sizeof type);
    if (static_cast<std::size_t>(buffer.size()) < kHeaderLength + static_cast<std::size_t>(length)) {
        return false;
    }
    payload = buffer.mid(kHeaderLength, static_cast<qsizetype>(length));
    buffer.remove(0, kHeaderLength + static_cast<qsizetype>(length));
    return true;
}

std::string bindingTag(long pid, int id) {
    return "nop valumat " + std::to_string(pid) + " " + std::to_string(id);
}

bool readTag(const QByteArray& bindingEvent, long pid, int& id) {
    const QJsonObject event = QJsonDocument::fromJson(bindingEvent).object();
    if (event.value(QLatin1String("change")).toString() != QLatin1String("run")) {
        return false;
    }
    const QString command = event.value(QLatin1String("binding")).toObject().value(QLatin1String("command")).toString();
    const QString prefix = QString::fromStdString(bindingTag(pid, 0)).chopped(1);
    if (!command.startsWith(prefix)) {
        return false;
    }
    bool ok = false;
    const int value = command.mid(prefix.size()).trimmed().toInt(&ok);
    if (ok) {
        id = value;
    }
    return ok;
}

HotKeys::HotKeys(const UsKeymap& keymap, std::function<void(platform::WindowHandle, int id)> pressed)
    : keymap_(keymap), pressed_(std::move(pressed)), pid_(static_cast<long>(::getpid())),
      tracing_(!qEnvironmentVariableIsEmpty("VALUMAT_TRACE_HOTKEYS")) {}

HotKeys::~HotKeys() {
    if (kde_) {
        for (const auto& registration : registrations_) {
            kde_->unbind(registration.id);
        }
    }
    if (commands_) {
        for (const auto& registration : registrations_) {
            unbind(registration.combination);
        }
    }
}

bool HotKeys::connectSway(const std::string& socketPath, std::string& problem) {
    auto commands = std::make_unique<QLocalSocket>();
    auto events = std::make_unique<QLocalSocket>();
    commands->connectToServer(QString::fromStdString(socketPath));
    events->connectToServer(QString::fromStdString(socketPath));
    if (!commands->waitForConnected(kReplyWaitMs) || !events->waitForConnected(kReplyWaitMs)) {
        problem = "keine Verbindung zu " + socketPath + ": " + commands->errorString().toStdString();
        return false;
    }
    events->write(ipcMessage(kSubscribe, QByteArrayLiteral("[\"binding\"]")));
    events->waitForBytesWritten(kReplyWaitMs);
    QByteArray buffer;
    std::uint32_t type = 0;
    QByteArray payload;
    if (!readReply(*events, buffer, type, payload) ||
        !QJsonDocument::fromJson(payload).object().value(QLatin1String("success")).toBool()) {
        problem = "sway nimmt das Abonnement der Tastenbelegungen nicht an";
        return false;
    }
    eventBuffer_ = buffer;
    commands_ = std::move(commands);
    events_ = std::move(events);
    QObject::connect(events_.get(), &QLocalSocket::readyRead, this, [this] { readEvents(); });
    QObject::connect(events_.get(), &QLocalSocket::disconnected, this, [] {
        std::fprintf(stderr, "valumat: die Verbindung zu sway ist abgebrochen; Tastenkombinationen kommen nur noch "
                             "über \"valumat --hotkey N\" an.\n");
    });
    return true;
}

bool HotKeys::connectKde(std::string& problem) {
    auto kde = std::make_unique<KGlobalAccel>([this](int id) { deliver(id); });
    if (!kde->connectService(problem)) {
        return false;
    }
    kde_ = std::move(kde);
    return true;
}

bool HotKeys::command(const std::string& text, std::string& error) {
    if (!commands_) {
        return false;
    }
    if (tracing_) {
        std::fprintf(stderr, "valumat: sway %s\n", text.c_str());
    }
    commands_->write(ipcMessage(kRunCommand, QByteArray::fromStdString(text)));
    commands_->waitForBytesWritten(kReplyWaitMs);
    QByteArray buffer;
    std::uint32_t type = 0;
    QByteArray payload;
    if (!readReply(*commands_, buffer, type, payload)) {
        error = "keine Antwort";
        return false;
    }
    const QJsonArray results = QJsonDocument::fromJson(payload).array();
    for (const auto& result : results) {
        if (!result.toObject().value(QLatin1String("success")).toBool()) {
            error = result.toObject().value(QLatin1String("error")).toString().toStdString();
            return false;
        }
    }
    return !results.isEmpty();
}

bool HotKeys::bind(const std::string& combination, int id, std::string& error) {
    if (!command(std::string("bindsym ") + kPressFlags + combination + kPressCommand, error)) {
        return false;
    }
    if (!command(std::string("bindsym ") + kReleaseFlags + combination + " " + bindingTag(pid_, id), error)) {
        std::string ignored;
        command(std::string("unbindsym ") + kPressFlags + combination, ignored);
        return false;
    }
    return true;
}

void HotKeys::unbind(const std::string& combination) {
    std::string error;
    command(std::string("unbindsym ") + kReleaseFlags + combination, error);
    command(std::string("unbindsym ") + kPressFlags + combination, error);
}

bool HotKeys::registerHotKey(platform::WindowHandle window, int id, unsigned modifiers, unsigned virtualKey) {
    if (virtualKey > 255) {
        return false;
    }
    const bool taken = std::any_of(registrations_.begin(), registrations_.end(),
                                   [&](const Registration& r) { return r.window == window && r.id == id; });
    if (taken) {
        return false;
    }
    const std::string combination = keymap_.combination(modifiers, static_cast<std::uint8_t>(virtualKey));
    if (combination.empty()) {
        return false;
    }
    if (commands_) {
        std::string error;
        if (!bind(combination, id, error)) {
            std::fprintf(stderr, "valumat: sway nimmt die Tastenkombination %s nicht an: %s\n", combination.c_str(),
                         error.c_str());
            return false;
        }
    }
    if (kde_) {
        std::string error;
        if (!kde_->bind(id, modifiers, static_cast<std::uint8_t>(virtualKey), combination, error)) {
            std::fprintf(stderr, "valumat: KGlobalAccel nimmt die Tastenkombination %s nicht an: %s\n",
                         combination.c_str(), error.c_str());
            return false;
        }
    }
    registrations_.push_back({window, id, combination});
    return true;
}

bool HotKeys::unregisterHotKey(platform::WindowHandle window, int id) {
    const auto it = std::find_if(registrations_.begin(), registrations_.end(),
                                 [&](const Registration& r) { return r.window == window && r.id == id; });
    if (it == registrations_.end()) {
        return false;
    }
    const std::string combination = it->combination;
    registrations_.erase(it);
    if (kde_) {
        kde_->unbind(id);
    }
    if (commands_) {
        // Another registration of ours may have the same combination: it keeps the binding, now for its own id.
        std::string error;
        unbind(combination);
        for (const auto& other : registrations_) {
            if (other.combination == combination) {
                bind(combination, other.id, error);
                break;
            }
        }
    }
    return true;
}

bool HotKeys::deliver(int id) {
    const auto it =
        std::find_if(registrations_.begin(), registrations_.end(), [id](const Registration& r) { return r.id == id; });
    if (it == registrations_.end()) {
        return false;
    }
    pressed_(it->window, it->id);
    return true;
}

std::vector<std::string> HotKeys::combinations() const {
    std::vector<std::string> result;
    for (const auto& registration : registrations_) {
        result.push_back(registration.combination);
    }
    return result;
}

void HotKeys::readEvents() {
    eventBuffer_ += events_->readAll();
    std::uint32_t type = 0;
    QByteArray payload;
    while (takeIpcMessage(eventBuffer_, type, payload)) {
        int id = 0;
        if (type == kBindingEvent && readTag(payload, pid_, id)) {
            deliver(id);
        }
    }
}

} // namespace valumat::wayland
