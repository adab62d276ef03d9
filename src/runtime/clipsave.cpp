#include "runtime/clipsave.h"

#include <algorithm>
#include <array>
#include <string_view>

namespace valumat::clipsave {

namespace {

// What a type is, by name. LibreOffice's types carry parameters (";windows_formatname=..."): those are compared
// without them; text types with them (the charset is the point).
enum class Kind { Meta, Internal, Marker, Text, Rendering, RichText, Raster, Vector, Native };

// Not data: the selection protocol's own targets.
constexpr std::array<std::string_view, 7> kMeta = {"TARGETS", "MULTIPLE",         "TIMESTAMP",      "SAVE_TARGETS",
                                                   "DELETE",  "INSERT_SELECTION", "INSERT_PROPERTY"};
// Handles of the owner to its own process (LibreOffice's id of its in-process clipboard, OLE's data object): they
// mean nothing once another program owns the clipboard.
constexpr std::array<std::string_view, 3> kInternalPrefixes = {"application/x-libreoffice-internal-id-", "DataObject",
                                                               "Ole Private Data"};
constexpr std::array<std::string_view, 5> kMarkers = {
    "x-kde-passwordManagerHint", "ExcludeClipboardContentFromMonitorProcessing", "CanIncludeInClipboardHistory",
    "CanUploadToCloudClipboard", "Clipboard Viewer Ignore"};
constexpr std::array<std::string_view, 2> kSecretMarkers = {"x-kde-passwordManagerHint",
                                                            "ExcludeClipboardContentFromMonitorProcessing"};
// Plain text, the preferred first. The first four are UTF-8 under other names: one read serves them all. The others
// are other encodings of the same text, which the restore derives from it (Qt offers STRING and TEXT with any text;
// Windows synthesises CF_TEXT, CF_OEMTEXT and CF_LOCALE from CF_UNICODETEXT) — read only when no UTF-8 is offered.
constexpr std::array<std::string_view, 4> kUtf8Text = {"text/plain;charset=utf-8", "UTF8_STRING",
                                                       "text/plain;charset=UTF-8", "text/plain"};
constexpr std::array<std::string_view, 9> kOtherText = {
    "CF_UNICODETEXT", "text/plain;charset=utf-16",    "STRING", "TEXT", "COMPOUND_TEXT", "CF_TEXT", "CF_OEMTEXT",
    "CF_LOCALE",      "text/plain;charset=ISO-8859-1"};
// Other renderings of a table that the owner's own format carries too (LibreOffice's SYLK, DIF, tab-separated text;
// a Windows spreadsheet's older formats beside its newest).
constexpr std::array<std::string_view, 10> kRenderings = {"application/x-openoffice-sylk",
                                                          "application/x-openoffice-dif",
                                                          "application/x-libreoffice-tsvc",
                                                          "Sylk",
                                                          "SYLK",
                                                          "DIF",
                                                          "Biff8",
                                                          "Biff5",
                                                          "Wk1",
                                                          "Csv"};
// Formatted text; the names in a row are the same bytes.
constexpr std::array<std::array<std::string_view, 3>, 3> kRichText = {{
    {"text/html", "", ""},
    {"text/rtf", "text/richtext", "application/rtf"},
    {"HTML Format", "", ""},
}};
constexpr std::array<std::string_view, 2> kRichTextWindows = {"Rich Text Format", "Rich Text Format Without Objects"};
// Images, the one kept when several are offered first: lossless, and what the other types are derived from.
constexpr std::array<std::string_view, 4> kRasterPreferred = {"image/png", "PNG", "CF_DIB", "CF_DIBV5"};
constexpr std::array<std::string_view, 27> kRaster = {"image/bmp",
                                                      "image/x-bmp",
                                                      "image/x-MS-bmp",
                                                      "image/jpeg",
                                                      "image/jpg",
                                                      "image/pjpeg",
                                                      "image/gif",
                                                      "image/tiff",
                                                      "image/webp",
                                                      "image/avif",
                                                      "image/x-icon",
                                                      "image/x-ico",
                                                      "image/x-win-bitmap",
                                                      "image/vnd.microsoft.icon",
                                                      "application/ico",
                                                      "image/ico",
                                                      "image/icon",
                                                      "text/ico",
                                                      "image/ppm",
                                                      "image/pbm",
                                                      "image/x-xbitmap",
                                                      "image/x-xpixmap",
                                                      "application/x-openoffice-bitmap",
                                                      "CF_BITMAP",
                                                      "CF_TIFF",
                                                      "JFIF",
                                                      "GIF"};
constexpr std::array<std::string_view, 9> kVector = {"CF_ENHMETAFILE",
                                                     "CF_METAFILEPICT",
                                                     "application/x-openoffice-gdimetafile",
                                                     "application/x-openoffice-emf",
                                                     "application/x-openoffice-wmf",
                                                     "image/x-emf",
                                                     "image/x-wmf",
                                                     "image/emf",
                                                     "image/wmf"};

std::string_view withoutParameters(std::string_view type) {
    return type.starts_with("application/x-openoffice-") ? type.substr(0, type.find(';')) : type;
}

template <typename List> bool among(const List& list, std::string_view name) {
    return std::find(list.begin(), list.end(), name) != list.end();
}

Kind kindOf(std::string_view type) {
    const std::string_view base = withoutParameters(type);
    if (among(kMeta, base)) {
        return Kind::Meta;
    }
    if (std::any_of(kInternalPrefixes.begin(), kInternalPrefixes.end(),
                    [base](std::string_view prefix) { return base.starts_with(prefix); })) {
        return Kind::Internal;
    }
    if (among(kMarkers, base)) {
        return Kind::Marker;
    }
    if (among(kUtf8Text, base) || among(kOtherText, base)) {
        return Kind::Text;
    }
    if (among(kRenderings, base)) {
        return Kind::Rendering;
    }
    if (among(kRichTextWindows, base) ||
        std::any_of(kRichText.begin(), kRichText.end(), [base](const auto& row) { return among(row, base); })) {
        return Kind::RichText;
    }
    if (among(kRasterPreferred, base) || among(kRaster, base)) {
        return Kind::Raster;
    }
    if (among(kVector, base)) {
        return Kind::Vector;
    }
    return Kind::Native;
}

// The offered type that comes first in `preferred`, else "".
template <typename List> std::string firstOf(const List& preferred, const std::vector<std::string>& offered) {
    for (std::string_view wanted : preferred) {
        for (const std::string& type : offered) {
            if (withoutParameters(type) == wanted) {
                return type;
            }
        }
    }
    return {};
}

} // namespace

Plan plan(const std::vector<std::string>& offered) {
    Plan result;
    std::vector<std::string> markers, natives, texts, rich, rasters, vectors;
    bool renderings = false;
    for (const std::string& type : offered) {
        switch (kindOf(type)) {
        case Kind::Meta:
            break;
        case Kind::Internal:
            result.left.push_back(type);
            break;
        case Kind::Marker:
            markers.push_back(type);
            result.secret = result.secret || among(kSecretMarkers, std::string_view(type));
            break;
        case Kind::Text:
            texts.push_back(type);
            break;
        case Kind::Rendering:
            renderings = true;
            result.left.push_back(type);
            break;
        case Kind::RichText:
            rich.push_back(type);
            break;
        case Kind::Raster:
            rasters.push_back(type);
            break;
        case Kind::Vector:
            vectors.push_back(type);
            break;
        case Kind::Native:
            natives.push_back(type);
            break;
        }
    }
    // Renderings of a table stand for the owner's own format only beside it: without one, the first is kept.
    if (renderings && natives.empty()) {
        const auto first = std::find_if(result.left.begin(), result.left.end(),
                                        [](const std::string& t) { return kindOf(t) == Kind::Rendering; });
        natives.push_back(*first);
        result.left.erase(first);
    }

    // Marks first (tiny). Then the text: what every target takes, and quick to render (one encoding of what the
    // owner holds); read before the owner's own formats, an owner that stalls on those costs the user its format,
    // never the text. One UTF-8 read serves all its names; other encodings are read only without UTF-8.
    for (const std::string& type : markers) {
        result.fetches.push_back({type, {}, Part::Marker, true});
    }
    std::string text = firstOf(kUtf8Text, texts);
    const bool utf8 = !text.empty();
    if (!utf8) {
        text = firstOf(kOtherText, texts);
    }
    if (!text.empty()) {
        Fetch fetch{text, {}, Part::Text, true};
        for (const std::string& type : texts) {
            if (type == text) {
                continue;
            }
            (utf8 && among(kUtf8Text, std::string_view(type)) ? fetch.aliases : result.left).push_back(type);
        }
        result.fetches.push_back(std::move(fetch));
    }
    // The owner's own formats in the owner's order (its best first).
    for (const std::string& type : natives) {
        result.fetches.push_back({type, {}, Part::Native, true});
    }
    // Pictures beside a text are pictures of that text (a bitmap and metafiles of a spreadsheet range): the text and
    // the owner's format hold it.
    // Otherwise the content is an image: one raster image is kept, the others derived from it, and one vector
    // picture beside it (it scales where the raster does not).
    std::string raster, vector;
    if (texts.empty()) {
        raster = firstOf(kRasterPreferred, rasters);
        if (raster.empty() && !rasters.empty()) {
            raster = rasters.front();
        }
        vector = firstOf(kVector, vectors);
    }
    for (const auto* pictures : {&rasters, &vectors}) {
        for (const std::string& type : *pictures) {
            if (type != raster && type != vector) {
                result.left.push_back(type);
            }
        }
    }
    for (const std::string* picture : {&raster, &vector}) {
        if (!picture->empty()) {
            result.fetches.push_back({*picture, {}, Part::Picture, true});
        }
    }
    // Formatted text is the content where the owner has no format of its own (a browser's HTML, whose companion
    // types are text too); beside one, an extra. One read per group of names for the same bytes.
    const bool richEssential =
        std::all_of(natives.begin(), natives.end(), [](const std::string& type) { return type.starts_with("text/"); });
    std::vector<std::string> richLeft = rich;
    while (!richLeft.empty()) {
        Fetch fetch{richLeft.front(), {}, Part::RichText, richEssential};
        richLeft.erase(richLeft.begin());
        for (const auto& row : kRichText) {
            if (among(row, std::string_view(fetch.type))) {
                std::erase_if(richLeft, [&row, &fetch](const std::string& t) {
                    const bool same = among(row, std::string_view(t));
                    if (same) {
                        fetch.aliases.push_back(t);
                    }
                    return same;
                });
            }
        }
        result.fetches.push_back(std::move(fetch));
    }
    return result;
}

std::int64_t timeLeft(const Fetch& fetch, std::int64_t elapsedMs) {
    return (fetch.essential ? kSaveMs : kExtrasMs) - elapsedMs;
}

std::string lateNote(const std::vector<std::string>& types) {
    if (types.empty()) {
        return {};
    }
    std::string note = "Zwischenablage nicht ganz gesichert, zu spät geliefert:";
    for (const std::string& type : types) {
        note += " " + type;
    }
    return note;
}

Read readPlanned(const std::vector<std::string>& offered, const std::function<std::int64_t()>& elapsedMs,
                 const std::function<bool(const std::string& type, int maxMilliseconds, std::string& bytes)>& read) {
    Read result;
    for (const Fetch& fetch : plan(offered).fetches) {
        std::string bytes;
        const std::int64_t left = timeLeft(fetch, elapsedMs());
        if (left <= 0 || !read(fetch.type, static_cast<int>(left), bytes)) {
            result.late.push_back(fetch.type);
            continue;
        }
        for (const std::string& alias : fetch.aliases) {
            result.formats.emplace_back(alias, bytes);
        }
        result.formats.emplace_back(fetch.type, std::move(bytes));
    }
    return result;
}

} // namespace valumat::clipsave
