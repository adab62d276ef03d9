#include "runtime/report.h"

#include "runtime/ending.h"

namespace valumat {

std::string errorReportText(const std::string& routine, const std::string& description) {
    // Line feed before carriage return, as the program has always written it.
    return "Folgender Fehler ist im Modul " + routine + " aufgetreten: " + description + ".\n\r" +
           "Soll das Programm fortgeführt werden?";
}

void reportError(const platform::Platform& services, const std::string& routine, const std::string& description) {
    const auto answer = services.messageBoxes->messageBox(
        errorReportText(routine, description), "Fehler!", platform::MessageIcon::Critical,
        platform::MessageButtons::YesNo, platform::DefaultButton::Second);
    if (answer != platform::MessageAnswer::Yes) {
        runEndCleanups(); // a conversion that is running gives the user's clipboard back first
        services.process->endProgram(1);
    }
}

} // namespace valumat
