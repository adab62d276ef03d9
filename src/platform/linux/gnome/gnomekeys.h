// Synthetic key strokes under GNOME: Linux key codes (the US positions, read by GNOME with the user's layout) through
// a started remote-desktop session. A started session shows GNOME's remote-access indicator: the session is started
// for the keys of a conversion and stopped once no key came for a while.
#pragma once

#include "platform/platform.h"

#include <QObject>
#include <QTimer>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace valumat::gnome {

class Session;

class KeyEvents final : public QObject, public platform::KeyEvents {
    Q_OBJECT
public:
    // How long a started session stays after the last key (with no key of ours down).
    static constexpr int kIdleStopMs = 2000;

    KeyEvents();
    ~KeyEvents() override;
    KeyEvents(const KeyEvents&) = delete;
    KeyEvents& operator=(const KeyEvents&) = delete;

    // Fails with RuntimeError ("Ungültiger Prozeduraufruf oder ungültiges Argument") for a code without a key or when
    // GNOME refuses the session.
    void keyEvent(std::uint8_t virtualKey, std::uint32_t flags) override;
    // Releases the keys still down. Never fails.
    void releaseAll();
    // Stops the session (the indicator goes). Never fails.
    void stop();

private:
    bool ensureStarted();

    std::unique_ptr<Session> session_;
    std::vector<unsigned> down_;
    QTimer idle_;
    bool tracing_ = false;
};

} // namespace valumat::gnome
