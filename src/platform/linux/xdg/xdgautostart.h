// The per-user autostart entry of freedesktop.org desktops: a desktop entry file "valumat.desktop" in
// $XDG_CONFIG_HOME/autostart (by default ~/.config/autostart). Standard C++ only.
#pragma once

#include "platform/platform.h"

#include <filesystem>
#include <string>

namespace valumat::xdg {

// The value of the Exec key that runs exactly the program at programPath, without arguments: the path as one
// quoted argument, "`$\ escaped inside the quotes, % doubled, and then the escapes of a string value applied
// (a backslash written twice, newline, tab and carriage return as \n \t \r).
std::string desktopExecValue(const std::string& programPath);

// The whole file, lines ending with LF.
std::string autostartDesktopEntry(const std::string& programPath);

// Where the entry lives according to the environment: $XDG_CONFIG_HOME when it is set to an absolute path, else
// $HOME/.config, followed by autostart/valumat.desktop. Empty when neither variable gives a place.
std::filesystem::path autostartEntryPath();

class XdgAutostart final : public platform::Autostart {
public:
    // Writes the file through a temporary file in the same folder and a rename, so that the entry is either the
    // old one or the new one, never a part. Creates the folders as needed. Never fails.
    void setEntry(const std::string& programPath) override;
    // Deletes the file. Never fails.
    void removeEntry() override;
};

} // namespace valumat::xdg
