#include "platform/linux/xdg/xdgautostart.h"

#include <cstdio>
#include <cstdlib>
#include <random>
#include <string_view>
#include <system_error>

namespace valumat::xdg {
namespace {

constexpr const char* kFileName = "valumat.desktop";

std::filesystem::path environmentPath(const char* name) {
    const char* value = std::getenv(name);
    if (value == nullptr || *value == '\0') {
        return {};
    }
    return std::filesystem::path(value);
}

// Writes the whole text to a new file that did not exist before; false (and no file left) on any failure.
bool writeNewFile(const std::filesystem::path& path, const std::string& text) {
    std::FILE* file = std::fopen(path.c_str(), "wbx");
    if (file == nullptr) {
        return false;
    }
    const bool written = std::fwrite(text.data(), 1, text.size(), file) == text.size() && std::fflush(file) == 0;
    const bool closed = std::fclose(file) == 0;
    if (!written || !closed) {
        std::error_code ignored;
        std::filesystem::remove(path, ignored);
        return false;
    }
    return true;
}

} // namespace

std::string desktopExecValue(const std::string& programPath) {
    // A path without any of the characters the Exec key reserves (and without %) stands as it is:
    // Exec=/usr/bin/valumat.
    constexpr std::string_view reserved = " \t\n\"'\\><~|&;$*?#()`%\r";
    if (!programPath.empty() && programPath.find_first_of(reserved) == std::string::npos) {
        return programPath;
    }
    // Otherwise one argument in double quotes, with ", `, $ and \ escaped by a backslash; a literal % is written %%
    // (field codes are expanded everywhere in the line).
    std::string quoted = "\"";
    for (const char c : programPath) {
        if (c == '"' || c == '`' || c == '$' || c == '\\') {
            quoted += '\\';
        } else if (c == '%') {
            quoted += '%';
        }
        quoted += c;
    }
    quoted += '"';
    // The escapes of every string value, applied on top: readers undo them before they unquote.
    std::string value;
    for (const char c : quoted) {
        switch (c) {
        case '\\':
            value += "\\\\";
            break;
        case '\n':
            value += "\\n";
            break;
        case '\t':
            value += "\\t";
            break;
        case '\r':
            value += "\\r";
            break;
        default:
            value += c;
            break;
        }
    }
    return value;
}

std::string autostartDesktopEntry(const std::string& programPath) {
    return "[Desktop Entry]\n"
           "Type=Application\n"
           "Name=Valumat\n"
           "Comment=Währungsbeträge per Tastenkombination umrechnen\n"
           "Exec=" +
           desktopExecValue(programPath) +
           "\n"
           "Terminal=false\n"
           "X-GNOME-Autostart-enabled=true\n";
}

std::filesystem::path autostartEntryPath() {
    std::filesystem::path config = environmentPath("XDG_CONFIG_HOME");
    if (!config.is_absolute()) {
        // A relative XDG_CONFIG_HOME is invalid and ignored.
        const std::filesystem::path home = environmentPath("HOME");
        if (!home.is_absolute()) {
            return {};
        }
        config = home / ".config";
    }
    return config / "autostart" / kFileName;
}

void XdgAutostart::setEntry(const std::string& programPath) {
    try {
        const std::filesystem::path path = autostartEntryPath();
        if (path.empty()) {
            return;
        }
        const std::filesystem::path folder = path.parent_path();
        std::error_code error;
        std::filesystem::create_directories(folder, error);
        if (error) {
            return;
        }
        const std::string text = autostartDesktopEntry(programPath);
        std::random_device seed;
        std::mt19937_64 random(seed());
        for (int attempt = 0; attempt < 16; ++attempt) {
            // Hidden and without the .desktop ending, so that nobody takes it for an entry meanwhile.
            char suffix[17];
            std::snprintf(suffix, sizeof suffix, "%016llx", static_cast<unsigned long long>(random()));
            const std::filesystem::path temporary = folder / (std::string(".") + kFileName + "." + suffix);
            if (!writeNewFile(temporary, text)) {
                if (std::filesystem::exists(temporary, error)) {
                    continue; // a name clash: try another name
                }
                return;
            }
            std::filesystem::rename(temporary, path, error);
            if (error) {
                std::filesystem::remove(temporary, error);
            }
            return;
        }
    } catch (...) {
        // never fails: the entry stays as it was
    }
}

void XdgAutostart::removeEntry() {
    try {
        const std::filesystem::path path = autostartEntryPath();
        if (path.empty()) {
            return;
        }
        std::error_code error;
        if (std::filesystem::is_directory(std::filesystem::symlink_status(path, error))) {
            return; // not ours
        }
        std::filesystem::remove(path, error);
    } catch (...) {
        // never fails
    }
}

} // namespace valumat::xdg
