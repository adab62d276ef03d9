#include "platform/linux/xdg/xdgfolders.h"

#include "runtime/errors.h"

#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <system_error>

#include <fcntl.h>
#include <pwd.h>
#include <unistd.h>

namespace valumat::xdg {
namespace {

std::string withSlash(std::string folder) {
    if (folder.empty() || folder.back() != '/') {
        folder += '/';
    }
    return folder;
}

std::string absoluteVariable(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr && value[0] == '/' ? std::string(value) : std::string();
}

} // namespace

std::string installedDataFolderFor(const std::string& programPath, const std::string& relativeDataFolder) {
    const std::filesystem::path program(programPath);
    const std::filesystem::path folder = (program.parent_path() / relativeDataFolder).lexically_normal();
    return withSlash(folder.string());
}

std::string XdgFolders::userDataFolder() {
    std::string config = absoluteVariable("XDG_CONFIG_HOME");
    if (config.empty()) {
        std::string home = absoluteVariable("HOME");
        if (home.empty()) {
            if (const passwd* account = ::getpwuid(::getuid());
                account != nullptr && account->pw_dir != nullptr && account->pw_dir[0] == '/') {
                home = account->pw_dir;
            }
        }
        if (home.empty()) {
            return {};
        }
        config = withSlash(home) + ".config";
    }
    return withSlash(config) + "valumat/";
}

std::string XdgFolders::installedDataFolder(const std::string& programPath) {
    return installedDataFolderFor(programPath, relative_);
}

bool XdgFolders::folderWritable(const std::string& folder) {
    static std::atomic<unsigned> counter{0};
    const std::string probe =
        withSlash(folder) + ".valumat-probe-" + std::to_string(::getpid()) + "-" + std::to_string(counter++);
    const int fd = ::open(probe.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd < 0) {
        return false;
    }
    ::close(fd);
    ::unlink(probe.c_str());
    return true;
}

void XdgFolders::createFolder(const std::string& folder) {
    std::error_code ec;
    std::filesystem::create_directories(std::filesystem::path(folder), ec);
    if (ec) {
        throw RuntimeError(ec.value() == EACCES || ec.value() == EPERM || ec.value() == EROFS ? err::kPermissionDenied
                                                                                              : err::kPathNotFound);
    }
}

} // namespace valumat::xdg
