// Rates on the Windows desktop: the load (WinHTTP and XmlLite, as valumat-convert.exe) runs on a thread of its own
// and its result is posted to a window of the user-interface thread, whose procedure hands it to handleMessage,
// so the hot keys never wait for the network.
#pragma once

#include "platform/platform.h"

#include <windows.h>

#include <functional>
#include <memory>
#include <string>

namespace valumat::win32 {

// Posted to the window when a load has ended; wParam names the load (its serial number).
inline constexpr UINT kRatesLoadedMessage = WM_APP + 2;

class RateLoader final : public platform::RateSource {
public:
    // `window` belongs to the user-interface thread and passes its messages to handleMessage.
    explicit RateLoader(HWND window) : window_(window) {}
    // Stops a load under way and waits a little for its thread; its result is dropped.
    ~RateLoader() override;
    RateLoader(const RateLoader&) = delete;
    RateLoader& operator=(const RateLoader&) = delete;

    // A load running still is told to stop and its result dropped (without waiting for it).
    void load(const std::string& address, std::function<void(platform::RateLoad)> done) override;
    // kRatesLoadedMessage of the current load: runs its `done`. True when the message was one of ours.
    bool handleMessage(UINT message, WPARAM wParam, LPARAM lParam);

    struct Job;

private:
    void stop(DWORD waitMilliseconds);

    HWND window_;
    std::shared_ptr<Job> job_;
    HANDLE thread_ = nullptr;
    WPARAM serial_ = 0;
    std::function<void(platform::RateLoad)> done_;
};

} // namespace valumat::win32
