// The key-binding file tasten.dat and its working copy tasten.tmp: one binding per line, eight fields joined by
// "#:#": source, target, first key, second key, code position, code text, decimals, decimal separator.
#pragma once

#include "runtime/tables.h"

#include <string>

namespace valumat {

inline constexpr const char* kBindingFile = "tasten.dat";
inline constexpr const char* kBindingWorkingCopy = "tasten.tmp";
inline constexpr const char* kFieldSeparator = "#:#";

std::string composeBindingLine(const KeyBinding& binding);

// The row of the binding list built from the table: "STRG + " (for Ctrl), the key, four spaces, source, " >> ",
// target.
std::string bindingDisplayLine(const KeyBinding& binding);

// Parses a record line; fails with RuntimeError for fewer than eight fields or a number field outside 0..255.
KeyBinding parseBindingLine(const std::string& line);

// Reads the file into slots 0, 1, ... and rebuilds the binding list; slots after the last binding read keep what
// they held. Errors are reported ("ReadKeyList"); a missing file changes nothing.
// Returns true when the whole file was read.
bool ReadKeyList(AppState& state, bool workingCopy);

// Writes every slot whose line does not begin with "#:##:#" (both currency names empty). Errors are reported
// ("SaveKeyList").
void SaveKeyList(AppState& state, bool workingCopy);

} // namespace valumat
