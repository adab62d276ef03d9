// The Qt side of the Linux desktop: clipboard, waiting, the message pump, window procedures, the notification
// icon, message boxes, opening files and addresses, and the program itself. Hot keys, key events and autostart
// come from the X11 backend (src/platform/x11).
#pragma once

#include "platform/platform.h"

#include <QAbstractNativeEventFilter>
#include <QObject>
#include <QSystemTrayIcon>

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

class QMimeData;

namespace valumat::qt {

// Window procedures of the program's (virtual) windows and the messages posted to them. Messages are delivered by
// the Qt event loop, and so by every message pump.
class Windows final : public QObject, public platform::WindowHook {
    Q_OBJECT
public:
    platform::WindowHandle create();
    platform::WindowProc setWindowProc(platform::WindowHandle window, platform::WindowProc procedure) override;
    void post(platform::WindowHandle window, unsigned message, std::intptr_t wParam, std::intptr_t lParam);
    // Called after a posted message was handled (the program logs finished hot keys).
    std::function<void(unsigned message, std::intptr_t wParam)> delivered;

protected:
    void customEvent(QEvent* event) override;

private:
    std::map<platform::WindowHandle, platform::WindowProc> procedures_;
    platform::WindowHandle next_ = 1;
};

// The CLIPBOARD selection through QClipboard, every format kept across a conversion. Watches the selection on Qt's
// X connection: owner changes (XFixes) and the requests for our result, each reported with who made it.
class Clipboard final : public QObject, public platform::Clipboard, public QAbstractNativeEventFilter {
    Q_OBJECT
public:
    Clipboard();
    ~Clipboard() override;
    void setListener(Listener* listener) override { listener_ = listener; }
    std::unique_ptr<Snapshot> save() override;
    void restore(const Snapshot& snapshot) override;
    void empty() override;
    std::string readText(int maxMilliseconds) override;
    void offerText(const std::string& text) override;
    bool isOurs() override;
    std::int64_t nowMs() override;
    void waitForEvents(int maxMilliseconds) override;
    void trace(const std::string& text) override;

    bool nativeEventFilter(const QByteArray& eventType, void* message, qintptr* result) override;

    // Ends every wait at once (the program is ending).
    void abandonWaits();

    static constexpr int kAskAgainMs = 100;
    // After taking the clipboard: how long applications reacting to the new owner must have been quiet before the
    // paste goes out, and the longest we wait for that.
    static constexpr int kSettleReactionMs = 10;
    static constexpr int kSettleQuietMs = 10;
    static constexpr int kSettleMaxMs = 100;
    static constexpr int kTrustAfterQuietRounds = 3;
    // An application that serves the clipboard on a connection of its own (a thread of its own, as LibreOffice's
    // X11 backend does) learns that it lost the clipboard there, apart from the keys: a paste that overtakes that
    // news pastes the application's own copy again. The paste waits this long after the clipboard became ours.
    static constexpr int kOwnConnectionSettleMs = 25;

signals:
    void news();

private:
    void ownerChanged(std::uint32_t owner);
    // Who made an owner or a request: the application in front (its client, or another client of its process),
    // another program, or unknown (process ids cannot be compared).
    platform::ClipboardOrigin originOf(std::uint32_t window);
    bool weOwnIt();
    void settle(unsigned requestsBefore); // requestsBefore: requests_ before we took the clipboard
    std::string fetchText(int maxMilliseconds);
    void offer(); // takes the clipboard with offered_
    void traceEvent(const char* what, std::uint32_t a = 0, std::uint32_t b = 0) const;

    Listener* listener_ = nullptr;
    unsigned clipboardAtom_ = 0;
    unsigned targetsAtom_ = 0;
    int xfixesEvent_ = -1;              // first event number of the XFixes extension, -1 when missing
    std::vector<unsigned> textTargets_; // the text formats we offer: asking for one of them takes the result
    bool tracing_ = false;
    std::uint32_t requestor_ = 0; // our window for reading the copy
    unsigned propertyAtom_ = 0;   // the property the copy is written to
    unsigned incrAtom_ = 0;
    bool notified_ = false;         // the owner answered
    unsigned notifiedProperty_ = 0; // where (0: refused)
    bool abandoned_ = false;
    bool reported_ = false; // something was reported since the last wait began

    // the application in front when the clipboard was emptied
    std::uint32_t focusClient_ = 0;
    long focusPid_ = -1;                 // -1 unknown
    bool frontSeen_ = false;             // the application in front set the clipboard since empty()
    bool copiedOnOwnConnection_ = false; // ... through a client that is not its focused window's

    // our result
    bool resultSet_ = false; // a result of ours is on the clipboard
    std::string offered_;
    std::int64_t lastRequestMs_ = 0;
    unsigned requests_ = 0;           // requests for our result, counted
    std::map<long, int> quietRounds_; // per process: conversions in a row it did not react in (negative: it does)
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
    bool available() const;
    // A notification area that knows no double-click (StatusNotifierItem hosts send "activate" on a click, the only
    // ones under Wayland): its activation counts as the double-click.
    bool activateOpens = false;

protected:
    // The XEmbed icon window's own buttons: Qt reports its context activation when the right button goes down; the
    // menu opens when it comes up.
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QSystemTrayIcon& icon();
    QIcon picture_;
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
