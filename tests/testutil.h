// Test helpers: a temporary program directory and the program state on the fake desktop.
#pragma once

#include "platform/fake/fakedesktop.h"
#include "runtime/tables.h"

#include <filesystem>
#include <string>

namespace valumat::test {

class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    // The directory with a trailing separator, as the program directory is held.
    std::string dir() const;
    void write(const std::string& name, const std::string& bytes) const;
    std::string read(const std::string& name) const;
    bool exists(const std::string& name) const;
    void remove(const std::string& name) const;
    std::filesystem::path path() const { return path_; }

private:
    std::filesystem::path path_;
};

// The program state on a fake desktop, with its program directory in a fresh temporary folder.
struct Harness {
    Harness();
    fake::FakeDesktop desktop;
    TempDir temp;
    AppState state;

    // How error reports ("Fehler!") are answered: "Ja" goes on, "Nein" ends the program (ProgramEnded).
    platform::MessageAnswer errorAnswer = platform::MessageAnswer::Yes;

    // Copies the shipped data files into the program directory.
    void copyShippedData() const;
};

// Windows-1252 bytes of a UTF-8 text.
std::string cp1252(const std::string& utf8);

// The shipped data folder.
std::string shippedDataDir();

} // namespace valumat::test

namespace valumat::test {

// The disk, with a write that fails at a chosen point: opening (create), the n-th write, or commit.
class FaultyFiles : public FileSystem {
public:
    enum class Point { None, Create, Write, Commit };
    void failAt(Point point, int write = 1) {
        point_ = point;
        write_ = write;
    }
    std::string readAll(const std::string& path) override;
    std::unique_ptr<FileWriter> create(const std::string& path) override;

private:
    Point point_ = Point::None;
    int write_ = 1;
};

} // namespace valumat::test
