// The Qt side of the Linux desktop, shared by its backends: window procedures and posted messages, waiting, the
// message pump, the notification icon, message boxes, opening files and addresses, and the program itself.
#pragma once

#include "platform/platform.h"

#include <QObject>
#include <QSystemTrayIcon>

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>

namespace valumat::qt {

// Window procedures of the program's (virtual) windows and the messages posted to them. Messages are delivered by
// the Qt event loop, and so by every message pump.
class Windows final : public QObject, public platform::WindowHook {
    Q_OBJECT
public:
    platform::WindowHandle create();
    platform::WindowProc setWindowProc(platform::WindowHandle window, platform::WindowProc procedure) override;
    void post(platform::WindowHandle window, unsigned message, std::intptr_t wParam, std::intptr_t lParam);
    // A hot key was pressed (and let go of): its message goes to the window, and the log says so.
    void postHotKey(platform::WindowHandle window, int id);
    // Called after a posted message was handled (the program logs finished hot keys).
    std::function<void(unsigned message, std::intptr_t wParam)> delivered;

protected:
    void customEvent(QEvent* event) override;

private:
    std::map<platform::WindowHandle, platform::WindowProc> procedures_;
    platform::WindowHandle next_ = 1;
};

class Sleeper final : public platform::Sleeper {
public:
    void sleep(int milliseconds) override;
};

class MessagePump final : public platform::MessagePump {
public:
    void pumpMessages() override;
};

class TrayIcon final : public QObject, public platform::TrayIcon {
    Q_OBJECT
public:
    explicit TrayIcon(QIcon picture);
    void add(const std::string& tooltip) override;
    void remove() override;
    void setMouseHandler(std::function<void(int message)> handler) override;
    void showMessage(const std::string& title, const std::string& text) override;
    void setTooltip(const std::string& tooltip) override;
    bool available() const;
    // A notification area that knows no double-click (StatusNotifierItem hosts send "activate" on a click, the only
    // ones under Wayland): its activation counts as the double-click.
    bool activateOpens = false;

protected:
    // The XEmbed icon window's own buttons: Qt reports its context activation when the right button goes down; the
    // menu opens when it comes up.
    bool eventFilter(QObject* watched, QEvent* event) override;

private slots:
    void notificationAction(uint id, const QString& action);

private:
    QSystemTrayIcon& icon();
    QIcon picture_;
    // Sends a message to the notification service; false when there is none.
    bool notify(const std::string& title, const std::string& text);

    uint notification_ = 0; // the last notification sent, replaced by the next
    bool notificationsWatched_ = false;
    bool iconMessageShown_ = false; // a message went beside the icon (no notification service)
    std::unique_ptr<QSystemTrayIcon> icon_;
    std::function<void(int)> handler_;
};

class ShellOpen final : public platform::ShellOpen {
public:
    void shellOpen(platform::WindowHandle owner, const std::string& verb, const std::string& target,
                   const std::string& directory) override;
};

class MessageBoxes final : public platform::MessageBoxes {
public:
    platform::MessageAnswer messageBox(const std::string& text, const std::string& title, platform::MessageIcon icon,
                                       platform::MessageButtons buttons,
                                       platform::DefaultButton defaultButton) override;
};

class Process final : public platform::Process {
public:
    std::string programPath() override;
    char pathSeparator() override { return '/'; }
    std::string commandLine() override;
    [[noreturn]] void endProgram(int status) override;
    // Runs first when the program ends this way (the backend gives back what the desktop lent it).
    std::function<void()> beforeEnd;
};

} // namespace valumat::qt
