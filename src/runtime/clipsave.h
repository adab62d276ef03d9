// Which of the user's clipboard types a conversion saves, in which order and within which time: one rule for every
// desktop. The backends list what the owner offers (X11 targets and Wayland MIME types by name, Windows formats by
// their registered name or the standard name "CF_..."), read the planned types in order with their own clock, and
// put back the fetched bytes under the fetched type and its aliases.
//
// Why not everything: the owner renders each type on request, and many are the same data again. An image from a
// GTK program comes as PNG, JPEG, BMP (three names), TIFF and eight icon names, each encoded anew; a spreadsheet
// range as its own document format, text in four encodings, HTML, RTF, SYLK, DIF and a bitmap, PNG and three
// metafiles of the range. Fetching them all takes seconds with a screenshot or a large range, before the first key
// of the conversion goes out. What serves the user afterwards is the owner's own format (pasting into the program
// it came from), the text byte for byte (a text field), one lossless image and one vector picture (an image
// editor, a drawing) and, where there is no format of the owner's own, the formatted text.
//
// Read ahead of the hot key. The clipboard changes long before the user converts, and what costs the time of a save
// with a screenshot or a large range is the owner rendering its types, not the reading. So the backend reads the
// planned types of each new content in the background (its own connection or thread: the hot keys and the window
// never wait for it) and keeps them, tagged with the content's stamp (its owner and the time it took the
// clipboard). At the hot key, a snapshot whose stamp is still the clipboard's stands for the save; one still being
// read is waited for within kSaveMs; anything else is read then, as without read-ahead. The conditions:
// - Event driven: a read starts from the desktop's news of a new owner, never from a timer while idle; it starts
//   kSettleMs after the last change (an owner may set the clipboard twice, a manager take over at once), and a
//   hot key pressed meanwhile starts it at once.
// - Content a password manager marks as secret is never read ahead: only a hot key reads it, and its snapshot is
//   dropped once it is back on the clipboard, with its mark (clipboard histories go on ignoring it).
// - At most kAheadBytes are kept; larger content is read at the hot key (within kSaveMs).
// - This program's own content (a result, a restore) is not read again: it has it.
// - A new change drops what was kept; a read under way for content that changed is abandoned. Kept content never
//   stands for another: the stamp is compared with the newest change the desktop reported, after a round trip
//   that makes sure every earlier change was reported.
// - Every owner is read ahead. It renders once per copy instead of once per conversion, 300 ms after the copy
//   rather than on the hot key, in separate requests per type and within kSaveMs: an owner that renders on its
//   window's thread is busy for that long (a spreadsheet's 10000 x 10 range: 450 ms of work, at most about 180 ms
//   of it without answering; a 3840 x 2160 image: about 120 ms), the same work every clipboard history that reads
//   each copy costs it. Reading at the hot key cost that on every conversion, on the user's time.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace valumat::clipsave {

// The longest the save of the user's content takes, all essential types together.
constexpr int kSaveMs = 1500;
// Extras (formatted text beside the owner's own format) are fetched only while the save is younger than this.
constexpr int kExtrasMs = 50;
// A new content is read ahead once the clipboard has not changed for this long.
constexpr int kSettleMs = 300;
// The most a snapshot read ahead may hold.
constexpr std::size_t kAheadBytes = std::size_t{64} << 20;

enum class Part {
    Marker,   // a mark for clipboard histories (secret, not to be kept): tiny, and must come back with the content
    Native,   // the owner's own formats (and any type this rule does not know)
    Text,     // the plain text, byte for byte
    Picture,  // the image kept when the content is an image (one raster, one vector)
    RichText, // HTML, RTF
};

struct Fetch {
    std::string type;                 // read from the owner
    std::vector<std::string> aliases; // offered types that are the same bytes: put back with them
    Part part = Part::Native;
    bool essential = true; // within kSaveMs; an extra only within kExtrasMs
};

struct Plan {
    std::vector<Fetch> fetches; // in the order they are read
    // Offered types neither read nor put back as an alias: derived again by the restore (Qt's image types, the
    // encodings Windows synthesises), pictures of a text, other renderings of the owner's own format, the owner's
    // handles to its own process.
    std::vector<std::string> left;
    bool secret = false; // a password manager marked the content as secret
};

Plan plan(const std::vector<std::string>& offered);

// How many milliseconds a planned read may still take, elapsedMs into the save; 0 or less: it is left out.
std::int64_t timeLeft(const Fetch& fetch, std::int64_t elapsedMs);

// What is said (on the standard error, the debugger output) when types were left out for lack of time; "" when none.
std::string lateNote(const std::vector<std::string>& types);

// What the plan for `offered` reads, each type within the time it leaves (`elapsedMs`: since the save began;
// `read(type, maxMilliseconds, bytes)`: true when the owner handed everything over): the bytes under the type and
// its aliases, and the types that did not come.
struct Read {
    std::vector<std::pair<std::string, std::string>> formats;
    std::vector<std::string> late;
};
Read readPlanned(const std::vector<std::string>& offered, const std::function<std::int64_t()>& elapsedMs,
                 const std::function<bool(const std::string& type, int maxMilliseconds, std::string& bytes)>& read);

// Which content the clipboard holds: its owner (a window, a client, an offer) and when that took the clipboard.
struct Stamp {
    std::uint64_t owner = 0;
    std::uint64_t time = 0;
    friend bool operator==(const Stamp&, const Stamp&) = default;
};

// What a save at the hot key does with the read-ahead.
enum class AtHotKey {
    Use,  // the snapshot kept is the clipboard's content
    Wait, // it is being read: wait for it within kSaveMs
    Read, // read the content now
};

// The read-ahead's book-keeping, the same on every desktop; the backend reads and calls these in order (a backend
// that reads on a thread of its own calls them under its lock).
template <typename Content> class ReadAhead {
public:
    // The clipboard got new content (`ours`: this program's, or none): whatever was kept goes, and a read of it is
    // due kSettleMs later unless it is ours or a conversion holds the read-ahead.
    void changed(Stamp stamp, bool ours, std::int64_t nowMs) {
        stamp_ = stamp;
        kept_.reset();
        phase_ = ours || held_ ? Phase::None : Phase::Settling;
        dueMs_ = nowMs + kSettleMs;
    }
    // Whether a read is to start now, and when the next one is due (-1: none).
    bool due(std::int64_t nowMs) const { return phase_ == Phase::Settling && !held_ && nowMs >= dueMs_; }
    std::int64_t dueMs() const { return phase_ == Phase::Settling && !held_ ? dueMs_ : -1; }
    // A hot key was pressed: a read still settling starts at once.
    void hurry(std::int64_t nowMs) { dueMs_ = std::min(dueMs_, nowMs); }
    // The backend starts reading the content of `stamp` (the newest change).
    Stamp startReading() {
        phase_ = Phase::Reading;
        return stamp_;
    }
    // Whether the read under way is still of the clipboard's content (a change abandons it).
    bool stillCurrent(Stamp stamp) const { return phase_ == Phase::Reading && stamp == stamp_; }
    // The read of `stamp` ended: with what it got, or nothing (the content is secret, too large, or the owner did
    // not answer). Kept only while it is the clipboard's content, and only whole: a read some types came too late
    // for (a busy owner) is dropped, so that the save at the hot key gives the owner its whole time again rather
    // than losing its own format for good.
    void finished(Stamp stamp, std::unique_ptr<Content> content, bool complete = true) {
        if (!stillCurrent(stamp)) {
            return;
        }
        phase_ = Phase::None;
        kept_ = complete ? std::move(content) : nullptr;
    }
    // At the hot key, once every change up to it was reported: what the save does. From here until release() no
    // read starts (the conversion's own changes are not read ahead).
    AtHotKey atHotKey() {
        held_ = true;
        if (phase_ == Phase::Reading) {
            return AtHotKey::Wait;
        }
        return kept_ ? AtHotKey::Use : AtHotKey::Read;
    }
    // The snapshot, once (it belongs to the conversion from then on).
    std::unique_ptr<Content> take() { return std::move(kept_); }
    // The conversion is over; its restore is this program's content.
    void release() { held_ = false; }
    bool holding() const { return kept_ != nullptr; }
    bool reading() const { return phase_ == Phase::Reading; }

private:
    enum class Phase { None, Settling, Reading };
    Stamp stamp_;
    Phase phase_ = Phase::None;
    std::int64_t dueMs_ = 0;
    bool held_ = false;
    std::unique_ptr<Content> kept_;
};

} // namespace valumat::clipsave
