// Read, save to the working copy, read again: the second read gives what the first one gave. The input holds the
// three files one after the other, each ended by a line "%%%%".
#include "fuzzsupport.h"
#include "runtime/text.h"
#include "store/currencyfile.h"
#include "store/keyfile.h"
#include "store/optionsfile.h"

#include <algorithm>

using namespace valumat;

namespace {

constexpr std::string_view kMarker = "%%%%\n";

struct Snapshot {
    std::vector<std::string> rows;
    std::vector<std::string> selectors;
    std::vector<const KeyBinding*> bindings; // the slots in use, packed, of the session taken (which must live on)
    std::vector<std::string> keyList;
    bool autostart = false;
    bool minimised = false;
    bool excelMode = false;
    std::optional<std::string> autostartEntry;
};

Snapshot take(const fuzz::Session& s) {
    Snapshot snap;
    for (int i = 0; i < s.state.currencies.count(); ++i) {
        snap.rows.push_back(s.state.currencies.line(i));
    }
    snap.selectors = s.state.selectorNames;
    for (int i = 0; i < KeyBindingTable::kSlots; ++i) {
        const KeyBinding& binding = s.state.bindings[i];
        if (!binding.sourceCurrency.empty() || !binding.targetCurrency.empty()) {
            snap.bindings.push_back(&binding);
        }
    }
    snap.keyList = s.state.keyListLines;
    snap.autostart = s.state.options.autostart;
    snap.minimised = s.state.options.minimised;
    snap.excelMode = s.state.options.excelMode;
    snap.autostartEntry = s.desktop.autostartEntry();
    return snap;
}

void readAll(fuzz::Session& s, bool workingCopy) {
    ReadRates(s.state, workingCopy);
    ReadKeyList(s.state, workingCopy);
    ReadOptions(s.state, workingCopy);
}

// Saves the three tables as they are, with no currency shown (the shown one would be rewritten in the writer's
// spacing first) and returns the three working copies.
std::vector<std::string> saveAll(fuzz::Session& s) {
    s.state.CurrentCurrencyRow = -1;
    s.desktop.clearBoxes();
    SaveRates(s.state, true);
    SaveKeyList(s.state, true);
    SaveOptions(s.state, true);
    FUZZ_CHECK(s.desktop.boxes().empty());
    return {s.files.get(s.state.path(kCurrencyWorkingCopy)), s.files.get(s.state.path(kBindingWorkingCopy)),
            s.files.get(s.state.path(kOptionsWorkingCopy))};
}

std::vector<std::string> sorted(std::vector<std::string> v) {
    std::sort(v.begin(), v.end());
    return v;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string input = fuzz::bytesOf(data, size);
    std::string parts[3];
    std::size_t start = 0;
    for (int k = 0; k < 3; ++k) {
        const auto end = k < 2 ? input.find(kMarker, start) : std::string::npos;
        parts[k] = input.substr(start, end == std::string::npos ? std::string::npos : end - start);
        start = end == std::string::npos ? input.size() : end + kMarker.size();
    }

    fuzz::Session first;
    first.files.put(first.state.path(kCurrencyFile), parts[0]);
    first.files.put(first.state.path(kBindingFile), parts[1]);
    first.files.put(first.state.path(kOptionsFile), parts[2]);
    readAll(first, false);
    const Snapshot a = take(first);
    const std::vector<std::string> written = saveAll(first);

    // A fresh program reads the working copies.
    fuzz::Session second;
    second.files.put(second.state.path(kCurrencyWorkingCopy), written[0]);
    second.files.put(second.state.path(kBindingWorkingCopy), written[1]);
    second.files.put(second.state.path(kOptionsWorkingCopy), written[2]);
    readAll(second, true);
    FUZZ_CHECK(second.desktop.boxes().empty()); // what the program wrote it reads without complaint
    const Snapshot b = take(second);

    FUZZ_CHECK(b.rows == a.rows);
    // The selectors list the names in file order, and the file was written in table order.
    FUZZ_CHECK(sorted(b.selectors) == sorted(a.selectors));
    for (std::size_t i = 0; i < b.rows.size(); ++i) {
        FUZZ_CHECK(b.selectors[i] == trimSpaces(b.rows[i].substr(0, b.rows[i].find(';'))));
    }

    // Free slots (both names empty) are not written: the bindings come back packed, in order, and the slots after
    // them are free.
    FUZZ_CHECK(b.keyList.size() == a.bindings.size());
    FUZZ_CHECK(b.bindings.size() == a.bindings.size());
    for (std::size_t i = 0; i < b.bindings.size(); ++i) {
        FUZZ_CHECK(*b.bindings[i] == *a.bindings[i]);
        FUZZ_CHECK(b.bindings[i] == &second.state.bindings[static_cast<int>(i)]);
        FUZZ_CHECK(b.keyList[i] == bindingDisplayLine(*a.bindings[i]));
    }
    static const KeyBinding kFree{};
    for (int i = static_cast<int>(b.bindings.size()); i < KeyBindingTable::kSlots; ++i) {
        FUZZ_CHECK(second.state.bindings[i] == kFree);
    }

    FUZZ_CHECK(b.autostart == a.autostart && b.minimised == a.minimised && b.excelMode == a.excelMode);
    FUZZ_CHECK(b.autostartEntry == first.desktop.autostartEntry());

    // Saving what was read back writes the same bytes again.
    FUZZ_CHECK(saveAll(second) == written);
    return 0;
}
