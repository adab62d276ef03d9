// The options file: arbitrary bytes as options.dat (or options.tmp).
#include "fuzzsupport.h"
#include "runtime/text.h"
#include "store/optionsfile.h"

using namespace valumat;

namespace {

// For files without commas and quotes every line is one item, blanks and tabs trimmed.
bool itemOn(const std::string& line) {
    const auto end = line.find_last_not_of(" \t");
    return end != std::string::npos && line[end] == '1';
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) {
        return 0;
    }
    fuzz::Session s;
    const bool workingCopy = (data[0] & 1) != 0;
    const std::string bytes = fuzz::bytesOf(data + 1, size - 1);
    s.files.put(s.state.path(workingCopy ? kOptionsWorkingCopy : kOptionsFile), bytes);
    ReadOptions(s.state, workingCopy);
    s.checkReportsName("ReadOptions");
    FUZZ_CHECK(!s.state.RefreshInProgress);

    const Options& o = s.state.options;
    // The autostart entry follows the first option once it was read.
    FUZZ_CHECK(s.desktop.autostartEntry().has_value() == o.autostart);
    if (s.errorReports().empty()) {
        FUZZ_CHECK(s.state.modeCaption == (o.excelMode ? kModeCaptionToNormal : kModeCaptionToExcel));
    } else {
        FUZZ_CHECK(!o.excelMode);
    }

    if (bytes.find_first_of(",\"") == std::string::npos) {
        const std::vector<std::string> lines = splitLines(bytes);
        FUZZ_CHECK(s.errorReports().empty() == (lines.size() >= 3));
        FUZZ_CHECK(o.autostart == (!lines.empty() && itemOn(lines[0])));
        FUZZ_CHECK(o.minimised == (lines.size() >= 2 && itemOn(lines[1])));
        FUZZ_CHECK(o.excelMode == (lines.size() >= 3 && itemOn(lines[2])));
    }
    return 0;
}
