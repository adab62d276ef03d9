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
// Why nothing before the hot key: saving when the clipboard changes would make every owner render its types on
// every copy the user makes (a spreadsheet stalls for a second after each copy of a large range) for a conversion
// that mostly never comes, and would keep a copy of whatever the user copies in this program. The user's content is
// read only once a hot key was pressed, and the snapshot is dropped once it is back on the clipboard; content a
// password manager marks as secret is kept no longer than that, with its mark, so that clipboard histories go on
// ignoring it once it is back.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace valumat::clipsave {

// The longest the save of the user's content takes, all essential types together.
constexpr int kSaveMs = 1500;
// Extras (formatted text beside the owner's own format) are fetched only while the save is younger than this.
constexpr int kExtrasMs = 50;

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

} // namespace valumat::clipsave
