// Rates on the Linux desktop: the load runs on a thread of its own (libcurl and expat, as valumat-convert) and its
// result is handed to the user-interface thread through Qt's event queue, so the hot keys never wait for the
// network.
#pragma once

#include "platform/platform.h"

#include <QObject>

#include <atomic>
#include <thread>

namespace valumat::qt {

class RateLoader final : public platform::RateSource {
public:
    RateLoader() = default;
    // Stops a load under way (at once) and waits for its thread; its result is dropped.
    ~RateLoader() override;
    RateLoader(const RateLoader&) = delete;
    RateLoader& operator=(const RateLoader&) = delete;
    void load(const std::string& address, std::function<void(platform::RateLoad)> done) override;

private:
    QObject receiver_; // lives on the user-interface thread; queued results die with it
    std::atomic<bool> cancel_{false};
    std::thread thread_;
};

} // namespace valumat::qt
