// Where the program's data lives: the data files, their working copies, the keystroke scripts, the read-me and the
// help page.
//
// - Portable use: when the program's folder holds waehrungen.dat and files can be created in it, the data lives
//   there (an unpacked zip, the build folder).
// - Otherwise it lives in the user's own folder (%APPDATA%\Valumat, $XDG_CONFIG_HOME/valumat). That folder is
//   created when missing, and every shipped file it lacks is copied in: from the program's folder when that holds
//   waehrungen.dat (but cannot be written), else from the installation's data folder (/usr/share/valumat). A file
//   the user's folder already has is never replaced.
// - When the user's folder cannot be made (the system names none, or creating it fails), the data is read where the
//   shipped files are; saving then fails there and is reported by the file routines as usual.
#pragma once

#include "platform/platform.h"
#include "runtime/files.h"

#include <array>
#include <string>
#include <vector>

namespace valumat {

// The shipped files a data folder holds, with "/" between folder and file name.
inline constexpr std::array<const char*, 7> kShippedFiles = {"waehrungen.dat",     "tasten.dat",        "options.dat",
                                                             "keypress.txt",       "keypressexcel.txt", "readme.txt",
                                                             "hilfe/keypress.html"};

struct DataFolder {
    std::string folder;              // where the data lives, ending in the path separator
    bool portable = false;           // the program's own folder
    std::string defaultsFolder;      // where missing files were copied from ("" in portable use)
    std::vector<std::string> copied; // the shipped files copied into the user's folder this time
};

// The directory part of a program path, always ending in the separator (a "/" counts as a separator as well).
std::string programDirectoryOf(const std::string& programPath, char separator);

// Decides where the data lives for the program file at programPath and prepares the user's folder. Reports
// nothing: a file that could not be copied is reported later by the routine that reads it. Never fails.
DataFolder prepareDataFolder(const platform::Platform& services, FileSystem& files, const std::string& programPath);

} // namespace valumat
