// The Windows clipboard for the conversion: every format kept across a conversion, the application's copy
// recognised by who owns the clipboard, the result offered by delayed rendering so that we learn when the target
// application has fetched it.
//
// - save() copies every format that can be copied: memory formats (text, DIB, HTML, registered formats ...) byte for
//   byte, enhanced metafiles, old metafile pictures and palettes as their bits. Skipped: CF_BITMAP (Windows makes it
//   again from the DIB that is saved with it), CF_METAFILEPICT when an enhanced metafile is there (made again from
//   it), owner-display, private and GDI-object formats (handles only their owner understands).
// - clear() opens the clipboard without a window, so that emptying it leaves it without owner: an owner must answer
//   the WM_DESTROYCLIPBOARD that the target's copy sends. From then on every change of the clipboard (our window
//   listens through AddClipboardFormatListener) is looked at until the application in front has copied; see
//   checkCopy() for the rule.
// - setText() puts CF_UNICODETEXT without data, owned by our message window; the first WM_RENDERFORMAT asked for by
//   the application in front (or by a program that opened the clipboard without a window) is the target fetching
//   the result, one asked for by another program's window is a clipboard monitor, which gets nothing. The content is
//   marked "ExcludeClipboardContentFromMonitorProcessing" (and kept out of the clipboard history), so that
//   well-behaved monitors leave it alone anyway.
// - Should another program take the clipboard before the target fetched our offer, the offer is made again (a few
//   times at most): the paste on its way must not find that program's content, nor the user's after the restore.
// - restore() puts the saved formats back whoever changed the clipboard meanwhile, except for a new copy made in
//   the application in front after our result (the user copied something newer there).
// - Opening the clipboard is retried for a while when another program holds it open (handling the messages sent to
//   us meanwhile: the holder may be waiting for us to render); then it fails with "Zugriff verweigert".
// - A conversion that came to nothing (no copy, no text in it, the result not fetched) is said on the debugger
//   output, like the program's other log lines; VALUMAT_TRACE_CLIPBOARD=1 traces every step there.
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
    // WM_CLIPBOARDUPDATE (through handleMessage). pump: handles pending messages while waitCopied and waitFetched
    // wait.
    Clipboard(HWND owner, std::function<void()> pump);
    ~Clipboard() override;
    Clipboard(const Clipboard&) = delete;
    Clipboard& operator=(const Clipboard&) = delete;

    std::unique_ptr<Snapshot> save() override;
    void restore(const Snapshot& snapshot) override;
    std::string getText() override;
    void clear() override;
    bool waitCopied(int maxMilliseconds) override;
    void setText(const std::string& text) override;
    bool resultPending() override;
    bool waitFetched(int maxMilliseconds) override;

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
    // True once the application's copy was recognised since the last clear().
    bool copyRecognised() const { return copied_; }

private:
    class Session;
    // Looks at the clipboard's latest change while we watch for the application's copy; false when it changed but
    // could not be opened to look.
    bool checkCopy();
    // The process of the window in front when clear() was called, or the one in front now.
    bool inForegroundProcess(HWND window) const;
    // The application in front copied something new after our result.
    bool newerCopyAfterResult() const;
    // The text on the open clipboard ("" without text).
    std::string textNow();
    // Empties the clipboard and offers the result (or nothing), owned by our window.
    void offer();
    // Offers again what another program took before the target fetched it.
    void keepOffer();
    void render();
    void ownedChange();
    // With VALUMAT_TRACE_CLIPBOARD set, each step of a conversion goes to the debugger output (for the tests' logs).
    void trace(const std::string& what) const;
    // A conversion that came to nothing, said on the debugger output.
    static void note(const char* text);

    HWND owner_;
    std::function<void()> pump_;
    UINT excludeFormat_;
    UINT historyFormat_;
    bool listening_ = false;
    bool tracing_ = false;
    int openAttempts_ = 100;
    DWORD openPause_ = 2;
    std::wstring result_;    // the text setText offered
    bool resultSet_ = false; // a result of ours (or the empty offer) was put there since the last save()
    bool fetched_ = false;   // the target asked for it
    bool reading_ = false;   // we read the clipboard ourselves: our own render request is no fetch
    DWORD ourSequence_ = 0;  // the clipboard's sequence number after our last change

    // Watching for the application's copy (from clear() until setText, restore or save).
    bool watching_ = false;
    bool copied_ = false;         // the application's copy was recognised
    bool changeSeen_ = false;     // some change after clear() was looked at already
    DWORD seenSequence_ = 0;      // the sequence number last looked at
    DWORD foregroundProcess_ = 0; // the process in front at clear()
    std::string copiedText_;      // the copy's text, read when it was recognised
    static constexpr int kMaxReoffers = 3;
    int reoffers_ = 0; // times the offer was made again since setText

    int savedFormats_ = 0;
    int skippedFormats_ = 0;
};

} // namespace valumat::win32
