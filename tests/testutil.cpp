#include "testutil.h"

#include "runtime/errors.h"
#include "runtime/text.h"

#include <atomic>
#include <fstream>
#include <random>
#include <sstream>

namespace valumat::test {

TempDir::TempDir() {
    static std::atomic<int> counter{0};
    static const unsigned run = std::random_device{}();
    path_ = std::filesystem::temp_directory_path() /
            ("valumat-test-" + std::to_string(run) + "-" + std::to_string(counter++));
    std::filesystem::remove_all(path_);
    std::filesystem::create_directories(path_);
}

TempDir::~TempDir() {
    std::error_code ec;
    std::filesystem::permissions(path_, std::filesystem::perms::owner_all, std::filesystem::perm_options::add, ec);
    std::filesystem::remove_all(path_, ec);
}

std::string TempDir::dir() const {
    return path_.string() + "/";
}

void TempDir::write(const std::string& name, const std::string& bytes) const {
    std::ofstream out(path_ / name, std::ios::binary);
    out << bytes;
}

std::string TempDir::read(const std::string& name) const {
    std::ifstream in(path_ / name, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

bool TempDir::exists(const std::string& name) const {
    return std::filesystem::exists(path_ / name);
}

void TempDir::remove(const std::string& name) const {
    std::filesystem::remove(path_ / name);
}

Harness::Harness() : state(desktop.platform()) {
    state.dataDirectory = temp.dir();
    state.configWindow = desktop.createWindow();
    desktop.onMessageBox([this](const fake::ShownBox& box) {
        if (box.title == "Fehler!") {
            desktop.queueAnswer(errorAnswer);
        }
    });
}

void Harness::copyShippedData() const {
    for (const char* name : {"waehrungen.dat", "tasten.dat", "options.dat", "keypress.txt", "keypressexcel.txt"}) {
        std::filesystem::copy_file(std::filesystem::path(shippedDataDir()) / name, temp.path() / name,
                                   std::filesystem::copy_options::overwrite_existing);
    }
}

std::string cp1252(const std::string& utf8) {
    return utf8ToCp1252(utf8);
}

std::string shippedDataDir() {
    return VALUMAT_DATA_DIR;
}

} // namespace valumat::test

namespace valumat::test {
namespace {

class FaultyWriter : public FileWriter {
public:
    FaultyWriter(std::unique_ptr<FileWriter> inner, FaultyFiles::Point point, int write)
        : inner_(std::move(inner)), point_(point), write_(write) {}
    void write(std::string_view bytes) override {
        if (point_ == FaultyFiles::Point::Write && ++writes_ == write_) {
            throw RuntimeError(err::kDiskFull);
        }
        inner_->write(bytes);
    }
    void commit() override {
        if (point_ == FaultyFiles::Point::Commit) {
            throw RuntimeError(err::kDiskFull);
        }
        inner_->commit();
    }

private:
    std::unique_ptr<FileWriter> inner_;
    FaultyFiles::Point point_;
    int write_;
    int writes_ = 0;
};

} // namespace

std::string FaultyFiles::readAll(const std::string& path) {
    return diskFileSystem().readAll(path);
}

std::unique_ptr<FileWriter> FaultyFiles::create(const std::string& path) {
    if (point_ == Point::Create) {
        throw RuntimeError(err::kPermissionDenied);
    }
    return std::make_unique<FaultyWriter>(diskFileSystem().create(path), point_, write_);
}

} // namespace valumat::test
