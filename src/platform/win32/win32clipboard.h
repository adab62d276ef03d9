// The Windows clipboard for the conversion: every format kept across a conversion, owner changes reported with who
// made them, the result offered by delayed rendering so that we learn when (and by whom) it is fetched.
//
// - save() copies every format that can be copied: memory formats (text, DIB, HTML, registered formats ...) byte for
//   byte, enhanced metafiles, old metafile pictures and palettes as their bits. Skipped: CF_BITMAP (Windows makes it
//   again from the DIB that is saved with it), CF_METAFILEPICT when an enhanced metafile is there (made again from
//   it), owner-display, private and GDI-object formats (handles only their owner understands).
// - empty() opens the clipboard without a window, so that emptying it leaves it without owner: an owner must answer
//   the WM_DESTROYCLIPBOARD that the target's copy sends. From then on every change of the clipboard (our window
//   listens through AddClipboardFormatListener) is looked at and reported: its owner is a window of the process in
//   front (any of its windows or threads: an application may copy through a hidden window of its own, as OLE does),
//   of another process, or none (a program that copied with OpenClipboard(NULL): who it was cannot be told). Until
//   the result is offered, the clipboard is held open while its owner is looked at and its text read, so that what
//   is read is what was judged.
// - offerText() puts CF_UNICODETEXT without data, owned by our message window; each WM_RENDERFORMAT is reported as
//   a request, made by the window that holds the clipboard open (the asker): a window of the process in front, of
//   another process (a clipboard monitor or history), or none. A refused request gets nothing, so the result stays
//   promised and the target's own request still tells us of the paste. The content is marked
//   "ExcludeClipboardContentFromMonitorProcessing" (and kept out of the clipboard history), so that well-behaved
//   monitors leave it alone anyway. The whole request happens while the asker holds the clipboard open, so the
//   restore that follows waits for it to close the clipboard (opening fails meanwhile) and never lands between two
//   of its requests; once rendered, the system serves every further read itself (no quiet time, no later paste).
// - Opening the clipboard is retried for a while when another program holds it open (handling the messages sent to
//   us meanwhile: the holder may be waiting for us to render); then it fails with "Zugriff verweigert".
// - Notes go to the debugger output, like the program's other log lines; VALUMAT_TRACE_CLIPBOARD=1 traces every
//   step there.
#pragma once

#include "platform/platform.h"

#include <windows.h>

#include <functional>
#include <memory>
#include <string>

namespace valumat::win32 {

class Clipboard final : public platform::Clipboard {
public:
    // owner: the window that owns our results, listens to clipboard changes and gets WM_RENDERFORMAT and
    // WM_CLIPBOARDUPDATE (through handleMessage). pump: handles pending messages while waitForEvents waits.
    Clipboard(HWND owner, std::function<void()> pump);
    ~Clipboard() override;
    Clipboard(const Clipboard&) = delete;
    Clipboard& operator=(const Clipboard&) = delete;

    void setListener(Listener* listener) override { listener_ = listener; }
    Traits traits() const override { return Traits{0, 0}; }
    std::unique_ptr<Snapshot> save() override;
    void restore(const Snapshot& snapshot) override;
    void empty() override;
    std::string readText(int maxMilliseconds) override;
    void offerText(const std::string& text) override;
    bool isOurs() override;
    std::int64_t nowMs() override;
    void waitForEvents(int maxMilliseconds) override;
    void note(const std::string& text) override;
    void trace(const std::string& what) override;

    // Messages of the owner window (WM_RENDERFORMAT, WM_RENDERALLFORMATS, WM_DESTROYCLIPBOARD, WM_CLIPBOARDUPDATE);
    // true when handled.
    bool handleMessage(UINT message, WPARAM wParam, LPARAM lParam);
    // Before the program ends without destroying the owner window: a result still promised is put on the clipboard
    // as text, so that it outlives us. Never fails.
    void renderPromised();
    // A blocking wait of the given length (a script's SLEEP) that still answers the render requests sent to us and
    // looks at every clipboard change at once, so that the application's copy is told from a clipboard manager's
    // change that follows it within the wait. No other message is handled. Never fails.
    void sleepWatching(int milliseconds);

    // How often and how long apart opening the clipboard is tried (default 100 times, 2 ms apart: a target that
    // holds the clipboard open while it pastes, or a monitor that reads it, lets go within a few milliseconds, and
    // the restore should follow at once).
    void setOpenRetries(int attempts, DWORD pauseMilliseconds) {
        openAttempts_ = attempts;
        openPause_ = pauseMilliseconds;
    }
    // The number of formats the last save() kept and skipped.
    int lastSavedFormats() const { return savedFormats_; }
    int lastSkippedFormats() const { return skippedFormats_; }

private:
    class Session;
    // Looks at the clipboard's latest change and reports it; false when it changed but could not be opened to look
    // (looked at again with the next change or call).
    bool lookAtChange();
    platform::ClipboardOrigin originOf(HWND window) const;
    // The process of the window in front when empty() was called, or the one in front now.
    bool inForegroundProcess(HWND window) const;
    // The text on the open clipboard ("" without text).
    std::string textNow();
    // Empties the clipboard and offers the result, owned by our window.
    void offer();
    void render();
    void ownedChange();

    HWND owner_;
    std::function<void()> pump_;
    Listener* listener_ = nullptr;
    UINT excludeFormat_;
    UINT historyFormat_;
    bool listening_ = false;
    bool tracing_ = false;
    int openAttempts_ = 100;
    DWORD openPause_ = 2;
    std::wstring result_;         // the text offerText offered
    bool resultSet_ = false;      // a result of ours was offered since the last save(), empty() or restore()
    bool reading_ = false;        // we read the clipboard ourselves: our own render request is no fetch
    bool watching_ = false;       // from empty() until the result is offered: changes are opened and read
    DWORD seenSequence_ = 0;      // the clipboard's sequence number last looked at
    DWORD foregroundProcess_ = 0; // the process in front at empty()

    int savedFormats_ = 0;
    int skippedFormats_ = 0;
};

} // namespace valumat::win32
