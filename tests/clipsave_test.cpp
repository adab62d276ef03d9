// What a conversion saves of the user's clipboard: the rule on the offers of real owners, and the save itself on the
// fake desktop against an owner that renders each type on request.
#include "platform/fake/fakedesktop.h"
#include "runtime/clipsave.h"
#include "runtime/roundtrip.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <map>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

using valumat::RoundTrip;
using valumat::fake::FakeDesktop;
using valumat::fake::FakeEditor;
namespace clipsave = valumat::clipsave;

namespace {

using Types = std::vector<std::string>;

// The offers as the owners make them (X11 targets, Windows formats by name), in their order.
const Types kGtkImage = {"TIMESTAMP",
                         "TARGETS",
                         "MULTIPLE",
                         "SAVE_TARGETS",
                         "image/png",
                         "image/jpeg",
                         "image/bmp",
                         "image/x-bmp",
                         "image/x-MS-bmp",
                         "image/x-icon",
                         "image/x-ico",
                         "image/x-win-bitmap",
                         "image/vnd.microsoft.icon",
                         "application/ico",
                         "image/ico",
                         "image/icon",
                         "text/ico",
                         "image/tiff"};
const std::string kEmbed = "application/x-openoffice-embed-source-xml;windows_formatname=\"Star Embed Source (XML)\"";
const std::string kDescriptor =
    "application/x-openoffice-objectdescriptor-xml;windows_formatname=\"Star Object Descriptor (XML)\"";
const std::string kLink = "application/x-openoffice-link;windows_formatname=\"Link\"";
const Types kCalcRange = {"TIMESTAMP",
                          "TARGETS",
                          "MULTIPLE",
                          "SAVE_TARGETS",
                          kEmbed,
                          kDescriptor,
                          "application/x-openoffice-gdimetafile;windows_formatname=\"GDIMetaFile\"",
                          "application/x-openoffice-emf;windows_formatname=\"Image EMF\"",
                          "application/x-openoffice-wmf;windows_formatname=\"Image WMF\"",
                          "image/png",
                          "application/x-openoffice-bitmap;windows_formatname=\"Bitmap\"",
                          "image/bmp",
                          "text/html",
                          "application/x-openoffice-sylk;windows_formatname=\"Sylk\"",
                          kLink,
                          "application/x-openoffice-dif;windows_formatname=\"DIF\"",
                          "text/plain;charset=utf-16",
                          "application/x-libreoffice-tsvc",
                          "text/rtf",
                          "text/richtext",
                          "text/plain;charset=utf-8",
                          "UTF8_STRING",
                          "STRING",
                          "application/x-libreoffice-internal-id-32238"};
// A spreadsheet range copied on Windows, its system-synthesised formats listed after the owner's.
const Types kWindowsRange = {"DataObject",       "Biff12",  "Biff8",          "HTML Format",     "CF_UNICODETEXT",
                             "Rich Text Format", "Link",    "CF_ENHMETAFILE", "CF_METAFILEPICT", "CF_DIB",
                             "Ole Private Data", "CF_TEXT", "CF_OEMTEXT",     "CF_LOCALE",       "CF_BITMAP",
                             "CF_DIBV5"};

struct Planned {
    std::string type;
    Types aliases;
    bool essential;
};

std::vector<Planned> fetches(const clipsave::Plan& plan) {
    std::vector<Planned> out;
    for (const auto& f : plan.fetches) {
        out.push_back({f.type, f.aliases, f.essential});
    }
    return out;
}

bool operator==(const Planned& a, const Planned& b) {
    return a.type == b.type && a.aliases == b.aliases && a.essential == b.essential;
}

void PrintTo(const Planned& p, std::ostream* os) {
    *os << p.type << (p.essential ? "" : " (extra)");
    for (const auto& a : p.aliases) {
        *os << " =" << a;
    }
}

} // namespace

// What is read, in which order, as what: marks and the text first, the owner's own formats, one image, formatted text.
TEST(SavePlan, RealOwners) {
    struct Case {
        const char* name;
        Types offered;
        std::vector<Planned> planned;
        Types left;
        bool secret;
    };
    const Case cases[] = {
        {"GTK image: the PNG alone, the other types derived from it",
         kGtkImage,
         {{"image/png", {}, true}},
         {"image/jpeg", "image/bmp", "image/x-bmp", "image/x-MS-bmp", "image/x-icon", "image/x-ico",
          "image/x-win-bitmap", "image/vnd.microsoft.icon", "application/ico", "image/ico", "image/icon", "text/ico",
          "image/tiff"},
         false},
        {"Calc range: text, its own document, descriptor and link; pictures and renderings left; HTML and RTF extras",
         kCalcRange,
         {{"text/plain;charset=utf-8", {"UTF8_STRING"}, true},
          {kEmbed, {}, true},
          {kDescriptor, {}, true},
          {kLink, {}, true},
          {"text/html", {}, false},
          {"text/rtf", {"text/richtext"}, false}},
         {"application/x-openoffice-sylk;windows_formatname=\"Sylk\"",
          "application/x-openoffice-dif;windows_formatname=\"DIF\"", "application/x-libreoffice-tsvc",
          "application/x-libreoffice-internal-id-32238", "text/plain;charset=utf-16", "STRING", "image/png",
          "application/x-openoffice-bitmap;windows_formatname=\"Bitmap\"", "image/bmp",
          "application/x-openoffice-gdimetafile;windows_formatname=\"GDIMetaFile\"",
          "application/x-openoffice-emf;windows_formatname=\"Image EMF\"",
          "application/x-openoffice-wmf;windows_formatname=\"Image WMF\""},
         false},
        {"Windows range: what Windows synthesises and OLE's handles left",
         kWindowsRange,
         {{"CF_UNICODETEXT", {}, true},
          {"Biff12", {}, true},
          {"Link", {}, true},
          {"HTML Format", {}, false},
          {"Rich Text Format", {}, false}},
         {"DataObject", "Biff8", "Ole Private Data", "CF_TEXT", "CF_OEMTEXT", "CF_LOCALE", "CF_DIB", "CF_BITMAP",
          "CF_DIBV5", "CF_ENHMETAFILE", "CF_METAFILEPICT"},
         false},
        {"a screenshot on Windows: the DIB, the rest synthesised",
         {"CF_BITMAP", "CF_DIB", "CF_DIBV5"},
         {{"CF_DIB", {}, true}},
         {"CF_BITMAP", "CF_DIBV5"},
         false},
        {"a password manager's text: its mark first, kept with it",
         {"text/plain", "UTF8_STRING", "TEXT", "STRING", "x-kde-passwordManagerHint"},
         {{"x-kde-passwordManagerHint", {}, true}, {"UTF8_STRING", {"text/plain"}, true}},
         {"TEXT", "STRING"},
         true},
        {"a browser's formatted text: HTML is the content, not an extra",
         {"text/html", "text/_moz_htmlcontext", "text/plain;charset=utf-8", "text/plain"},
         {{"text/plain;charset=utf-8", {"text/plain"}, true},
          {"text/_moz_htmlcontext", {}, true},
          {"text/html", {}, true}},
         {},
         false},
        {"only Latin-1 text: read as it is",
         {"TARGETS", "STRING", "COMPOUND_TEXT"},
         {{"STRING", {}, true}},
         {"COMPOUND_TEXT"},
         false},
        {"only metafiles: the enhanced one",
         {"CF_METAFILEPICT", "CF_ENHMETAFILE", "Ole Private Data"},
         {{"CF_ENHMETAFILE", {}, true}},
         {"Ole Private Data", "CF_METAFILEPICT"},
         false},
        {"only a table's renderings: the first stands for the content",
         {"application/x-openoffice-sylk;windows_formatname=\"Sylk\"",
          "application/x-openoffice-dif;windows_formatname=\"DIF\""},
         {{"application/x-openoffice-sylk;windows_formatname=\"Sylk\"", {}, true}},
         {"application/x-openoffice-dif;windows_formatname=\"DIF\""},
         false},
        {"nothing offered", {}, {}, {}, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const clipsave::Plan plan = clipsave::plan(c.offered);
        EXPECT_EQ(fetches(plan), c.planned);
        EXPECT_EQ(plan.left, c.left);
        EXPECT_EQ(plan.secret, c.secret);
    }
}

namespace {

using Formats = std::map<std::string, std::string>;

// One conversion of "100" in an editor, the user's clipboard offered by a slow owner.
struct Conversion {
    FakeDesktop desktop;
    std::shared_ptr<FakeEditor> editor = std::make_shared<FakeEditor>("100");
    long long saveMs = -1;

    explicit Conversion(const std::vector<FakeDesktop::OfferedType>& offer) {
        desktop.setForeground(editor);
        editor->select(0, 3);
        desktop.setClipboardOffer(offer);
    }
    void ctrl(std::uint8_t key) {
        auto* keys = desktop.platform().keyEvents;
        keys->keyEvent(17, 0);
        keys->keyEvent(key, 0);
        keys->keyEvent(key, valumat::platform::kKeyEventKeyUp);
        keys->keyEvent(17, valumat::platform::kKeyEventKeyUp);
    }
    void run() {
        RoundTrip trip(*desktop.platform().clipboard, [] { return false; });
        const long long start = desktop.now();
        trip.begin();
        saveMs = desktop.now() - start;
        trip.keysGoingOut();
        ctrl('C');
        const std::string copied = trip.copiedText();
        trip.offer(copied == "100" ? "195,58" : copied);
        trip.keysGoingOut();
        ctrl('V');
        trip.awaitPaste();
        trip.finish();
        EXPECT_EQ(desktop.snapshotsAlive(), 0) << "the user's content is kept after it is back";
    }
};

} // namespace

// What is fetched from a slow owner, in which order, within which time, and what comes back byte for byte.
TEST(SaveOnTheFakeDesktop, SlowOwners) {
    const std::string png = std::string("\x89PNG\r\n\x1a\n", 8) + std::string(1000, '\0');
    struct Case {
        const char* name;
        std::vector<FakeDesktop::OfferedType> offer;
        Types reads;
        long long saveMs;
        Formats back;
        const char* note; // "" when none
    };
    const Case cases[] = {
        {"an image in 13 types, 300 ms each: the PNG alone",
         {{"image/png", png, 300},
          {"image/jpeg", "JPEG", 300},
          {"image/bmp", "BMP", 300},
          {"image/x-bmp", "BMP", 300},
          {"image/x-icon", "ICO", 300},
          {"image/tiff", "TIFF", 300}},
         {"image/png"},
         300,
         {{"image/png", png}},
         ""},
        {"a range: text and its own format, the pictures never rendered, HTML too late for an extra",
         {{"own-format", "<document/>", 400},
          {"image/png", "PICTURE", 2000},
          {"text/html", "<table/>", 200},
          {"text/plain;charset=utf-8", "1\t2\n", 20},
          {"UTF8_STRING", "1\t2\n", 20},
          {"STRING", "1\t2\n", 20}},
         {"text/plain;charset=utf-8", "own-format"},
         420,
         {{"text/plain;charset=utf-8", "1\t2\n"}, {"UTF8_STRING", "1\t2\n"}, {"own-format", "<document/>"}},
         "Zwischenablage nicht ganz gesichert, zu spät geliefert: text/html"},
        {"an owner that stalls on its own format: given up at the bound, the text kept",
         {{"own-format", "<document/>", 60000}, {"text/plain", "Text", 10}},
         {"text/plain"},
         clipsave::kSaveMs,
         {{"text/plain", "Text"}},
         "Zwischenablage nicht ganz gesichert, zu spät geliefert: own-format"},
        {"a secret: read with its mark, back with it, not kept afterwards",
         {{"text/plain", "geheim", 5}, {"x-kde-passwordManagerHint", "secret", 5}},
         {"x-kde-passwordManagerHint", "text/plain"},
         10,
         {{"text/plain", "geheim"}, {"x-kde-passwordManagerHint", "secret"}},
         ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Conversion conversion(c.offer);
        conversion.run();
        EXPECT_EQ(conversion.editor->text(), "195,58");
        EXPECT_EQ(conversion.desktop.savedReads(), c.reads);
        EXPECT_EQ(conversion.saveMs, c.saveMs);
        EXPECT_EQ(conversion.desktop.clipboardFormats(), c.back);
        const auto& notes = conversion.desktop.clipboardNotes();
        EXPECT_EQ(notes.empty() ? std::string() : notes.back(), std::string(c.note));
    }
}

// Read ahead of the hot key: what was read in the background stands for the save only while it is the clipboard's
// content; secret content is never read ahead; this program's own content is not read again.
TEST(SaveOnTheFakeDesktop, ReadAhead) {
    const std::string png = std::string("\x89PNG\r\n\x1a\n", 8) + std::string(1000, '\0');
    const std::vector<FakeDesktop::OfferedType> image = {{"image/png", png, 300}, {"image/jpeg", "JPEG", 300}};
    const std::vector<FakeDesktop::OfferedType> slowImage = {{"image/png", png, 800}};
    const std::vector<FakeDesktop::OfferedType> text = {{"text/plain", "neu", 5}};
    const std::vector<FakeDesktop::OfferedType> secret = {{"text/plain", "geheim", 5},
                                                          {"x-kde-passwordManagerHint", "secret", 5}};
    const std::vector<FakeDesktop::OfferedType> busyOwner = {
        {"text/plain", "Zelle", 5}, {"application/x-openoffice-embed-source-xml", "ODS", 1600}};
    const int settled = clipsave::kSettleMs;
    struct Case {
        const char* name;
        std::vector<FakeDesktop::OfferedType> first;
        int idleMs;
        std::vector<FakeDesktop::OfferedType> then; // a new content before the hot key (none when empty)
        int thenIdleMs;
        Types aheadReads;
        bool savedAhead;
        Types reads; // at the hot key
        long long saveMs;
        Formats back;
    };
    const Case cases[] = {
        {"read ahead and unchanged: nothing read at the hot key",
         image,
         settled + 300,
         {},
         0,
         {"image/png"},
         true,
         {},
         0,
         {{"image/png", png}}},
        {"the hot key during the read: the rest of it waited for",
         slowImage,
         settled + 200,
         {},
         0,
         {"image/png"},
         true,
         {},
         600,
         {{"image/png", png}}},
        {"the hot key before the content settled: read then",
         image,
         settled - 100,
         {},
         0,
         {},
         false,
         {"image/png"},
         300,
         {{"image/png", png}}},
        {"changed after the read: the new content read at the hot key, never the old one",
         image,
         2000,
         text,
         0,
         {"image/png"},
         false,
         {"text/plain"},
         5,
         {{"text/plain", "neu"}}},
        {"changed during the read: that read dropped, the new content read ahead",
         slowImage,
         settled + 200,
         text,
         2000,
         {"image/png", "text/plain"},
         true,
         {},
         0,
         {{"text/plain", "neu"}}},
        {"an owner too busy for the read-ahead: what came is not used, the hot key gives it its whole time again",
         busyOwner,
         2000,
         {},
         0,
         {"text/plain"},
         false,
         {"text/plain"},
         clipsave::kSaveMs,
         {{"text/plain", "Zelle"}}},
        {"a secret: never read ahead, read at the hot key with its mark",
         secret,
         2000,
         {},
         0,
         {},
         false,
         {"x-kde-passwordManagerHint", "text/plain"},
         10,
         {{"text/plain", "geheim"}, {"x-kde-passwordManagerHint", "secret"}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Conversion conversion(c.first);
        FakeDesktop& desktop = conversion.desktop;
        desktop.idle(c.idleMs);
        if (!c.then.empty()) {
            desktop.setClipboardOffer(c.then);
            desktop.idle(c.thenIdleMs);
        }
        if (!c.savedAhead) {
            EXPECT_EQ(desktop.snapshotsAlive(), 0) << "content kept that is not the clipboard's";
        }
        conversion.run();
        EXPECT_EQ(conversion.editor->text(), "195,58");
        EXPECT_EQ(desktop.aheadReads(), c.aheadReads);
        EXPECT_EQ(desktop.savedAhead(), c.savedAhead);
        EXPECT_EQ(desktop.savedReads(), c.reads);
        EXPECT_EQ(conversion.saveMs, c.saveMs);
        EXPECT_EQ(desktop.clipboardFormats(), c.back);
        // The restore is this program's own content: not read again, nothing kept.
        desktop.idle(2000);
        EXPECT_EQ(desktop.aheadReads(), c.aheadReads);
        EXPECT_EQ(desktop.snapshotsAlive(), 0);
    }
}
