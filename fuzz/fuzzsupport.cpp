#include "fuzzsupport.h"

#include "runtime/errors.h"
#include "runtime/report.h"

#include <cstdio>
#include <cstdlib>
#include <malloc.h>

// Every input builds and drops a session of a few hundred strings: keep freed memory for the next input instead of
// handing it back to the system each time (that churn cost more than some targets themselves).
extern "C" int LLVMFuzzerInitialize(int*, char***) {
    mallopt(M_TRIM_THRESHOLD, 256 << 20);
    return 0;
}

namespace valumat::fuzz {

void fail(const char* condition, const char* file, int line) {
    std::fprintf(stderr, "invariant violated: %s (%s:%d)\n", condition, file, line);
    std::abort();
}

namespace {

class MemoryWriter final : public FileWriter {
public:
    MemoryWriter(MemoryFiles& files, std::string path) : files_(files), path_(std::move(path)) {}
    void write(std::string_view bytes) override { bytes_.append(bytes); }
    void commit() override { files_.put(path_, std::move(bytes_)); }

private:
    MemoryFiles& files_;
    std::string path_;
    std::string bytes_;
};

} // namespace

std::string MemoryFiles::readAll(const std::string& path) {
    auto it = files_.find(path);
    if (it == files_.end()) {
        throw RuntimeError(err::kFileNotFound);
    }
    return it->second;
}

std::unique_ptr<FileWriter> MemoryFiles::create(const std::string& path) {
    return std::make_unique<MemoryWriter>(*this, path);
}

const std::string& MemoryFiles::get(const std::string& path) const {
    auto it = files_.find(path);
    FUZZ_CHECK(it != files_.end());
    return it->second;
}

Session::Session() : state(desktop.platform(), files) {
    state.dataDirectory = "C:\\Valumat\\";
    state.configWindow = desktop.createWindow();
    desktop.onMessageBox([this](const fake::ShownBox& box) {
        if (box.title == "Fehler!") {
            desktop.queueAnswer(platform::MessageAnswer::Yes);
        }
    });
}

std::vector<fake::ShownBox> Session::errorReports() const {
    std::vector<fake::ShownBox> reports;
    for (const fake::ShownBox& box : desktop.boxes()) {
        if (box.title == "Fehler!") {
            reports.push_back(box);
        }
    }
    return reports;
}

void Session::checkReportsName(const std::string& routine, std::size_t atMost) const {
    const std::vector<fake::ShownBox> reports = errorReports();
    FUZZ_CHECK(reports.size() <= atMost);
    FUZZ_CHECK(reports.size() == desktop.boxes().size());
    const std::string prefix = errorReportText(routine, "");
    const std::string head = prefix.substr(0, prefix.find(": ") + 2);
    for (const fake::ShownBox& box : reports) {
        FUZZ_CHECK(box.text.starts_with(head));
        FUZZ_CHECK(box.icon == platform::MessageIcon::Critical);
        FUZZ_CHECK(box.buttons == platform::MessageButtons::YesNo);
    }
}

} // namespace valumat::fuzz
