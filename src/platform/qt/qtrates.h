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

// The tray icon with a tooltip that can change while it is shown (the day of the rates): forwards everything to
// the icon, and a new tooltip as a repeated add while the icon is there.
class TooltipTray final : public platform::TrayIcon {
public:
    explicit TooltipTray(platform::TrayIcon& icon) : icon_(icon) {}
    void add(const std::string& tooltip) override {
        shown_ = true;
        icon_.add(tooltip);
    }
    void remove() override {
        shown_ = false;
        icon_.remove();
    }
    void setMouseHandler(std::function<void(int message)> handler) override {
        icon_.setMouseHandler(std::move(handler));
    }
    void showMessage(const std::string& title, const std::string& text) override { icon_.showMessage(title, text); }
    void setTooltip(const std::string& tooltip) override {
        if (shown_) {
            icon_.add(tooltip);
        }
    }

private:
    platform::TrayIcon& icon_;
    bool shown_ = false;
};

} // namespace valumat::qt
