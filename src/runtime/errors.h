// Run-time errors and the program's error report.
#pragma once

#include <stdexcept>
#include <string>

namespace valumat {

// A run-time error with its German description, in the words of the run-time ("Datei nicht gefunden").
class RuntimeError : public std::runtime_error {
public:
    explicit RuntimeError(const std::string& description) : std::runtime_error(description) {}
    std::string description() const { return what(); }
};

// The descriptions used throughout the program.
namespace err {
inline constexpr const char* kFileNotFound = "Datei nicht gefunden";
inline constexpr const char* kPathNotFound = "Pfad nicht gefunden";
inline constexpr const char* kPermissionDenied = "Zugriff verweigert";
inline constexpr const char* kPathFileAccess = "Fehler beim Zugriff auf Pfad/Datei";
inline constexpr const char* kDiskFull = "Datenträger voll";
inline constexpr const char* kDeviceIo = "Fehler beim Lesen/Schreiben auf dem Gerät";
inline constexpr const char* kInputPastEnd = "Eingabe hinter Dateiende";
inline constexpr const char* kSubscriptOutOfRange = "Index außerhalb des gültigen Bereichs";
inline constexpr const char* kOverflow = "Überlauf";
inline constexpr const char* kDivisionByZero = "Division durch Null";
inline constexpr const char* kInvalidProcedureCall = "Ungültiger Prozeduraufruf oder ungültiges Argument";
inline constexpr const char* kTypeMismatch = "Typen unverträglich";
inline constexpr const char* kOutOfMemory = "Nicht genügend Speicher";
} // namespace err

// The program ended (the fake desktop throws this from endProgram; real backends exit instead). Error traps never
// catch it.
struct ProgramEnded {
    int status = 0;
};

} // namespace valumat
