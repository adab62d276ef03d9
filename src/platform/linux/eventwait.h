// A bounded wait that keeps handling events, shared by the Linux clipboards.
#pragma once

#include <QEventLoop>
#include <QObject>
#include <QTimer>

#include <algorithm>

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

} // namespace valumat::qt
