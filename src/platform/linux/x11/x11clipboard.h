// The X11 clipboard: the CLIPBOARD selection through QClipboard and Qt's X connection (XFixes, X-Resource).
#pragma once

#include "platform/linux/x11/x11readahead.h"
#include "platform/platform.h"

#include <QAbstractNativeEventFilter>
#include <QObject>

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace valumat::x11 {

// The CLIPBOARD selection through QClipboard; the user's content read and kept across a conversion as the saving
// rule says. Watches the selection on Qt's
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
    // A hot key was pressed (it runs once let go of): the user's content is read from now on if it was not yet.
    void hotKeyPressed();

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
    void ensureRequestor();
    bool readTarget(unsigned target, int maxMilliseconds, std::string& bytes, bool* refused = nullptr);
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
    unsigned newValues_ = 0;        // new values of the property since the last piece was taken
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

    std::unique_ptr<ReadAhead> readAhead_; // nullptr: every save reads at the hot key
};

} // namespace valumat::x11
