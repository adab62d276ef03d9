// The data folders on Linux and other freedesktop.org systems: the user's folder in $XDG_CONFIG_HOME (by default
// ~/.config) and the installation's shared folder beside the program's bin folder. POSIX and standard C++ only, no
// display needed: the desktop program and valumat-convert both use it.
#pragma once

#include "platform/platform.h"

#include <string>

namespace valumat::xdg {

// The installation's data folder for a program file: its folder, then relativeDataFolder ("../share/valumat" for
// the usual bin and share folders), normalised and ending in "/".
std::string installedDataFolderFor(const std::string& programPath, const std::string& relativeDataFolder);

class XdgFolders final : public platform::Folders {
public:
    // relativeDataFolder: the installation's data folder relative to the folder of the executables.
    explicit XdgFolders(std::string relativeDataFolder) : relative_(std::move(relativeDataFolder)) {}
    // $XDG_CONFIG_HOME/valumat/ when that variable holds an absolute path, else $HOME/.config/valumat/, else the
    // home folder of the user's account; "" when none is known.
    std::string userDataFolder() override;
    std::string installedDataFolder(const std::string& programPath) override;
    bool folderWritable(const std::string& folder) override;
    void createFolder(const std::string& folder) override;

private:
    std::string relative_;
};

} // namespace valumat::xdg
