// The key-binding file: arbitrary bytes as tasten.dat.
#include "fuzzsupport.h"
#include "runtime/text.h"
#include "store/keyfile.h"

using namespace valumat;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fuzz::Session s;
    const std::string bytes = fuzz::bytesOf(data, size);
    s.files.put(s.state.path(kBindingFile), bytes);
    ReadKeyList(s.state, false);
    s.checkReportsName("ReadKeyList");
    FUZZ_CHECK(!s.state.RefreshInProgress);

    const std::vector<std::string>& rows = s.state.keyListLines;
    FUZZ_CHECK(rows.size() <= static_cast<std::size_t>(KeyBindingTable::kSlots));
    std::size_t nonBlank = 0;
    for (const std::string& line : splitLines(bytes)) {
        nonBlank += trimSpaces(line).empty() ? 0 : 1;
    }
    FUZZ_CHECK(rows.size() <= nonBlank);
    // Without a report every non-blank line became a binding.
    FUZZ_CHECK(!s.errorReports().empty() || rows.size() == nonBlank);
    FUZZ_CHECK(s.state.bindingEditorLocked == (rows.empty() && s.errorReports().empty()));

    for (std::size_t i = 0; i < rows.size(); ++i) {
        const KeyBinding& b = s.state.bindings[static_cast<int>(i)];
        FUZZ_CHECK(rows[i] == bindingDisplayLine(b));
        // Every binding read writes a line that reads back as the same binding.
        const std::string line = composeBindingLine(b);
        FUZZ_CHECK(parseBindingLine(line) == b);
        FUZZ_CHECK(cp1252ToUtf8(utf8ToCp1252(line)) == line);
    }
    for (int i = static_cast<int>(rows.size()); i < KeyBindingTable::kSlots; ++i) {
        FUZZ_CHECK(s.state.bindings[i] == KeyBinding{});
    }
    return 0;
}
