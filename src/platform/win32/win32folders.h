// The data folders on Windows: the user's roaming application data folder (%APPDATA%\Valumat) and the installer's
// subfolder "vorgaben" beside the program. Used by valumat.exe and valumat-convert.exe.
#pragma once

#include "platform/platform.h"

#include <string>

namespace valumat::win32 {

class Folders final : public platform::Folders {
public:
    // The subfolder of the program's folder in which the installer puts the shipped data files.
    static constexpr const char* kInstalledDataSubfolder = "vorgaben";

    std::string userDataFolder() override;
    std::string installedDataFolder(const std::string& programPath) override;
    bool folderWritable(const std::string& folder) override;
    void createFolder(const std::string& folder) override;
};

} // namespace valumat::win32
