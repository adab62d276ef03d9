// The keystroke script: keypress.txt (text applications) or keypressexcel.txt (spreadsheets).
#pragma once

#include "runtime/tables.h"

#include <string>

namespace valumat {

inline constexpr const char* kScriptNormal = "keypress.txt";
inline constexpr const char* kScriptExcel = "keypressexcel.txt";

// The script text of a file's bytes: every line that, trimmed, is neither empty nor a "//" comment, as read and
// followed by CR LF.
std::string scriptFromBytes(const std::string& bytes);

// Loads the script of the current mode into state.scriptText; a missing or unreadable file is reported
// ("ReadKeypress") and leaves the script empty.
void ReadKeypress(AppState& state);

} // namespace valumat
