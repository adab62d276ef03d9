// The Windows clipboard for the conversion: every format kept across a conversion, the result offered by delayed
// rendering so that we learn when the target application has fetched it.
//
// - save() copies every format that can be copied: memory formats (text, DIB, HTML, registered formats ...) byte for
//   byte, enhanced metafiles, old metafile pictures and palettes as their bits. Skipped: CF_BITMAP (Windows makes it
//   again from the DIB that is saved with it), CF_METAFILEPICT when an enhanced metafile is there (made again from
//   it), owner-display, private and GDI-object formats (handles only their owner understands).
// - clear() opens the clipboard without a window, so that emptying it leaves it without owner: an owner must answer
//   the WM_DESTROYCLIPBOARD that the target's copy sends, and we may be sleeping in a SLEEP step then.
// - setText() puts CF_UNICODETEXT without data, owned by our message window; the first WM_RENDERFORMAT from someone
//   else is the target fetching the result. The content is marked "ExcludeClipboardContentFromMonitorProcessing" (and
//   kept out of the clipboard history), so that clipboard monitors leave it alone and do not fetch it themselves.
// - clear() and restore() after a result leave the clipboard alone once another program has put something new there.
// - Opening the clipboard is retried for a while when another program holds it open; then it fails with
//   "Zugriff verweigert".
#pragma once

#include "platform/platform.h"

#include <windows.h>

#include <functional>
#include <memory>
#include <string>

namespace valumat::win32 {

class Clipboard final : public platform::Clipboard {
public:
    // owner: the window that owns our results and gets their WM_RENDERFORMAT (through handleMessage).
    // pump: handles pending messages while waitFetched waits.
    Clipboard(HWND owner, std::function<void()> pump);

    std::unique_ptr<Snapshot> save() override;
    void restore(const Snapshot& snapshot) override;
    std::string getText() override;
    void clear() override;
    void setText(const std::string& text) override;
    bool resultPending() override;
    bool waitFetched(int maxMilliseconds) override;

    // Messages of the owner window (WM_RENDERFORMAT, WM_RENDERALLFORMATS, WM_DESTROYCLIPBOARD); true when handled.
    bool handleMessage(UINT message, WPARAM wParam, LPARAM lParam);

    // How often and how long apart opening the clipboard is tried (default 20 times, 10 ms apart).
    void setOpenRetries(int attempts, DWORD pauseMilliseconds) {
        openAttempts_ = attempts;
        openPause_ = pauseMilliseconds;
    }
    // The number of formats the last save() kept and skipped.
    int lastSavedFormats() const { return savedFormats_; }
    int lastSkippedFormats() const { return skippedFormats_; }

private:
    class Session;
    // Another program changed the clipboard after our result.
    bool lost() const;
    void render();

    HWND owner_;
    std::function<void()> pump_;
    UINT excludeFormat_;
    UINT historyFormat_;
    int openAttempts_ = 20;
    DWORD openPause_ = 10;
    std::wstring result_;    // the text setText offered
    bool resultSet_ = false; // a result of ours was put there since the last save()
    bool fetched_ = false;   // another program asked for it
    bool reading_ = false;   // we read the clipboard ourselves: our own render request is no fetch
    DWORD ourSequence_ = 0;  // the clipboard's sequence number after our last change
    int savedFormats_ = 0;
    int skippedFormats_ = 0;
};

} // namespace valumat::win32
