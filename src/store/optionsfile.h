// The options file options.dat and its working copy options.tmp: "autostart: 0|1", "minimiert: 0|1",
// "exceloptimiert: 0|1" (the third line in double quotes, as a quoted string), and the autostart entry that follows
// the first option.
#pragma once

#include "runtime/tables.h"

#include <string>

namespace valumat {

inline constexpr const char* kOptionsFile = "options.dat";
inline constexpr const char* kOptionsWorkingCopy = "options.tmp";

// The file's text for a set of options.
std::string optionsFileText(const Options& options);

// Reads the three options (each item's last character "1" means on) into the option values and the mode caption,
// and brings the autostart entry in line. Errors are reported ("ReadOptions"); options read before an error stay.
// Returns true when the whole file was read.
bool ReadOptions(AppState& state, bool workingCopy);

// Writes the three lines, then brings the autostart entry in line. Errors are reported ("SaveOptions").
void SaveOptions(AppState& state, bool workingCopy);

// "ON" (exactly) creates or overwrites the autostart entry with the program's path; anything else removes it.
// Never reports.
void SetAutostart(AppState& state, const std::string& onOff);

} // namespace valumat
