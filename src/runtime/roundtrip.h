// One conversion's trip through the user's clipboard, the same on every desktop: save the user's content, empty the
// clipboard, recognise the application's copy, read its text, offer the result, know when the paste is over, put
// the user's content back. The backends (platform::Clipboard) supply the primitives and report what they see; every
// rule about what those reports mean is here.
//
// The rules, and why:
// - The copy. After the clipboard was emptied, the first new content that the application in front set is its
//   copy. Content set by another program (a clipboard manager taking an emptied clipboard back, a history keeping a
//   copy alive) never is: pasting a manager's entry would put something the user never selected into the document.
//   Where the desktop cannot say who set the content (Wayland's data control; a copy without owner on Windows), only
//   the first change after our copy keys went out counts: a manager that takes the emptied clipboard back reacts to
//   the emptying, before our keys; the application's copy is by far the likeliest thing to come first after them.
//   Not even that once another program was seen taking the emptied clipboard: the change without origin may just
//   as well be that program again.
// - Waiting for the copy: at most kCopyWaitMs after CALCULATE starts waiting; reading its text: at most kReadTextMs
//   (an owner busy with its own copy, a large spreadsheet say, may take a second to hand it over). No copy, or no
//   text in it: nothing is pasted, and the keys that follow are not sent (see dispatch.cpp).
// - The paste. Only a request for our result made after the paste keys went out is the paste: programs that watch
//   the clipboard read every new content at once, before it; a request by another program is never the paste
//   (where the desktop lets us refuse one, as Windows' delayed rendering does, that program gets nothing). The
//   target has the result once it asked for a text format; the paste is over when no further request came for the
//   desktop's quiet time (Traits::pasteQuietMs). After further keys (Enter in a spreadsheet may paste once more) the
//   target gets Traits::laterPasteMs to start another paste. The user's content comes back only after that: a paste
//   still on its way must find our result, never the user's content.
// - Giving up once. A target that has not fetched the result within kFetchWaitMs does not paste (a read-only text):
//   we say so once and do not wait for it again in the same conversion.
// - Taken before the paste. Should anyone take the clipboard before the target fetched the result (a manager keeping
//   a copy alive, one that puts its last entry back, the application copying again), the result is offered again,
//   at most kMaxReoffers times: the paste on its way must find the result, never that content nor, once the user's
//   content is back, the user's. Whoever takes it after the fetch is left alone until the restore.
// - The restore happens once, always (whatever the script put on the clipboard), also when the program ends in the
//   middle (the caller registers finish()).
// - The notes of a conversion that came to nothing go out once each, as they happen.
#pragma once

#include "platform/platform.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

namespace valumat {

class RoundTrip final : private platform::Clipboard::Listener {
public:
    // The longest CALCULATE waits for the application's copy to arrive.
    static constexpr int kCopyWaitMs = 2000;
    // The longest we wait for the copy's owner to hand over its text.
    static constexpr int kReadTextMs = 2000;
    // The longest we wait for the target to fetch the result before going on.
    static constexpr int kFetchWaitMs = 2000;
    // How often the result is offered again when another program took the clipboard before the paste.
    static constexpr int kMaxReoffers = 3;

    // stopped: true once the program is ending (every wait ends at once; the restore still happens).
    RoundTrip(platform::Clipboard& clipboard, std::function<bool()> stopped);
    ~RoundTrip() override;
    RoundTrip(const RoundTrip&) = delete;
    RoundTrip& operator=(const RoundTrip&) = delete;

    // Saves the user's content (see clipsave.h) and empties the clipboard. A step that fails is left out (without a
    // snapshot the clipboard is emptied at the end). Never fails.
    void begin();
    // Our keys are about to go out (before every PRESS).
    void keysGoingOut();
    // Waits for the application's copy and returns its text; "" when there was none or it held no text.
    std::string copiedText();
    // Offers the result for the paste that follows. Fails with RuntimeError (nothing is offered then).
    void offer(const std::string& result);
    // When keys went out since the result was offered (or since the last call): waits until the paste they started
    // is over, the target gave up, or the clipboard is no longer ours. Never fails.
    void awaitPaste();
    // Puts the user's content back, once. Fails with RuntimeError.
    void finish();

    // For tests and traces: what the last conversion saw.
    bool copyRecognised() const { return copied_; }
    bool fetched() const { return fetched_; }
    // The target did not fetch the offered result within the bound (it does not paste).
    bool pasteGivenUp() const { return gaveUp_; }
    int reoffers() const { return reoffers_; }

private:
    enum class Phase { Idle, WatchingCopy, CopyTaken, Offered, Done };

    void ownerChanged(platform::ClipboardOrigin origin, const std::optional<std::string>& text) override;
    bool resultRequested(platform::ClipboardOrigin origin, bool textFormat) override;
    // Waits for events until done() holds or maxMilliseconds passed; returns done().
    template <typename Done> bool waitUntil(Done done, std::int64_t deadline);
    // Offers the result again when another program took it before the paste; false once that was given up.
    bool keepOffer();

    platform::Clipboard& clipboard_;
    std::function<bool()> stopped_;
    const platform::Clipboard::Traits traits_;
    Phase phase_ = Phase::Idle;
    std::unique_ptr<platform::Clipboard::Snapshot> saved_;

    std::uint64_t keys_ = 0; // key combinations that went out so far

    // the copy
    std::uint64_t keysAtEmpty_ = 0;
    bool changeAfterKeys_ = false; // some change was seen after our keys went out
    bool otherSeen_ = false;       // another program set the clipboard since it was emptied
    bool copied_ = false;
    std::optional<std::string> copiedText_;

    // the paste
    std::string result_;
    std::uint64_t keysAtOffer_ = 0;
    bool pressedSinceWait_ = false;
    bool fetched_ = false;
    std::uint64_t keysAtFetch_ = 0;
    std::int64_t lastRequestMs_ = 0;
    bool gaveUp_ = false;
    bool taken_ = false; // another program took the clipboard before the fetch
    int reoffers_ = 0;
};

} // namespace valumat
