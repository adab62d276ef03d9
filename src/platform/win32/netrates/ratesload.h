// Loading a rates file on Windows: https:// addresses through WinHTTP (the certificate checked against the system's
// authorities, the user's proxy settings, a timeout and a size cap), local files directly, the XML read with
// XmlLite. Both come from the system directory when first needed (xmllite.dll has no import library in mingw-w64,
// and neither DLL is one of the few the program imports), so the program ships no DLL of its own. Blocking: the
// desktop program calls it on a thread of its own (win32::RateLoader). The same interface as the Linux loader.
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
    const std::atomic<bool>* cancel = nullptr; // set: the transfer stops at its next step
};

// The limits with what the environment asks for: VALUMAT_RATES_TIMEOUT (seconds), for tests.
Limits limitsFromEnvironment();

// Reads an https:// address or a file (a path or a file:// address) and its rates. Never throws.
platform::RateLoad loadRates(const std::string& address, const Limits& limits);

// The rates of an XML text. Never throws.
platform::RateLoad parseRates(std::string_view xml);

} // namespace valumat::netrates
