// The keystroke script files: arbitrary bytes as keypress.txt or keypressexcel.txt.
#include "fuzzsupport.h"
#include "runtime/script.h"
#include "runtime/text.h"

using namespace valumat;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) {
        return 0;
    }
    fuzz::Session s;
    s.state.options.excelMode = (data[0] & 1) != 0;
    const bool present = (data[0] & 2) == 0;
    const std::string bytes = fuzz::bytesOf(data + 1, size - 1);
    if (present) {
        s.files.put(s.state.path(s.state.options.excelMode ? kScriptExcel : kScriptNormal), bytes);
    }
    s.state.scriptText = "alt\r\n";
    ReadKeypress(s.state);
    s.checkReportsName("ReadKeypress");
    FUZZ_CHECK(s.errorReports().empty() == present);

    const std::string& script = s.state.scriptText;
    FUZZ_CHECK(script.empty() || script.ends_with("\r\n"));
    // Every script line is a line of the file that is neither blank nor a comment, in file order.
    std::vector<std::string> expected;
    for (const std::string& line : splitLines(present ? bytes : std::string())) {
        const std::string t = trimSpaces(line);
        if (!t.empty() && !t.starts_with("//")) {
            expected.push_back(cp1252ToUtf8(line));
        }
    }
    std::vector<std::string> got;
    for (std::size_t start = 0; start < script.size();) {
        const auto end = script.find("\r\n", start);
        FUZZ_CHECK(end != std::string::npos);
        got.push_back(script.substr(start, end - start));
        FUZZ_CHECK(got.back().find('\r') == std::string::npos);
        start = end + 2;
    }
    FUZZ_CHECK(got == expected);
    return 0;
}
