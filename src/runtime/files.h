// The file layer: every data file is read whole and written whole through this, so that tests can make any step
// fail. Writing replaces a file atomically: the bytes go to a sibling file in the same folder, which is flushed
// and then renamed over the target, so a failed write leaves the previous file whole.
#pragma once

#include <memory>
#include <string>
#include <string_view>

namespace valumat {

class FileWriter {
public:
    virtual ~FileWriter() = default;
    // Appends bytes. Fails with RuntimeError (e.g. "Datenträger voll").
    virtual void write(std::string_view bytes) = 0;
    // Flushes and puts the file in place of the target. Fails with RuntimeError; the target is then unchanged.
    virtual void commit() = 0;
    // Destroying a writer without commit discards what was written.
};

class FileSystem {
public:
    virtual ~FileSystem() = default;
    // The whole file. Fails with RuntimeError ("Datei nicht gefunden", "Zugriff verweigert", ...).
    virtual std::string readAll(const std::string& path) = 0;
    // Starts replacing a file. Fails with RuntimeError when the folder cannot take a new file.
    virtual std::unique_ptr<FileWriter> create(const std::string& path) = 0;
};

// The real disk.
FileSystem& diskFileSystem();

} // namespace valumat
