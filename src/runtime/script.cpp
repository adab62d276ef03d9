#include "runtime/script.h"

#include "runtime/errors.h"
#include "runtime/report.h"
#include "runtime/text.h"

namespace valumat {

std::string scriptFromBytes(const std::string& bytes) {
    std::string script;
    for (const std::string& raw : splitLines(bytes)) {
        const std::string line = cp1252ToUtf8(raw);
        const std::string trimmed = trimSpaces(line);
        if (trimmed.empty() || trimmed.starts_with("//")) {
            continue;
        }
        script += line;
        script += "\r\n";
    }
    return script;
}

void ReadKeypress(AppState& state) {
    state.scriptText.clear();
    try {
        state.scriptText =
            scriptFromBytes(state.files->readAll(state.path(state.options.excelMode ? kScriptExcel : kScriptNormal)));
    } catch (const RuntimeError& e) {
        reportError(state.platform, "ReadKeypress", e.description());
    }
}

} // namespace valumat
