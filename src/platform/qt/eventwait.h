// Bounded waits that keep handling events, shared by the Linux clipboards.
#pragma once

#include <QEventLoop>
#include <QObject>
#include <QTimer>

#include <algorithm>
#include <chrono>
#include <cstdint>

namespace valumat::qt {

// Handles events until `sender` emits `signal` or `milliseconds` have passed.
template <typename Sender, typename Signal> void waitForSignal(Sender* sender, Signal signal, int milliseconds) {
    QEventLoop loop;
    QTimer timer;
    timer.setTimerType(Qt::PreciseTimer);
    timer.setSingleShot(true);
    QObject::connect(&timer, &QTimer::timeout, &loop, &QEventLoop::quit);
    QObject::connect(sender, signal, &loop, &QEventLoop::quit);
    timer.start(std::max(milliseconds, 1));
    loop.exec();
}

// Calls wait(milliseconds left) until done() holds or maxMilliseconds have passed; returns done().
template <typename Done, typename Wait> bool waitUntil(Done done, int maxMilliseconds, Wait wait) {
    using Clock = std::chrono::steady_clock;
    const auto deadline = Clock::now() + std::chrono::milliseconds(maxMilliseconds);
    while (!done()) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
        if (left <= 0) {
            break;
        }
        wait(static_cast<int>(left));
    }
    return done();
}

} // namespace valumat::qt
