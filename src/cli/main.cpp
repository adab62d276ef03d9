// valumat-convert: the hot key's conversion on the command line, without a desktop.
//
//   valumat-convert [--dir DIR] --binding N [--] [TEXT...]
//   valumat-convert [--dir DIR] --from NAME --to NAME [--decimals N] [--separator S]
//                   [--code-before T | --code-after T] [--] [TEXT...]
//   valumat-convert [--dir DIR] --list
//   valumat-convert [--dir DIR] --update-rates [URL|FILE] [--date YYYY-MM-DD] [--dry-run] [--add]
//
// Each TEXT (or, without TEXT, each line of standard input) is converted as the hot key would convert it and
// printed with one line feed. Without --dir the data is where the desktop program keeps it: beside the program in
// portable use, else in the user's data folder (made and filled with the shipped files on first use); --list names
// the folder it read. Exit status: 0 success, 1 a conversion reported an error (its line is empty),
// 2 usage error, unknown slot, or a data file that cannot be read. --update-rates: 0 the rates were written (or
// shown, with --dry-run), 1 nothing was written (the message says why), 2 as above.
#include "runtime/convert.h"
#include "runtime/errors.h"
#include "runtime/numbers.h"
#include "store/currencyfile.h"
#include "store/datafolder.h"
#include "store/keyfile.h"
#include "store/ratesupdate.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <iostream>
#include <optional>
#include <string>
#include <vector>

#ifdef _WIN32
#include "platform/win32/netrates/ratesload.h"
#include "platform/win32/win32folders.h"

#include <windows.h>

#include <shellapi.h>
#else
#include "platform/linux/netrates/ratesload.h"
#include "platform/linux/xdg/xdgfolders.h"
#endif

namespace {

using namespace valumat;

constexpr int kUsageError = 2;

const char* const kUsage = "Aufruf:\n"
                           "  valumat-convert [--dir VERZ] --binding N [--] [BETRAG...]\n"
                           "  valumat-convert [--dir VERZ] --from NAME --to NAME [--decimals N] [--separator S]\n"
                           "                  [--code-before T | --code-after T] [--] [BETRAG...]\n"
                           "  valumat-convert [--dir VERZ] --list\n"
                           "  valumat-convert [--dir VERZ] --update-rates [URL|DATEI] [--date JJJJ-MM-TT] [--dry-run]\n"
                           "                  [--add]\n"
                           "Ohne BETRAG wird jede Zeile der Standardeingabe umgerechnet.\n";

// A desktop without a screen: message boxes become lines on standard error and answer "Ja", so that a routine
// that fails gives up and the caller decides what to do.
class Headless final : public platform::MessageBoxes, public platform::Process {
public:
    platform::MessageAnswer messageBox(const std::string& text, const std::string&, platform::MessageIcon,
                                       platform::MessageButtons, platform::DefaultButton) override {
        // "Folgender Fehler ist im Modul X aufgetreten: D.\n\rSoll ..." -> "X: D"
        std::string line = text.substr(0, text.find('\n'));
        const std::string prefix = "Folgender Fehler ist im Modul ";
        if (line.starts_with(prefix)) {
            line = line.substr(prefix.size());
            if (const auto at = line.find(" aufgetreten: "); at != std::string::npos) {
                line = line.substr(0, at) + ": " + line.substr(at + 14);
            }
            if (line.ends_with(".")) {
                line.pop_back();
            }
        }
        lastError = line;
        ++errors;
        return platform::MessageAnswer::Yes;
    }
    std::string programPath() override { return executable; }
    char pathSeparator() override { return static_cast<char>(std::filesystem::path::preferred_separator); }
    std::string commandLine() override { return {}; }
    [[noreturn]] void endProgram(int status) override { std::exit(status); }

    std::string executable;
    std::string lastError;
    int errors = 0;
};

std::string executablePath([[maybe_unused]] const char* argv0) {
    std::filesystem::path exe;
#ifdef _WIN32
    wchar_t buffer[32768];
    const DWORD n = GetModuleFileNameW(nullptr, buffer, 32768);
    exe = std::filesystem::path(std::wstring(buffer, n));
#else
    std::error_code ec;
    exe = std::filesystem::read_symlink("/proc/self/exe", ec);
    if (ec) {
        exe = std::filesystem::absolute(argv0, ec);
    }
#endif
    const auto u8 = exe.u8string();
    return std::string(u8.begin(), u8.end());
}

#ifdef _WIN32
// The arguments as UTF-8: the C runtime hands them over in the ANSI code page, which loses other characters.
class Utf8Arguments {
public:
    Utf8Arguments() {
        int count = 0;
        wchar_t** wide = CommandLineToArgvW(GetCommandLineW(), &count);
        for (int i = 0; wide != nullptr && i < count; ++i) {
            const int size = WideCharToMultiByte(CP_UTF8, 0, wide[i], -1, nullptr, 0, nullptr, nullptr);
            std::string text(static_cast<std::size_t>(size > 0 ? size - 1 : 0), '\0');
            WideCharToMultiByte(CP_UTF8, 0, wide[i], -1, text.data(), size, nullptr, nullptr);
            texts_.push_back(std::move(text));
        }
        LocalFree(wide);
        for (std::string& text : texts_) {
            pointers_.push_back(text.data());
        }
        pointers_.push_back(nullptr);
    }
    int argc() const { return static_cast<int>(texts_.size()); }
    char** argv() { return pointers_.data(); }

private:
    std::vector<std::string> texts_;
    std::vector<char*> pointers_;
};

// Output is UTF-8; a console shows it as such while the program runs.
UINT savedConsoleCodePage = 0;
void useUtf8Console() {
    const UINT previous = GetConsoleOutputCP();
    if (previous != 0 && previous != CP_UTF8 && SetConsoleOutputCP(CP_UTF8)) {
        savedConsoleCodePage = previous;
        std::atexit([] { SetConsoleOutputCP(savedConsoleCodePage); });
    }
}
#endif

[[noreturn]] void fail(const std::string& message) {
    std::cerr << "valumat-convert: " << message << "\n";
    std::exit(kUsageError);
}

struct Arguments {
    std::optional<std::string> dir;
    std::optional<int> slot;
    std::optional<std::string> from;
    std::optional<std::string> to;
    int decimals = 2;
    std::string separator = ",";
    int codePosition = 0;
    std::string codeText;
    bool list = false;
    bool updateRates = false;
    std::string ratesAddress; // "" : the bank's daily file (or, with --date, its 90-day and history files)
    std::string date;
    bool dryRun = false;
    bool add = false;
    std::vector<std::string> texts;
};

int wholeNumber(const std::string& text, int low, int high, const char* what) {
    if (text.empty() || text.find_first_not_of("0123456789") != std::string::npos || text.size() > 6) {
        fail(std::string("ungültige Zahl für ") + what + ": \"" + text + "\"");
    }
    const int value = std::stoi(text);
    if (value < low || value > high) {
        fail(std::string(what) + " außerhalb von " + std::to_string(low) + " bis " + std::to_string(high) + ": " +
             text);
    }
    return value;
}

Arguments parse(int argc, char** argv) {
    Arguments a;
    int i = 1;
    auto value = [&](const char* option) -> std::string {
        if (i + 1 >= argc) {
            fail(std::string("Wert fehlt nach ") + option + "\n" + kUsage);
        }
        return argv[++i];
    };
    for (; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--") {
            ++i;
            break;
        }
        if (arg == "--dir") {
            a.dir = value("--dir");
        } else if (arg == "--binding") {
            a.slot = wholeNumber(value("--binding"), 0, KeyBindingTable::kSlots - 1, "--binding");
        } else if (arg == "--from") {
            a.from = value("--from");
        } else if (arg == "--to") {
            a.to = value("--to");
        } else if (arg == "--decimals") {
            a.decimals = wholeNumber(value("--decimals"), 0, 255, "--decimals");
        } else if (arg == "--separator") {
            a.separator = value("--separator");
        } else if (arg == "--code-before" || arg == "--code-after") {
            if (a.codePosition != 0) {
                fail("--code-before und --code-after schließen einander aus");
            }
            a.codePosition = arg == "--code-before" ? 1 : 2;
            a.codeText = value(arg.c_str());
        } else if (arg == "--list") {
            a.list = true;
        } else if (arg == "--update-rates") {
            a.updateRates = true;
            if (i + 1 < argc && !std::string(argv[i + 1]).starts_with("--")) {
                a.ratesAddress = argv[++i];
            }
        } else if (arg == "--date") {
            a.date = value("--date");
        } else if (arg == "--dry-run") {
            a.dryRun = true;
        } else if (arg == "--add") {
            a.add = true;
        } else if (arg == "--help" || arg == "-h") {
            std::cout << kUsage;
            std::exit(0);
        } else if (arg.starts_with("--")) {
            fail("unbekannte Option " + arg + "\n" + kUsage);
        } else {
            break;
        }
    }
    for (; i < argc; ++i) {
        a.texts.emplace_back(argv[i]);
    }
    const bool byNames = a.from || a.to;
    const int modes = (a.slot ? 1 : 0) + (byNames ? 1 : 0) + (a.list ? 1 : 0) + (a.updateRates ? 1 : 0);
    if (modes != 1) {
        fail(std::string("genau eine von --binding, --from/--to, --list oder --update-rates angeben\n") + kUsage);
    }
    if (!a.updateRates && (!a.date.empty() || a.dryRun || a.add)) {
        fail("--date, --dry-run und --add gehören zu --update-rates");
    }
    if (a.updateRates && !a.texts.empty()) {
        fail("--update-rates nimmt keine Beträge");
    }
    if (!a.date.empty() && (a.date.size() != 10 || a.date[4] != '-' || a.date[7] != '-')) {
        fail("--date erwartet JJJJ-MM-TT: " + a.date);
    }
    if (byNames && (!a.from || !a.to)) {
        fail("--from und --to gehören zusammen");
    }
    if (a.list && !a.texts.empty()) {
        fail("--list nimmt keine Beträge");
    }
    return a;
}

std::string today() {
    const auto days = std::chrono::floor<std::chrono::days>(std::chrono::system_clock::now());
    const std::chrono::year_month_day ymd{days};
    char text[16];
    std::snprintf(text, sizeof text, "%04d-%02u-%02u", static_cast<int>(ymd.year()), static_cast<unsigned>(ymd.month()),
                  static_cast<unsigned>(ymd.day()));
    return text;
}

platform::RateLoad loadRates(const std::string& address) {
    return netrates::loadRates(address, netrates::limitsFromEnvironment());
}

// --update-rates: loads the rates, shows what they change, and writes the currency file and kurse.dat.
int updateRates(AppState& state, Headless& headless, const Arguments& args) {
    std::string address = args.ratesAddress;
    if (address.empty()) {
        address = args.date.empty() ? kEcbDailyAddress : kEcb90DaysAddress;
    }
    platform::RateLoad load = loadRates(address);
    std::string message = load.error.empty() ? checkRateDays(load.days) : load.error;
    const platform::RateDay* day = nullptr;
    if (message.empty()) {
        day = pickRateDay(load.days, args.date, message);
    }
    if (day == nullptr && args.ratesAddress.empty() && address == kEcb90DaysAddress && !load.days.empty() &&
        std::all_of(load.days.begin(), load.days.end(),
                    [&](const platform::RateDay& d) { return d.date > args.date; })) {
        // Older than the last 90 days: the whole history.
        address = kEcbHistoryAddress;
        load = loadRates(address);
        message = load.error.empty() ? checkRateDays(load.days) : load.error;
        if (message.empty()) {
            day = pickRateDay(load.days, args.date, message);
        }
    }
    if (day == nullptr) {
        std::cerr << "valumat-convert: Kurse nicht aktualisiert: " << message << "\n";
        return 1;
    }
    const RatePlan plan = planRateUpdate(state.currencies, *day, args.add);
    std::cout << rateUpdateTable(plan);
    if (!plan.fixedNames.empty()) {
        std::cout << "Fester Kurs, nicht geändert:";
        for (const std::string& name : plan.fixedNames) {
            std::cout << " " << name << (&name == &plan.fixedNames.back() ? "" : ",");
        }
        std::cout << "\n";
    }
    if (!plan.keptNames.empty()) {
        std::cout << "Nicht in den Kursen, nicht geändert:";
        for (const std::string& name : plan.keptNames) {
            std::cout << " " << name << (&name == &plan.keptNames.back() ? "" : ",");
        }
        std::cout << "\n";
    }
    if (!plan.missing.empty()) {
        std::cout << "Nicht in der Währungstabelle (--add fügt sie hinzu):";
        for (const std::string& code : plan.missing) {
            std::cout << " " << code;
        }
        std::cout << "\n";
    }
    if (args.dryRun) {
        std::cout << rateUpdateSummary(plan) << " (Probelauf, nichts geschrieben)\n";
        return 0;
    }
    applyRatePlan(state.currencies, plan);
    state.CurrentCurrencyRow = -1; // the rows go out as they are
    SaveRates(state, false);
    if (headless.errors > 0) {
        fail("kann " + state.path(kCurrencyFile) + " nicht schreiben: " + headless.lastError);
    }
    RatesInfo info = readRatesInfo(*state.files, state.path(kRatesInfoFile));
    info.date = plan.date;
    info.source = address;
    info.loadedOn = today();
    try {
        writeRatesInfo(*state.files, state.path(kRatesInfoFile), info);
    } catch (const RuntimeError& e) {
        std::cerr << "valumat-convert: kann " << state.path(kRatesInfoFile) << " nicht schreiben: " << e.description()
                  << "\n";
    }
    std::cout << rateUpdateSummary(plan) << "\n";
    return 0;
}

} // namespace

int main(int argc, char** argv) {
#ifdef _WIN32
    Utf8Arguments utf8;
    argc = utf8.argc();
    argv = utf8.argv();
    useUtf8Console();
#endif
    const Arguments args = parse(argc, argv);

    Headless headless;
    platform::Platform services;
    services.messageBoxes = &headless;
    services.process = &headless;
#ifdef _WIN32
    win32::Folders folders;
#else
    xdg::XdgFolders folders(VALUMAT_RELATIVE_DATA_FOLDER);
#endif
    services.folders = &folders;
    headless.executable = executablePath(argv[0]);
    AppState state(services);
    if (args.dir) {
        std::string dir = *args.dir;
        const char sep = static_cast<char>(std::filesystem::path::preferred_separator);
        if (dir.empty() || (dir.back() != sep && dir.back() != '/')) {
            dir += sep;
        }
        state.dataDirectory = dir;
    } else {
        state.dataDirectory = prepareDataFolder(services, *state.files, headless.executable).folder;
    }

    ReadRates(state, false);
    if (headless.errors > 0) {
        fail("kann " + state.path(kCurrencyFile) + " nicht lesen: " + headless.lastError);
    }

    if (args.updateRates) {
        return updateRates(state, headless, args);
    }

    KeyBinding binding;
    if (args.slot || args.list) {
        ReadKeyList(state, false);
        if (headless.errors > 0) {
            fail("kann " + state.path(kBindingFile) + " nicht lesen: " + headless.lastError);
        }
    }
    const int bindingCount = static_cast<int>(state.keyListLines.size());

    if (args.list) {
        std::cout << "Datenordner: " << state.dataDirectory << "\n";
        std::cout << "Tastenbelegungen:\n";
        for (int i = 0; i < bindingCount; ++i) {
            std::cout << i << "\t" << state.keyListLines[static_cast<std::size_t>(i)] << "\n";
        }
        std::cout << "Währungen:\n";
        for (const std::string& name : state.selectorNames) {
            std::cout << name << "\n";
        }
        return 0;
    }

    if (args.slot) {
        if (*args.slot >= bindingCount) {
            fail("keine Tastenbelegung " + std::to_string(*args.slot) + " (" + std::to_string(bindingCount) +
                 " vorhanden)");
        }
        binding = state.bindings[*args.slot];
    } else {
        binding.sourceCurrency = *args.from;
        binding.targetCurrency = *args.to;
        binding.firstKey = "-";
        binding.resultDecimals = static_cast<std::uint8_t>(args.decimals);
        binding.decimalSeparator = args.separator;
        binding.codePosition = static_cast<std::uint8_t>(args.codePosition);
        binding.codeText = args.codeText;
    }

    int status = 0;
    std::string out;
    auto convertOne = [&](const std::string& text) {
        try {
            out += convertAmount(state.currencies, binding, text);
        } catch (const RuntimeError& e) {
            std::cerr << "valumat-convert: Calculate: " << e.description() << ": \"" << text << "\"\n";
            status = 1;
        }
        out += '\n';
        if (out.size() >= 1 << 16) {
            std::fwrite(out.data(), 1, out.size(), stdout);
            out.clear();
        }
    };

    if (!args.texts.empty()) {
        for (const std::string& text : args.texts) {
            convertOne(text);
        }
    } else {
        std::string buffer;
        std::string line;
        char chunk[1 << 16];
        std::size_t n = 0;
        while ((n = std::fread(chunk, 1, sizeof chunk, stdin)) > 0) {
            buffer.append(chunk, n);
            std::size_t start = 0;
            for (auto nl = buffer.find('\n'); nl != std::string::npos; nl = buffer.find('\n', start)) {
                line.assign(buffer, start, nl - start);
                if (!line.empty() && line.back() == '\r') {
                    line.pop_back();
                }
                convertOne(line);
                start = nl + 1;
            }
            buffer.erase(0, start);
        }
        if (!buffer.empty()) {
            if (buffer.back() == '\r') {
                buffer.pop_back();
            }
            convertOne(buffer);
        }
    }
    std::fwrite(out.data(), 1, out.size(), stdout);
    std::fflush(stdout);
    return status;
}
