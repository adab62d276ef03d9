#include "store/ratesupdate.h"

#include "runtime/convert.h"
#include "runtime/errors.h"
#include "runtime/files.h"
#include "runtime/numbers.h"
#include "runtime/text.h"
#include "store/currencyfile.h"

#include <algorithm>
#include <filesystem>
#include <set>

namespace valumat {

namespace {

// German names, countries and usual decimals of the currencies the bank lists (and has listed).
struct KnownCurrency {
    const char* code;
    const char* name;
    const char* country;
    int decimals;
};
constexpr KnownCurrency kKnown[] = {
    {"AUD", "Australischer Dollar", "Australien", 2},
    {"BGN", "Bulgarischer Lew", "Bulgarien", 2},
    {"BRL", "Brasilianischer Real", "Brasilien", 2},
    {"CAD", "Kanadischer Dollar", "Kanada", 2},
    {"CHF", "Schweizer Franken", "Schweiz", 2},
    {"CNY", "Chinesischer Renminbi Yuan", "China", 2},
    {"CYP", "Zypern-Pfund", "Zypern", 2},
    {"CZK", "Tschechische Krone", "Tschechien", 2},
    {"DKK", "Dänische Krone", "Dänemark", 2},
    {"EEK", "Estnische Krone", "Estland", 2},
    {"GBP", "Pfund Sterling", "Vereinigtes Königreich", 2},
    {"HKD", "Hongkong-Dollar", "Hongkong", 2},
    {"HRK", "Kroatische Kuna", "Kroatien", 2},
    {"HUF", "Ungarischer Forint", "Ungarn", 2},
    {"IDR", "Indonesische Rupiah", "Indonesien", 2},
    {"ILS", "Israelischer Schekel", "Israel", 2},
    {"INR", "Indische Rupie", "Indien", 2},
    {"ISK", "Isländische Krone", "Island", 0},
    {"JPY", "Yen", "Japan", 0},
    {"KRW", "Südkoreanischer Won", "Südkorea", 0},
    {"LTL", "Litauischer Litas", "Litauen", 2},
    {"LVL", "Lettischer Lats", "Lettland", 2},
    {"MTL", "Maltesische Lira", "Malta", 2},
    {"MXN", "Mexikanischer Peso", "Mexiko", 2},
    {"MYR", "Malaysischer Ringgit", "Malaysia", 2},
    {"NOK", "Norwegische Krone", "Norwegen", 2},
    {"NZD", "Neuseeland-Dollar", "Neuseeland", 2},
    {"PHP", "Philippinischer Peso", "Philippinen", 2},
    {"PLN", "Polnischer Zloty", "Polen", 2},
    {"RON", "Rumänischer Leu", "Rumänien", 2},
    {"ROL", "Rumänischer Leu (alt)", "Rumänien", 0},
    {"RUB", "Russischer Rubel", "Russland", 2},
    {"SEK", "Schwedische Krone", "Schweden", 2},
    {"SGD", "Singapur-Dollar", "Singapur", 2},
    {"SIT", "Slowenischer Tolar", "Slowenien", 2},
    {"SKK", "Slowakische Krone", "Slowakei", 2},
    {"THB", "Thailändischer Baht", "Thailand", 2},
    {"TRL", "Türkische Lira (alt)", "Türkei", 0},
    {"TRY", "Türkische Lira", "Türkei", 2},
    {"USD", "US-Dollar", "Vereinigte Staaten", 2},
    {"ZAR", "Südafrikanischer Rand", "Südafrika", 2},
};

const KnownCurrency* known(const std::string& code) {
    for (const KnownCurrency& c : kKnown) {
        if (code == c.code) {
            return &c;
        }
    }
    return nullptr;
}

bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

bool realDate(const std::string& d) {
    if (d.size() != 10 || d[4] != '-' || d[7] != '-') {
        return false;
    }
    for (int i : {0, 1, 2, 3, 5, 6, 8, 9}) {
        if (!isDigit(d[static_cast<std::size_t>(i)])) {
            return false;
        }
    }
    const int year = std::stoi(d.substr(0, 4));
    const int month = std::stoi(d.substr(5, 2));
    const int day = std::stoi(d.substr(8, 2));
    if (year < 1999 || month < 1 || month > 12 || day < 1) {
        return false;
    }
    static constexpr int kDays[] = {31, 29, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    return day <= (month == 2 && !leap ? 28 : kDays[month - 1]);
}

// A plain decimal number: digits, at most one "." with digits after it.
bool plainDecimal(const std::string& t) {
    const auto point = t.find('.');
    const std::string whole = t.substr(0, point);
    const std::string fraction = point == std::string::npos ? "" : t.substr(point + 1);
    auto digits = [](const std::string& s) { return std::all_of(s.begin(), s.end(), isDigit); };
    return !whole.empty() && digits(whole) && (point == std::string::npos || (!fraction.empty() && digits(fraction)));
}

std::string shown(const std::string& text) {
    return "\"" + text + "\"";
}

// The two rate texts of a rate as the currencies tab writes them: units per Euro, and its reciprocal computed in
// 32-bit floating point.
std::pair<std::string, std::string> rateTexts(const std::string& rate) {
    const float x = toSingle(readNumber(rate));
    return {RateToText(x), RateToText(1.0f / x)};
}

} // namespace

void RateFileBuilder::startElement(const std::string& localName, const std::vector<Attribute>& attributes) {
    ++depth_;
    if (!rootChecked_) {
        rootChecked_ = true;
        rootName_ = localName;
    }
    if (localName != "Cube" || rootName_ != "Envelope") {
        return;
    }
    auto attribute = [&](const char* name) -> const std::string* {
        for (const Attribute& a : attributes) {
            if (a.name == name) {
                return &a.value;
            }
        }
        return nullptr;
    };
    const std::string* time = attribute("time");
    const std::string* currency = attribute("currency");
    const std::string* rate = attribute("rate");
    if (time != nullptr) {
        result_.days.push_back({*time, {}});
        dayDepth_ = depth_;
    }
    if (currency != nullptr || rate != nullptr) {
        if (dayDepth_ < 0) {
            // A rate outside any dated day: kept in a day without a date, which the check refuses.
            if (result_.days.empty() || !result_.days.back().date.empty()) {
                result_.days.push_back({});
            }
        }
        result_.days.back().rates.push_back({currency ? *currency : "", rate ? *rate : ""});
    }
}

void RateFileBuilder::endElement() {
    if (depth_ == dayDepth_) {
        dayDepth_ = -1;
    }
    --depth_;
}

platform::RateLoad RateFileBuilder::finish() {
    if (!rootChecked_) {
        return {{}, "Die Antwort ist leer, keine Kursdatei der EZB"};
    }
    if (upperAscii(rootName_) == "HTML") {
        return {{}, loadmessage::htmlPage()};
    }
    if (rootName_ != "Envelope") {
        return {{}, "Keine Kursdatei der EZB (Wurzelelement <" + rootName_ + ">)"};
    }
    if (result_.days.empty()) {
        return {{}, "Die Kursdatei enthält keine Kurse"};
    }
    return result_;
}

std::string checkRateDays(const std::vector<platform::RateDay>& days) {
    if (days.empty()) {
        return "Die Kursdatei enthält keine Kurse";
    }
    std::set<std::string> dates;
    for (const platform::RateDay& day : days) {
        if (day.date.empty()) {
            return "Das Datum der Kurse fehlt";
        }
        if (!realDate(day.date)) {
            return "Ungültiges Datum der Kurse: " + shown(day.date);
        }
        if (!dates.insert(day.date).second) {
            return "Der " + germanDate(day.date) + " steht zweimal in der Kursdatei";
        }
        if (day.rates.empty()) {
            return "Keine Kurse für den " + germanDate(day.date);
        }
        std::set<std::string> codes;
        for (const platform::ReferenceRate& r : day.rates) {
            const bool codeOk = r.code.size() == 3 &&
                                std::all_of(r.code.begin(), r.code.end(), [](char c) { return c >= 'A' && c <= 'Z'; });
            if (!codeOk) {
                return "Ungültiger Währungscode " + shown(r.code) + " am " + germanDate(day.date);
            }
            if (!codes.insert(r.code).second) {
                return r.code + " steht zweimal in den Kursen vom " + germanDate(day.date);
            }
            bool rateOk = plainDecimal(r.rate);
            if (rateOk) {
                const double value = readNumber(r.rate);
                rateOk = value >= kLowestRate && value <= kHighestRate;
            }
            if (!rateOk) {
                return "Ungültiger Kurs für " + r.code + " am " + germanDate(day.date) + ": " + shown(r.rate);
            }
        }
    }
    return {};
}

const platform::RateDay* pickRateDay(const std::vector<platform::RateDay>& days, const std::string& date,
                                     std::string& message) {
    const platform::RateDay* best = nullptr;
    const platform::RateDay* before = nullptr; // the latest day before the date asked for
    for (const platform::RateDay& day : days) {
        if (date.empty()) {
            if (best == nullptr || day.date > best->date) {
                best = &day;
            }
        } else if (day.date == date) {
            best = &day;
        } else if (day.date < date && (before == nullptr || day.date > before->date)) {
            before = &day;
        }
    }
    if (best == nullptr) {
        message = days.empty() ? "Die Kursdatei enthält keine Kurse"
                               : "Keine Kurse vom " + germanDate(date) + " in der Kursdatei";
        if (before != nullptr) {
            message += " (die letzten davor: " + germanDate(before->date) + ")";
        }
    }
    return best;
}

std::string germanDate(const std::string& isoDate) {
    if (isoDate.size() != 10 || isoDate[4] != '-' || isoDate[7] != '-') {
        return isoDate;
    }
    return isoDate.substr(8, 2) + "." + isoDate.substr(5, 2) + "." + isoDate.substr(0, 4);
}

RatePlan planRateUpdate(const CurrencyTable& table, const platform::RateDay& day, bool add) {
    RatePlan plan;
    plan.date = day.date;
    auto rateOf = [&](const std::string& code) -> const platform::ReferenceRate* {
        for (const platform::ReferenceRate& r : day.rates) {
            if (r.code == code) {
                return &r;
            }
        }
        return nullptr;
    };
    std::set<std::string> present;
    std::set<std::string> names;
    for (int i = 0; i < table.count(); ++i) {
        const std::string& line = table.line(i);
        CurrencyFields fields = splitCurrencyLine(line, {});
        const std::string code = upperAscii(fields.code);
        present.insert(code);
        names.insert(fields.name);
        const platform::ReferenceRate* rate = rateOf(code);
        if (fields.fixed == 1) {
            if (rate != nullptr) {
                plan.fixedNames.push_back(fields.name);
            }
            continue;
        }
        if (rate == nullptr) {
            plan.keptNames.push_back(fields.name);
            continue;
        }
        RateChange change;
        change.oldLine = line;
        change.name = fields.name;
        change.code = code;
        change.oldUnitsPerEuro = fields.unitsPerEuro;
        change.oldEuroPerUnit = fields.euroPerUnit;
        auto [units, euro] = rateTexts(rate->rate);
        change.newUnitsPerEuro = units;
        change.newEuroPerUnit = euro;
        fields.unitsPerEuro = change.newUnitsPerEuro;
        fields.euroPerUnit = change.newEuroPerUnit;
        change.newLine = composeCurrencyLine(fields);
        plan.changes.push_back(std::move(change));
    }
    for (const platform::ReferenceRate& r : day.rates) {
        if (present.contains(r.code)) {
            continue;
        }
        const KnownCurrency* k = known(r.code);
        CurrencyFields fields;
        fields.name = k != nullptr ? k->name : r.code;
        if (!add || names.contains(fields.name)) {
            plan.missing.push_back(r.code);
            continue;
        }
        fields.code = r.code;
        fields.country = k != nullptr ? k->country : "";
        auto [units, euro] = rateTexts(r.rate);
        fields.unitsPerEuro = units;
        fields.euroPerUnit = euro;
        fields.fixed = 0;
        fields.decimals = std::to_string(k != nullptr ? k->decimals : 2);
        RateChange change;
        change.name = fields.name;
        change.code = r.code;
        change.newUnitsPerEuro = fields.unitsPerEuro;
        change.newEuroPerUnit = fields.euroPerUnit;
        change.newLine = composeCurrencyLine(fields);
        change.added = true;
        names.insert(fields.name);
        plan.changes.push_back(std::move(change));
    }
    return plan;
}

int applyRatePlan(CurrencyTable& table, const RatePlan& plan) {
    int applied = 0;
    for (const RateChange& change : plan.changes) {
        if (change.added) {
            if (table.count() < CurrencyTable::kMaxRows) {
                table.insert(change.newLine);
                ++applied;
            }
            continue;
        }
        const int row = table.find(change.oldLine);
        if (row >= 0) {
            table.replace(row, change.newLine);
            ++applied;
        }
    }
    return applied;
}

std::string rateUpdateSummary(const RatePlan& plan) {
    const auto n = plan.changes.size();
    return std::to_string(n) + (n == 1 ? " Kurs" : " Kurse") + " vom " + germanDate(plan.date) + " aktualisiert";
}

std::string rateUpdateTable(const RatePlan& plan) {
    std::size_t nameWidth = 7; // "Währung"
    for (const RateChange& c : plan.changes) {
        nameWidth = std::max(nameWidth, utf8Length(c.name));
    }
    auto pad = [](const std::string& text, std::size_t width) {
        const std::size_t n = utf8Length(text);
        return text + std::string(width > n ? width - n : 0, ' ');
    };
    auto arrow = [&](const std::string& from, const std::string& to, bool added) {
        if (added) {
            return pad("neu", 12) + " -> " + pad(to, 12);
        }
        return pad(from, 12) + (from == to ? " =  " : " -> ") + pad(to, 12);
    };
    std::string out =
        pad("Währung", nameWidth) + "  Code  " + pad("1 Euro = (alt -> neu)", 28) + "  1 Einheit = Euro (alt -> neu)\n";
    for (const RateChange& c : plan.changes) {
        std::string line = pad(c.name, nameWidth) + "  " + pad(c.code, 4) + "  " +
                           arrow(c.oldUnitsPerEuro, c.newUnitsPerEuro, c.added) + "  " +
                           arrow(c.oldEuroPerUnit, c.newEuroPerUnit, c.added);
        while (!line.empty() && line.back() == ' ') {
            line.pop_back();
        }
        out += line + "\n";
    }
    return out;
}

std::string composeRatesInfo(const RatesInfo& info) {
    return "datum: " + info.date + "\r\nquelle: " + info.source + "\r\ngeladen: " + info.loadedOn +
           "\r\ntaeglich: " + (info.dailyAtStart ? "1" : "0") + "\r\n";
}

RatesInfo parseRatesInfo(const std::string& bytes) {
    RatesInfo info;
    for (const std::string& raw : splitLines(bytes)) {
        const std::string line = cp1252ToUtf8(raw);
        const auto colon = line.find(':');
        if (colon == std::string::npos) {
            continue;
        }
        const std::string key = trimSpaces(line.substr(0, colon));
        const std::string value = trimSpaces(line.substr(colon + 1));
        if (key == "datum") {
            info.date = value;
        } else if (key == "quelle") {
            info.source = value;
        } else if (key == "geladen") {
            info.loadedOn = value;
        } else if (key == "taeglich") {
            info.dailyAtStart = value == "1";
        }
    }
    return info;
}

RatesInfo readRatesInfo(FileSystem& files, const std::string& path) {
    try {
        return parseRatesInfo(files.readAll(path));
    } catch (const RuntimeError&) {
        return {};
    }
}

void writeRatesInfo(FileSystem& files, const std::string& path, const RatesInfo& info) {
    auto file = files.create(path);
    file->write(utf8ToCp1252(composeRatesInfo(info)));
    file->commit();
}

std::string ratesInfoLine(const RatesInfo& info) {
    if (info.date.empty()) {
        return {};
    }
    std::string source = info.source;
    if (source.empty() || source.find("ecb.europa.eu") != std::string::npos) {
        source = "EZB";
    } else if (const auto slash = source.find_last_of("/\\"); slash != std::string::npos) {
        source = source.substr(slash + 1);
    }
    return "Kurse vom " + germanDate(info.date) + " (" + source + ")";
}

RatesAddress classifyRatesAddress(const std::string& address) {
    const std::string scheme = upperAscii(address.substr(0, 8));
    if (scheme.starts_with("HTTPS://")) {
        return {RatesAddress::Kind::Https, {}};
    }
    if (scheme.starts_with("FILE://")) {
        return {RatesAddress::Kind::File, address.substr(7)};
    }
    if (address.find("://") != std::string::npos) {
        return {RatesAddress::Kind::Refused, {}};
    }
    return {RatesAddress::Kind::File, address};
}

std::string hostOfAddress(const std::string& address) {
    const auto start = address.find("://");
    const std::string rest = start == std::string::npos ? address : address.substr(start + 3);
    return rest.substr(0, rest.find_first_of("/:?#"));
}

bool looksLikeHtml(std::string_view text) {
    const auto start = text.find_first_not_of(" \t\r\n\xEF\xBB\xBF");
    if (start == std::string_view::npos) {
        return false;
    }
    const std::string head = upperAscii(std::string(text.substr(start, 256)));
    return head.starts_with("<!DOCTYPE HTML") || head.find("<HTML") != std::string::npos;
}

namespace loadmessage {

namespace {
constexpr const char* kNotRates = "keine Kursdatei der EZB";
std::string mib(std::size_t bytes) {
    return std::to_string(bytes >> 20) + " MiB";
}
} // namespace

std::string offline(const std::string& host, const std::string& detail) {
    return "Keine Verbindung zu " + host + " (offline?): " + detail;
}
std::string timedOut(const std::string& host, long seconds) {
    return host + " hat nicht innerhalb von " + std::to_string(seconds) + " s geantwortet (Zeitüberschreitung)";
}
std::string untrusted(const std::string& host, const std::string& detail) {
    return "Das Zertifikat von " + host + " ist nicht vertrauenswürdig: " + detail;
}
std::string httpsOnly(const std::string& address) {
    return "Nur https://-Adressen werden geladen: " + address;
}
std::string cancelled() {
    return "Laden abgebrochen";
}
std::string failed(const std::string& host, const std::string& detail) {
    return "Fehler beim Laden von " + host + ": " + detail;
}
std::string httpStatus(const std::string& host, long status) {
    return "Der Server " + host + " antwortet mit HTTP " + std::to_string(status) + ", " + kNotRates;
}
std::string answerTooLarge(const std::string& host, std::size_t maxBytes) {
    return "Die Antwort von " + host + " ist größer als " + mib(maxBytes) + ", " + kNotRates;
}
std::string fileTooLarge(const std::string& path, std::size_t maxBytes) {
    return "Die Datei " + path + " ist größer als " + mib(maxBytes) + ", " + kNotRates;
}
std::string fileNotFound(const std::string& path) {
    return "Datei nicht gefunden: " + path;
}
std::string fileUnreadable(const std::string& path) {
    return "Fehler beim Lesen von " + path;
}
std::string htmlPage() {
    return std::string("Die Antwort ist eine HTML-Seite, ") + kNotRates;
}
std::string doctype() {
    return std::string("Die Antwort hat eine Dokumenttyp-Deklaration, ") + kNotRates;
}
std::string xmlError(long line, const std::string& detail) {
    return "Die Kursdatei ist fehlerhaft oder unvollständig (XML-Fehler in Zeile " + std::to_string(line) + ": " +
           detail + ")";
}

} // namespace loadmessage

namespace {

platform::RateLoad readRatesFile(const std::string& path, std::size_t maxBytes,
                                 platform::RateLoad (*parse)(std::string_view xml)) {
    // From UTF-8, so that Windows finds the file by its UTF-16 name.
    const std::filesystem::path name(std::u8string(path.begin(), path.end()));
    std::error_code ec;
    const auto size = std::filesystem::file_size(name, ec);
    if (ec) {
        return {{}, loadmessage::fileNotFound(path)};
    }
    if (size > maxBytes) {
        return {{}, loadmessage::fileTooLarge(path, maxBytes)};
    }
    std::string bytes;
    try {
        bytes = diskFileSystem().readAll(path);
    } catch (const RuntimeError&) {
        return {{}, loadmessage::fileUnreadable(path)};
    }
    if (bytes.size() > maxBytes) { // grew meanwhile
        return {{}, loadmessage::fileTooLarge(path, maxBytes)};
    }
    return parse(bytes);
}

} // namespace

platform::RateLoad loadRatesAddress(const std::string& address, std::size_t maxBytes,
                                    const std::function<platform::RateLoad(const std::string&)>& download,
                                    platform::RateLoad (*parse)(std::string_view xml)) {
    const RatesAddress where = classifyRatesAddress(address);
    switch (where.kind) {
    case RatesAddress::Kind::Https:
        return download(address);
    case RatesAddress::Kind::File:
        return readRatesFile(where.path, maxBytes, parse);
    case RatesAddress::Kind::Refused:
        break;
    }
    return {{}, loadmessage::httpsOnly(address)};
}

} // namespace valumat
