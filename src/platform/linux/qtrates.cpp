#include "platform/linux/qtrates.h"

#include "platform/linux/netrates/ratesload.h"

#include <QMetaObject>

#include <cstdlib>
#include <memory>

namespace valumat::qt {

RateLoader::~RateLoader() {
    cancel_ = true;
    if (thread_.joinable()) {
        thread_.join();
    }
}

void RateLoader::load(const std::string& address, std::function<void(platform::RateLoad)> done) {
    if (thread_.joinable()) {
        thread_.join(); // the previous load has handed over its result already
    }
    cancel_ = false;
    // VALUMAT_RATES_URL stands in for the bank's address in tests (with VALUMAT_RATES_CA_FILE for its authority).
    const char* replacement = std::getenv("VALUMAT_RATES_URL");
    thread_ = std::thread(
        [this, address = replacement != nullptr ? std::string(replacement) : address, done = std::move(done)] {
            netrates::Limits limits = netrates::limitsFromEnvironment();
            limits.cancel = &cancel_;
            auto result = std::make_shared<platform::RateLoad>(netrates::loadRates(address, limits));
            QMetaObject::invokeMethod(
                &receiver_, [done, result] { done(std::move(*result)); }, Qt::QueuedConnection);
        });
}

} // namespace valumat::qt
