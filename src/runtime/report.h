// The program's error report: "Folgender Fehler ist im Modul ... aufgetreten: ...", Yes to go on, No to end.
#pragma once

#include "platform/platform.h"

#include <string>

namespace valumat {

// The text of the report for a routine and an error description.
std::string errorReportText(const std::string& routine, const std::string& description);

// Shows the report (title "Fehler!", critical icon, Yes and No, No the default). On No the program ends at once
// (through Process::endProgram); on Yes it returns and the caller abandons the rest of the failing routine.
void reportError(const platform::Platform& services, const std::string& routine, const std::string& description);

} // namespace valumat
