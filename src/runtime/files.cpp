#include "runtime/files.h"

#include "runtime/errors.h"

#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <system_error>

namespace valumat {
namespace {

const char* describe(int error) {
    switch (error) {
    case ENOENT:
    case ENOTDIR:
        return err::kPathNotFound;
    case EACCES:
    case EPERM:
    case EROFS:
    case EISDIR:
        return err::kPermissionDenied;
    case ENOSPC:
#ifdef EDQUOT
    case EDQUOT:
#endif
        return err::kDiskFull;
    case EIO:
        return err::kDeviceIo;
    default:
        return err::kPathFileAccess;
    }
}

std::filesystem::path toPath(const std::string& utf8) {
    return std::filesystem::path(std::u8string(utf8.begin(), utf8.end()));
}

std::FILE* openFile(const std::filesystem::path& p, bool forWriting) {
#ifdef _WIN32
    return _wfopen(p.c_str(), forWriting ? L"wb" : L"rb");
#else
    return std::fopen(p.c_str(), forWriting ? "wb" : "rb");
#endif
}

class DiskWriter final : public FileWriter {
public:
    DiskWriter(std::filesystem::path target, std::filesystem::path temp, std::FILE* file)
        : target_(std::move(target)), temp_(std::move(temp)), file_(file) {}
    ~DiskWriter() override {
        if (file_ != nullptr) {
            std::fclose(file_);
        }
        if (!committed_) {
            std::error_code ignored;
            std::filesystem::remove(temp_, ignored);
        }
    }
    DiskWriter(const DiskWriter&) = delete;
    DiskWriter& operator=(const DiskWriter&) = delete;

    void write(std::string_view bytes) override {
        if (file_ == nullptr) {
            throw RuntimeError(err::kPathFileAccess);
        }
        errno = 0;
        if (std::fwrite(bytes.data(), 1, bytes.size(), file_) != bytes.size()) {
            throw RuntimeError(describe(errno != 0 ? errno : ENOSPC));
        }
    }

    void commit() override {
        if (file_ == nullptr) {
            throw RuntimeError(err::kPathFileAccess);
        }
        errno = 0;
        const bool flushed = std::fflush(file_) == 0;
        const int flushError = errno;
        const bool closed = std::fclose(file_) == 0;
        file_ = nullptr;
        if (!flushed || !closed) {
            throw RuntimeError(describe(flushError != 0 ? flushError : ENOSPC));
        }
        std::error_code ec;
        std::filesystem::rename(temp_, target_, ec);
        if (ec) {
            throw RuntimeError(describe(ec.value()));
        }
        committed_ = true;
    }

private:
    std::filesystem::path target_;
    std::filesystem::path temp_;
    std::FILE* file_;
    bool committed_ = false;
};

class Disk final : public FileSystem {
public:
    std::string readAll(const std::string& path) override {
        const std::filesystem::path p = toPath(path);
        std::error_code ec;
        if (!std::filesystem::exists(p, ec)) {
            throw RuntimeError(err::kFileNotFound);
        }
        if (std::filesystem::is_directory(p, ec)) {
            throw RuntimeError(err::kPathFileAccess);
        }
        errno = 0;
        std::FILE* file = openFile(p, false);
        if (file == nullptr) {
            throw RuntimeError(describe(errno));
        }
        std::string bytes;
        char buffer[65536];
        std::size_t n = 0;
        while ((n = std::fread(buffer, 1, sizeof buffer, file)) > 0) {
            bytes.append(buffer, n);
        }
        const bool failed = std::ferror(file) != 0;
        std::fclose(file);
        if (failed) {
            throw RuntimeError(err::kDeviceIo);
        }
        return bytes;
    }

    std::unique_ptr<FileWriter> create(const std::string& path) override {
        const std::filesystem::path target = toPath(path);
        std::filesystem::path temp = target;
        temp += ".new";
        errno = 0;
        std::FILE* file = openFile(temp, true);
        if (file == nullptr) {
            throw RuntimeError(describe(errno));
        }
        return std::make_unique<DiskWriter>(target, temp, file);
    }
};

} // namespace

FileSystem& diskFileSystem() {
    static Disk disk;
    return disk;
}

} // namespace valumat
