// The currency file: arbitrary bytes as waehrungen.dat.
#include "fuzzsupport.h"
#include "runtime/text.h"
#include "store/currencyfile.h"

#include <algorithm>

using namespace valumat;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fuzz::Session s;
    const std::string bytes = fuzz::bytesOf(data, size);
    s.files.put(s.state.path(kCurrencyFile), bytes);
    ReadRates(s.state, false);
    s.checkReportsName("ReadRates");

    // A report exactly when one of the lines looked at is neither blank nor cut by a ";".
    const std::vector<std::string> lines = splitLines(bytes);
    bool badLine = false;
    for (std::size_t i = 0; i < lines.size() && i < CurrencyTable::kMaxRows && !badLine; ++i) {
        badLine = !trimSpaces(lines[i]).empty() && lines[i].find(';') == std::string::npos;
    }
    FUZZ_CHECK(s.errorReports().empty() != badLine);

    const CurrencyTable& table = s.state.currencies;
    const int n = table.count();
    FUZZ_CHECK(n <= CurrencyTable::kMaxRows);
    FUZZ_CHECK(static_cast<std::size_t>(n) <= lines.size());
    FUZZ_CHECK(s.state.selectorNames.size() == static_cast<std::size_t>(n));

    std::vector<std::string> names;
    for (int i = 0; i < n; ++i) {
        const std::string& line = table.line(i);
        FUZZ_CHECK(!line.empty() && line == trimSpaces(line));
        FUZZ_CHECK(line.find(';') != std::string::npos);
        FUZZ_CHECK(bytes.find(utf8ToCp1252(line)) != std::string::npos);
        names.push_back(trimSpaces(table.name(i)));
        if (i > 0) {
            // Case-insensitive order of the names, ties by the whole line.
            const int byName = compareNoCase(table.name(i - 1), table.name(i));
            FUZZ_CHECK(byName <= 0);
            FUZZ_CHECK(byName < 0 || compareNoCase(table.line(i - 1), line) <= 0);
        }
    }
    // The selectors hold the same names in file order.
    std::vector<std::string> selectors = s.state.selectorNames;
    std::sort(selectors.begin(), selectors.end());
    std::sort(names.begin(), names.end());
    FUZZ_CHECK(selectors == names);

    const CurrencyEditor& editor = s.state.currencyEditor;
    if (!badLine) {
        if (n > 0) {
            FUZZ_CHECK(s.state.CurrentCurrencyRow == 0 && editor.selectedRow == 0);
            FUZZ_CHECK(editor.fields.name == trimSpaces(table.name(0)));
            FUZZ_CHECK(!editor.firstEnabled && !editor.backEnabled);
            FUZZ_CHECK(editor.nextEnabled == (n > 1) && editor.lastEnabled == (n > 1));
        } else {
            FUZZ_CHECK(!editor.fieldsEnabled && editor.fields.name.empty());
        }
    }
    return 0;
}
