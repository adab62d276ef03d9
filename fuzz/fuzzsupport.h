// Shared pieces of the fuzz targets: an in-memory file system, the program state on a fake desktop, and checks
// that abort (so that libFuzzer keeps the input) when an invariant does not hold.
#pragma once

#include "platform/fake/fakedesktop.h"
#include "runtime/files.h"
#include "runtime/tables.h"

#include <cstddef>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

// Aborts with the failed condition; libFuzzer then writes the input as a crash artifact.
#define FUZZ_CHECK(condition)                                                                                          \
    do {                                                                                                               \
        if (!(condition)) {                                                                                            \
            ::valumat::fuzz::fail(#condition, __FILE__, __LINE__);                                                     \
        }                                                                                                              \
    } while (false)

namespace valumat::fuzz {

[[noreturn]] void fail(const char* condition, const char* file, int line);

// Whole files in memory; a writer puts its bytes in place only on commit, as the disk layer does.
class MemoryFiles : public FileSystem {
public:
    std::string readAll(const std::string& path) override;
    std::unique_ptr<FileWriter> create(const std::string& path) override;

    void put(const std::string& path, std::string bytes) { files_[path] = std::move(bytes); }
    bool has(const std::string& path) const { return files_.count(path) != 0; }
    const std::string& get(const std::string& path) const;
    std::size_t count() const { return files_.size(); }

private:
    std::map<std::string, std::string> files_;
};

// The program state on a fake desktop with its files in memory. Error reports are answered with Yes (go on) and
// counted.
struct Session {
    Session();
    fake::FakeDesktop desktop;
    MemoryFiles files;
    AppState state;

    // The error reports shown so far.
    std::vector<fake::ShownBox> errorReports() const;
    // Checks that at most one report was shown and that every report names the routine.
    void checkReportsName(const std::string& routine, std::size_t atMost = 1) const;
};

// The bytes of a fuzz input.
inline std::string bytesOf(const std::uint8_t* data, std::size_t size) {
    return std::string(reinterpret_cast<const char*>(data), size);
}

} // namespace valumat::fuzz
