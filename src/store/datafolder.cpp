#include "store/datafolder.h"

#include "runtime/errors.h"
#include "store/currencyfile.h"

namespace valumat {

namespace {

// A file name of kShippedFiles with the platform's separator.
std::string localName(const char* name, char separator) {
    std::string local = name;
    for (char& c : local) {
        if (c == '/') {
            c = separator;
        }
    }
    return local;
}

bool fileMissing(FileSystem& files, const std::string& path) {
    try {
        files.readAll(path);
        return false;
    } catch (const RuntimeError& e) {
        // An unreadable file is still the user's: only a file that is not there is filled in.
        return e.description() == err::kFileNotFound || e.description() == err::kPathNotFound;
    }
}

bool holdsData(FileSystem& files, const std::string& folder) {
    return !folder.empty() && !fileMissing(files, folder + kCurrencyFile);
}

} // namespace

std::string programDirectoryOf(const std::string& programPath, char separator) {
    const auto cut = programPath.find_last_of(std::string(1, separator) + "/");
    std::string dir = cut == std::string::npos ? std::string() : programPath.substr(0, cut);
    if (dir.empty() || dir.back() != separator) {
        dir += separator;
    }
    return dir;
}

DataFolder prepareDataFolder(const platform::Platform& services, FileSystem& files, const std::string& programPath) {
    const char separator = services.process->pathSeparator();
    const std::string programDirectory = programDirectoryOf(programPath, separator);
    DataFolder result;
    if (services.folders == nullptr) { // a desktop without the folder services: everything beside the program
        result.folder = programDirectory;
        result.portable = true;
        return result;
    }
    platform::Folders& folders = *services.folders;
    const bool shippedBeside = holdsData(files, programDirectory);
    if (shippedBeside && folders.folderWritable(programDirectory)) {
        result.folder = programDirectory;
        result.portable = true;
        return result;
    }
    result.defaultsFolder = shippedBeside ? programDirectory : folders.installedDataFolder(programPath);
    if (result.defaultsFolder.empty()) {
        result.defaultsFolder = programDirectory;
    }

    const std::string user = folders.userDataFolder();
    try {
        if (user.empty()) {
            throw RuntimeError(err::kPathNotFound);
        }
        folders.createFolder(user);
        folders.createFolder(user + "hilfe" + separator);
    } catch (const RuntimeError&) {
        result.folder = result.defaultsFolder; // read-only use of the shipped files
        return result;
    }
    result.folder = user;

    for (const char* name : kShippedFiles) {
        const std::string local = localName(name, separator);
        if (!fileMissing(files, user + local)) {
            continue;
        }
        try {
            const std::string bytes = files.readAll(result.defaultsFolder + local);
            auto writer = files.create(user + local);
            writer->write(bytes);
            writer->commit();
            result.copied.emplace_back(name);
        } catch (const RuntimeError&) {
            // missing or unreadable default: the reader of that file reports it
        }
    }
    return result;
}

} // namespace valumat
