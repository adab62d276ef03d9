#include "runtime/roundtrip.h"

#include "runtime/errors.h"

#include <algorithm>
#include <utility>

namespace valumat {

using platform::ClipboardOrigin;

namespace notes {
// What a conversion that came to nothing says: the document is left as it was in each case.
constexpr const char* kNoCopy = "keine Kopie der Auswahl erhalten, nichts eingefügt";
constexpr const char* kTextNotHandedOver = "die Anwendung hat den kopierten Text nicht herausgegeben";
constexpr const char* kResultNotFetched = "das Ergebnis wurde nicht abgeholt";
} // namespace notes

RoundTrip::RoundTrip(platform::Clipboard& clipboard, std::function<bool()> stopped)
    : clipboard_(clipboard), stopped_(std::move(stopped)), traits_(clipboard.traits()) {}

RoundTrip::~RoundTrip() {
    clipboard_.setListener(nullptr);
}

template <typename Done> bool RoundTrip::waitUntil(Done done, std::int64_t deadline) {
    while (!done() && !stopped_()) {
        const std::int64_t left = deadline - clipboard_.nowMs();
        if (left <= 0) {
            break;
        }
        clipboard_.waitForEvents(static_cast<int>(left));
    }
    return done();
}

void RoundTrip::begin() {
    clipboard_.setListener(this);
    try {
        saved_ = clipboard_.save();
    } catch (const RuntimeError&) {
    }
    // Watching starts even when emptying fails: the application's copy is still recognised.
    phase_ = Phase::WatchingCopy;
    keysAtEmpty_ = keys_;
    changeAfterKeys_ = false;
    otherSeen_ = false;
    copied_ = false;
    copiedText_.reset();
    try {
        clipboard_.empty();
    } catch (const RuntimeError&) {
    }
}

void RoundTrip::keysGoingOut() {
    ++keys_;
    if (phase_ == Phase::Offered) {
        pressedSinceWait_ = true;
    }
}

void RoundTrip::ownerChanged(ClipboardOrigin origin, const std::optional<std::string>& text) {
    if (origin == ClipboardOrigin::Ours) {
        return;
    }
    const bool afterKeys = keys_ != keysAtEmpty_;
    switch (phase_) {
    case Phase::WatchingCopy: {
        const bool firstAfterKeys = afterKeys && !changeAfterKeys_;
        changeAfterKeys_ = changeAfterKeys_ || afterKeys;
        const bool unknownCounts = firstAfterKeys && !otherSeen_;
        otherSeen_ = otherSeen_ || origin == ClipboardOrigin::Other;
        if (origin == ClipboardOrigin::Front || (origin == ClipboardOrigin::Unknown && unknownCounts)) {
            copied_ = true;
            copiedText_ = text;
            phase_ = Phase::CopyTaken;
            clipboard_.trace("copied");
        } else {
            clipboard_.trace("not the copy");
        }
        return;
    }
    case Phase::Offered:
        taken_ = taken_ || !fetched_;
        return;
    default:
        return;
    }
}

bool RoundTrip::resultRequested(ClipboardOrigin origin, bool textFormat) {
    if (phase_ != Phase::Offered || origin == ClipboardOrigin::Other || keys_ == keysAtOffer_) {
        return phase_ != Phase::Offered; // the user's content is served to anyone
    }
    lastRequestMs_ = clipboard_.nowMs();
    if (textFormat && !fetched_) {
        fetched_ = true;
        keysAtFetch_ = keys_;
    }
    return true;
}

std::string RoundTrip::copiedText() {
    if (phase_ != Phase::WatchingCopy && phase_ != Phase::CopyTaken) {
        return {};
    }
    waitUntil([this] { return copied_; }, clipboard_.nowMs() + kCopyWaitMs);
    if (!copied_) {
        phase_ = Phase::CopyTaken; // nothing more is watched for
        if (!stopped_()) {
            clipboard_.trace("no copy");
            clipboard_.note(notes::kNoCopy);
        }
        return {};
    }
    std::string text = copiedText_ ? *copiedText_ : clipboard_.readText(kReadTextMs);
    clipboard_.trace("copied text [" + text + "]");
    if (text.empty() && !stopped_()) {
        // Not handed over in time, refused, or a copy without text (an image, say): nothing is pasted.
        clipboard_.note(notes::kTextNotHandedOver);
    }
    return text;
}

void RoundTrip::offer(const std::string& result) {
    clipboard_.trace("result [" + result + "]");
    phase_ = Phase::Offered;
    result_ = result;
    keysAtOffer_ = keys_;
    pressedSinceWait_ = false;
    fetched_ = false;
    lastRequestMs_ = 0;
    gaveUp_ = false;
    taken_ = false;
    reoffers_ = 0;
    try {
        clipboard_.offerText(result);
    } catch (const RuntimeError&) {
        phase_ = Phase::CopyTaken;
        throw;
    }
}

bool RoundTrip::keepOffer() {
    if (!taken_) {
        return true;
    }
    if (reoffers_ >= kMaxReoffers) {
        return false; // it stays taken: nothing to wait for
    }
    taken_ = false;
    ++reoffers_;
    clipboard_.trace("result taken before the paste: offered again");
    try {
        clipboard_.offerText(result_);
    } catch (const RuntimeError&) {
        return false;
    }
    return true;
}

void RoundTrip::awaitPaste() {
    if (phase_ != Phase::Offered || !keepOffer() || !pressedSinceWait_) {
        return;
    }
    pressedSinceWait_ = false;
    if (gaveUp_) {
        return; // the target does not paste: not waited for again
    }
    const std::int64_t start = clipboard_.nowMs();
    const std::int64_t deadline = start + kFetchWaitMs;
    // Keys sent after the paste (Enter in a spreadsheet) may start another one: the target gets a moment for it.
    const std::int64_t laterEnd = fetched_ && keys_ != keysAtFetch_ ? start + traits_.laterPasteMs : 0;
    while (!stopped_() && keepOffer()) {
        const std::int64_t now = clipboard_.nowMs();
        std::int64_t until = deadline;
        if (fetched_) {
            until = std::min(until, std::max(lastRequestMs_ + traits_.pasteQuietMs, laterEnd));
            if (now >= until) {
                clipboard_.trace("paste over");
                return;
            }
        } else if (now >= deadline) {
            gaveUp_ = true;
            clipboard_.trace("paste not seen");
            clipboard_.note(notes::kResultNotFetched);
            return;
        }
        clipboard_.waitForEvents(static_cast<int>(std::max<std::int64_t>(until - now, 1)));
    }
}

void RoundTrip::finish() {
    if (phase_ == Phase::Done) {
        return;
    }
    phase_ = Phase::Done;
    if (saved_) {
        // The snapshot goes once its content is back: nothing of the user's (a secret neither) is kept longer.
        const std::unique_ptr<platform::Clipboard::Snapshot> saved = std::move(saved_);
        clipboard_.restore(*saved);
    } else {
        clipboard_.empty();
    }
}

} // namespace valumat
