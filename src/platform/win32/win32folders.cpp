#include "platform/win32/win32folders.h"

#include "platform/win32/wide.h"
#include "runtime/errors.h"

#include <windows.h>

#include <shlobj.h>

#include <atomic>
#include <filesystem>
#include <system_error>

namespace valumat::win32 {
namespace {

std::wstring withBackslash(std::wstring folder) {
    if (folder.empty() || (folder.back() != L'\\' && folder.back() != L'/')) {
        folder += L'\\';
    }
    return folder;
}

} // namespace

std::string Folders::userDataFolder() {
    wchar_t buffer[MAX_PATH] = {};
    std::wstring roaming;
    if (SHGetFolderPathW(nullptr, CSIDL_APPDATA, nullptr, SHGFP_TYPE_CURRENT, buffer) == S_OK) {
        roaming = buffer;
    } else if (const DWORD n = GetEnvironmentVariableW(L"APPDATA", buffer, MAX_PATH); n > 0 && n < MAX_PATH) {
        roaming = buffer;
    }
    if (roaming.empty()) {
        return {};
    }
    return narrow(withBackslash(roaming) + L"Valumat\\");
}

std::string Folders::installedDataFolder(const std::string& programPath) {
    const auto cut = programPath.find_last_of("\\/");
    const std::string folder = cut == std::string::npos ? std::string() : programPath.substr(0, cut + 1);
    return folder + kInstalledDataSubfolder + "\\";
}

bool Folders::folderWritable(const std::string& folder) {
    // A file of our own that the system deletes when it is closed: "Program Files" refuses it (the manifest turns
    // off the file virtualisation that would otherwise divert it).
    static std::atomic<unsigned> counter{0};
    const std::wstring probe = withBackslash(widen(folder)) + L".valumat-probe-" +
                               std::to_wstring(GetCurrentProcessId()) + L"-" + std::to_wstring(counter++);
    const HANDLE file =
        CreateFileW(probe.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                    FILE_ATTRIBUTE_TEMPORARY | FILE_ATTRIBUTE_HIDDEN | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return false;
    }
    CloseHandle(file);
    return true;
}

void Folders::createFolder(const std::string& folder) {
    std::error_code ec;
    std::filesystem::create_directories(std::filesystem::path(widen(folder)), ec);
    if (ec) {
        throw RuntimeError(ec.value() == ERROR_ACCESS_DENIED || ec.value() == EACCES ? err::kPermissionDenied
                                                                                     : err::kPathNotFound);
    }
}

} // namespace valumat::win32
