// Reference rates of the European Central Bank (units per Euro, one list per working day) brought into the
// currency table, and the file beside the data files that says of which day the rates are and where they came
// from ("kurse.dat").
//
// Only floating rows change: a row whose ISO code (field 2) the day lists and whose fixed flag (field 6) is not
// "1" gets the day's rate as units per Euro and its reciprocal as Euro per unit, both written as the currencies
// tab writes them (7 decimals, decimal comma). Fixed rows and rows of codes the day lacks stay as they are;
// currencies are added only when asked for.
#pragma once

#include "platform/platform.h"
#include "runtime/tables.h"

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace valumat {

inline constexpr const char* kRatesInfoFile = "kurse.dat";
inline constexpr const char* kEcbDailyAddress = "https://www.ecb.europa.eu/stats/eurofxref/eurofxref-daily.xml";
inline constexpr const char* kEcb90DaysAddress = "https://www.ecb.europa.eu/stats/eurofxref/eurofxref-hist-90d.xml";
inline constexpr const char* kEcbHistoryAddress = "https://www.ecb.europa.eu/stats/eurofxref/eurofxref-hist.xml";

// Rates outside this range are refused as absurd (the Euro has never bought less than a thousandth or more than
// ten million units of a currency the bank lists).
inline constexpr double kLowestRate = 0.001;
inline constexpr double kHighestRate = 1e7;

// Builds the days of a rates file from its elements, as the XML reader meets them (namespace prefixes removed):
// the root must be "Envelope"; a "Cube" with "time" starts a day, a "Cube" with "currency" and "rate" adds a rate
// to the day it stands in.
class RateFileBuilder {
public:
    struct Attribute {
        std::string name;
        std::string value;
    };
    void startElement(const std::string& localName, const std::vector<Attribute>& attributes);
    void endElement();
    // The days read, or the error (German) when the file was not a rates file.
    platform::RateLoad finish();

private:
    int depth_ = 0;
    bool rootChecked_ = false;
    std::string rootName_;
    int dayDepth_ = -1; // depth of the open day's element, -1 outside a day
    platform::RateLoad result_;
};

// Checks every day of a file: a date (a real YYYY-MM-DD), at least one rate, each code three capital letters and
// once only, each rate a plain decimal number from kLowestRate to kHighestRate. "" or the first problem, in German.
std::string checkRateDays(const std::vector<platform::RateDay>& days);

// The day to use: the newest one, or the one of `date` (YYYY-MM-DD) when given. nullptr, with the reason in
// `message`, when there is none.
const platform::RateDay* pickRateDay(const std::vector<platform::RateDay>& days, const std::string& date,
                                     std::string& message);

// "2026-12-08" -> "08.12.2026" (other texts unchanged).
std::string germanDate(const std::string& isoDate);

// One row the update changes (or adds).
struct RateChange {
    std::string oldLine; // the row's record line before ("" for an added row)
    std::string newLine;
    std::string name;
    std::string code;
    std::string oldUnitsPerEuro, newUnitsPerEuro;
    std::string oldEuroPerUnit, newEuroPerUnit;
    bool added = false;
};

struct RatePlan {
    std::string date;                    // YYYY-MM-DD of the day applied
    std::vector<RateChange> changes;     // the floating rows of the day's codes, in table order, then added ones
    std::vector<std::string> keptNames;  // floating rows whose code the day lacks
    std::vector<std::string> fixedNames; // fixed rows of a code the day lists
    std::vector<std::string> missing;    // codes of the day that no row has (and that were not added)
};

// What the day does to the table. With `add`, codes no row has become new rows (German names; codes without one
// are named by their code).
RatePlan planRateUpdate(const CurrencyTable& table, const platform::RateDay& day, bool add);

// Puts the plan's rows into the table (a row is found by its old line; one that changed meanwhile is left).
// Returns the number of rows changed or added.
int applyRatePlan(CurrencyTable& table, const RatePlan& plan);

// "31 Kurse vom 08.12.2026 aktualisiert"
std::string rateUpdateSummary(const RatePlan& plan);

// The plan as a table for a terminal: name, code, old -> new units per Euro, old -> new Euro per unit.
std::string rateUpdateTable(const RatePlan& plan);

// kurse.dat: the day of the rates in the currency file, where they came from, and the option to update once a
// day at start. Windows-1252, CR LF, one "key: value" per line.
struct RatesInfo {
    std::string date;     // YYYY-MM-DD, "" when the rates were never updated
    std::string source;   // address or file the rates came from
    std::string loadedOn; // YYYY-MM-DD of the last update
    bool dailyAtStart = false;
    bool operator==(const RatesInfo&) const = default;
};
std::string composeRatesInfo(const RatesInfo& info);
RatesInfo parseRatesInfo(const std::string& bytes);
// Read from the data folder; an absent or unreadable file gives an empty RatesInfo. Never fails.
RatesInfo readRatesInfo(FileSystem& files, const std::string& path);
// Fails with RuntimeError.
void writeRatesInfo(FileSystem& files, const std::string& path, const RatesInfo& info);

// "Kurse vom 08.12.2026 (EZB)", or "" when the rates were never updated.
std::string ratesInfoLine(const RatesInfo& info);

// --- Loading a rates file: what the loaders of every system share. Each has its own transfer and XML reader
// (platform/linux/netrates, platform/win32/netrates) and says the same in German for the same failure. ---

inline constexpr long kRatesTimeoutSeconds = 30;         // the whole transfer, connecting included
inline constexpr std::size_t kMaxRatesBytes = 16u << 20; // the history file is about 7 MiB

// What an address names: an https:// address, a local file (a path or a file:// address, `path` without the
// scheme), or something not loaded (another scheme).
struct RatesAddress {
    enum class Kind { Https, File, Refused };
    Kind kind = Kind::Refused;
    std::string path;
};
RatesAddress classifyRatesAddress(const std::string& address);

// The host of an address ("https://127.0.0.1:8443/x" -> "127.0.0.1"), for messages.
std::string hostOfAddress(const std::string& address);

// Whether a text looks like an HTML page (an error page of a server or a proxy) rather than XML.
bool looksLikeHtml(std::string_view text);

// The messages of a load that failed (German).
namespace loadmessage {
std::string offline(const std::string& host, const std::string& detail);
std::string timedOut(const std::string& host, long seconds);
std::string untrusted(const std::string& host, const std::string& detail);
std::string httpsOnly(const std::string& address);
std::string cancelled();
std::string failed(const std::string& host, const std::string& detail);
std::string httpStatus(const std::string& host, long status);
std::string answerTooLarge(const std::string& host, std::size_t maxBytes);
std::string fileTooLarge(const std::string& path, std::size_t maxBytes);
std::string fileNotFound(const std::string& path);
std::string fileUnreadable(const std::string& path);
std::string htmlPage();
std::string doctype();
std::string xmlError(long line, const std::string& detail);
} // namespace loadmessage

// A rates address loaded: an https:// one through `download`, a local file (at most maxBytes; its path in UTF-8)
// read whole and handed to `parse`, anything else refused with the message. Never throws.
platform::RateLoad loadRatesAddress(const std::string& address, std::size_t maxBytes,
                                    const std::function<platform::RateLoad(const std::string&)>& download,
                                    platform::RateLoad (*parse)(std::string_view xml));

} // namespace valumat
