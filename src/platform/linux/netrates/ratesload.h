// Loading a rates file on Linux: https:// addresses through libcurl (the certificate checked against the system's
// authorities, the proxy of the usual environment variables, a timeout and a size cap), local files directly, the
// XML read with expat. Blocking: the desktop program calls it on a thread of its own (RateLoader).
#pragma once

#include "platform/platform.h"
#include "store/ratesupdate.h"

#include <atomic>
#include <cstddef>
#include <string>
#include <string_view>

namespace valumat::netrates {

struct Limits {
    long timeoutSeconds = kRatesTimeoutSeconds; // the whole transfer, connecting included
    std::size_t maxBytes = kMaxRatesBytes;
    const std::atomic<bool>* cancel = nullptr; // set: the transfer stops at once
    std::string caFile;                        // "": the system's authorities
};

// The limits with what the environment asks for: VALUMAT_RATES_TIMEOUT (seconds) and VALUMAT_RATES_CA_FILE (a
// file of authorities trusted instead of the system's), both for tests.
Limits limitsFromEnvironment();

// Reads an https:// address or a file (a path or a file:// address) and its rates. Never throws.
platform::RateLoad loadRates(const std::string& address, const Limits& limits);

// The rates of an XML text. Never throws.
platform::RateLoad parseRates(std::string_view xml);

} // namespace valumat::netrates
