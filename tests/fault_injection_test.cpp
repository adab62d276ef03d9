// Saving the three data files when the disk fails: every write of SaveRates, SaveKeyList and SaveOptions is made to
// fail at every step (opening, each line, putting the file in place), and on a full and on a read-only disk. Each
// failure must give exactly one error report naming the routine, leave the previous file byte for byte and no
// half-written sibling behind, and leave the program state as the routine promises.
#include "runtime/errors.h"
#include "runtime/report.h"
#include "store/currencyfile.h"
#include "store/keyfile.h"
#include "store/optionsfile.h"
#include "testutil.h"

#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <sstream>
#include <tuple>

#include <sched.h>
#include <sys/mount.h>
#include <unistd.h>

namespace valumat {
namespace {

namespace fs = std::filesystem;

// The disk, with one step of the next write failing: the create, the n-th write (after half of its bytes went out,
// as on a disk that fills up), or the commit (the flush before the file is put in place). Counts the steps.
class WriteFaults : public FileSystem {
public:
    enum class Point { None, Create, Write, Commit };

    void arm(Point point, int write = 0, std::string description = err::kDiskFull) {
        point_ = point;
        write_ = write;
        description_ = std::move(description);
    }
    int writes() const { return writes_; }

    std::string readAll(const std::string& path) override { return diskFileSystem().readAll(path); }

    std::unique_ptr<FileWriter> create(const std::string& path) override {
        writes_ = 0;
        if (point_ == Point::Create) {
            throw RuntimeError(description_);
        }
        return std::make_unique<Writer>(*this, diskFileSystem().create(path));
    }

private:
    class Writer : public FileWriter {
    public:
        Writer(WriteFaults& owner, std::unique_ptr<FileWriter> inner) : owner_(owner), inner_(std::move(inner)) {}
        void write(std::string_view bytes) override {
            if (owner_.point_ == Point::Write && ++owner_.writes_ == owner_.write_) {
                inner_->write(bytes.substr(0, bytes.size() / 2));
                throw RuntimeError(owner_.description_);
            }
            if (owner_.point_ != Point::Write) {
                ++owner_.writes_;
            }
            inner_->write(bytes);
        }
        void commit() override {
            if (owner_.point_ == Point::Commit) {
                throw RuntimeError(owner_.description_);
            }
            inner_->commit();
        }

    private:
        WriteFaults& owner_;
        std::unique_ptr<FileWriter> inner_;
    };

    Point point_ = Point::None;
    int write_ = 0;
    int writes_ = 0;
    std::string description_;
};

// Every entry of a folder with its bytes (a symbolic link as its target), so that a comparison shows changed files
// and leftover siblings alike.
std::map<std::string, std::string> folder(const fs::path& dir) {
    std::map<std::string, std::string> entries;
    for (const auto& entry : fs::directory_iterator(dir)) {
        const std::string name = entry.path().filename().string();
        if (entry.is_symlink()) {
            entries[name] = "-> " + fs::read_symlink(entry.path()).string();
            continue;
        }
        std::ifstream in(entry.path(), std::ios::binary);
        std::ostringstream bytes;
        bytes << in.rdbuf();
        entries[name] = bytes.str();
    }
    return entries;
}

struct Routine {
    const char* name;
    const char* file;
    const char* workingCopy;
    void (*save)(AppState&, bool);
};

const Routine kRoutines[] = {
    {"SaveRates", kCurrencyFile, kCurrencyWorkingCopy, SaveRates},
    {"SaveKeyList", kBindingFile, kBindingWorkingCopy, SaveKeyList},
    {"SaveOptions", kOptionsFile, kOptionsWorkingCopy, SaveOptions},
};

// The shipped data loaded, both copies of every file on disk, and an edit in each table that a save would write.
class Loaded {
public:
    explicit Loaded(const std::string& directory = "") {
        if (!directory.empty()) {
            h.state.dataDirectory = directory;
        }
        for (const Routine& r : kRoutines) {
            const std::string bytes = diskFileSystem().readAll(test::shippedDataDir() + r.file);
            write(r.file, bytes);
            write(r.workingCopy, bytes + "\r\n"); // the working copy differs from the applied file
        }
        ReadRates(h.state, false);
        ReadKeyList(h.state, false);
        ReadOptions(h.state, false);
        EXPECT_TRUE(h.desktop.boxes().empty());

        h.state.currencyEditor.fields.unitsPerEuro = "2,5"; // the shown currency was edited
        h.state.bindings[0].codePosition = 2;
        h.state.bindings[0].codeText = " DM";
        h.state.options.autostart = true;
        h.desktop.setAutostartEntry(std::nullopt);
        h.state.markChanged();
        h.state.files = &faults;
    }

    void write(const std::string& name, const std::string& bytes) const {
        std::ofstream(h.state.path(name), std::ios::binary) << bytes;
    }

    // The report shown, which must be the only one.
    void expectOneReport(const Routine& r, const std::string& description) const {
        ASSERT_EQ(h.desktop.boxes().size(), 1u);
        const fake::ShownBox& box = h.desktop.boxes()[0];
        EXPECT_EQ(box.title, "Fehler!");
        EXPECT_EQ(box.text, errorReportText(r.name, description));
        EXPECT_EQ(box.icon, platform::MessageIcon::Critical);
    }

    // The state the routine promises after a failed write: the shown currency stored into its row, the pending
    // changes kept, the autostart entry not brought in line.
    void expectStateAfterFailure(const Routine& r) const {
        const bool stored =
            h.state.currencies.line(h.state.CurrentCurrencyRow) == composeCurrencyLine(h.state.currencyEditor.fields);
        EXPECT_EQ(stored, r.save == SaveRates);
        EXPECT_TRUE(h.state.ChangesPending);
        EXPECT_TRUE(h.state.applyEnabled);
        EXPECT_EQ(h.desktop.autostartEntry(), std::nullopt);
        EXPECT_EQ(h.state.bindings[0].codeText, " DM");
    }

    test::Harness h;
    WriteFaults faults;
};

class SaveFault : public ::testing::TestWithParam<std::tuple<int, bool>> {
protected:
    const Routine& routine() const { return kRoutines[std::get<0>(GetParam())]; }
    bool workingCopy() const { return std::get<1>(GetParam()); }
};

TEST_P(SaveFault, EveryStepFailsCleanly) {
    const Routine& r = routine();
    int lines = 0;
    {
        Loaded count;
        r.save(count.h.state, workingCopy());
        ASSERT_TRUE(count.h.desktop.boxes().empty());
        lines = count.faults.writes();
        ASSERT_GT(lines, 0);
    }
    struct Step {
        WriteFaults::Point point;
        int write;
    };
    std::vector<Step> steps = {{WriteFaults::Point::Create, 0}, {WriteFaults::Point::Commit, 0}};
    for (int n = 1; n <= lines; ++n) {
        steps.push_back({WriteFaults::Point::Write, n});
    }
    for (const Step& step : steps) {
        SCOPED_TRACE("step " + std::to_string(static_cast<int>(step.point)) + ", line " + std::to_string(step.write));
        Loaded w;
        const auto before = folder(w.h.temp.path());
        const std::string description =
            step.point == WriteFaults::Point::Create ? err::kPermissionDenied : err::kDiskFull;
        w.faults.arm(step.point, step.write, description);
        r.save(w.h.state, workingCopy());

        w.expectOneReport(r, description);
        EXPECT_EQ(folder(w.h.temp.path()), before); // the previous file whole, nothing left beside it
        w.expectStateAfterFailure(r);

        // Once the disk works again the same save goes through.
        w.h.desktop.clearBoxes();
        w.faults.arm(WriteFaults::Point::None);
        r.save(w.h.state, workingCopy());
        EXPECT_TRUE(w.h.desktop.boxes().empty());
        EXPECT_NE(w.h.temp.read(workingCopy() ? r.workingCopy : r.file),
                  before.at(workingCopy() ? r.workingCopy : r.file));
        EXPECT_EQ(folder(w.h.temp.path()).size(), before.size());
    }
}

INSTANTIATE_TEST_SUITE_P(Matrix, SaveFault, ::testing::Combine(::testing::Range(0, 3), ::testing::Bool()),
                         [](const auto& p) {
                             return std::string(kRoutines[std::get<0>(p.param)].name) +
                                    (std::get<1>(p.param) ? "WorkingCopy" : "AppliedFile");
                         });

TEST(SaveFault, AnswerNoEndsTheProgramAndLeavesThePreviousFile) {
    for (const Routine& r : kRoutines) {
        SCOPED_TRACE(r.name);
        Loaded w;
        w.h.errorAnswer = platform::MessageAnswer::No;
        const auto before = folder(w.h.temp.path());
        w.faults.arm(WriteFaults::Point::Write, 1);
        EXPECT_THROW(r.save(w.h.state, false), ProgramEnded);
        EXPECT_TRUE(w.h.desktop.ended());
        EXPECT_EQ(folder(w.h.temp.path()), before);
    }
}

// A real full disk: the sibling the writer opens is /dev/full, which takes the bytes into the buffer and refuses them
// with ENOSPC when they are flushed (a large table already while it is written).
TEST(SaveFault, FullDiskThroughTheRealWriter) {
    if (!fs::exists("/dev/full")) {
        GTEST_SKIP() << "no /dev/full on this system";
    }
    for (const bool large : {false, true}) {
        for (const Routine& r : kRoutines) {
            if (large && r.save != SaveRates) {
                continue;
            }
            SCOPED_TRACE(std::string(r.name) + (large ? " (large table)" : ""));
            Loaded w;
            if (large) {
                for (int i = 0; i < 2000; ++i) {
                    w.h.state.currencies.insert("Währung " + std::to_string(i) + "; XX ;Land; 1,5; 0,6666667; 0; 2");
                }
            }
            w.h.state.files = &diskFileSystem();
            const auto before = folder(w.h.temp.path());
            fs::create_symlink("/dev/full", w.h.temp.path() / (std::string(r.file) + ".new"));
            r.save(w.h.state, false);
            w.expectOneReport(r, err::kDiskFull);
            EXPECT_EQ(folder(w.h.temp.path()), before);
            w.expectStateAfterFailure(r);
        }
    }
}

TEST(SaveFault, ReadOnlyFolderWithPermissions) {
    if (geteuid() == 0) {
        GTEST_SKIP() << "running as root, where folder permissions do not stop writing; the read-only mount test "
                        "and the create faults of the matrix cover this case";
    }
    for (const Routine& r : kRoutines) {
        SCOPED_TRACE(r.name);
        Loaded w;
        w.h.state.files = &diskFileSystem();
        const auto before = folder(w.h.temp.path());
        fs::permissions(w.h.temp.path(), fs::perms::owner_read | fs::perms::owner_exec);
        r.save(w.h.state, false);
        fs::permissions(w.h.temp.path(), fs::perms::owner_all);
        w.expectOneReport(r, err::kPermissionDenied);
        EXPECT_EQ(folder(w.h.temp.path()), before);
        w.expectStateAfterFailure(r);
    }
}

// A small tmpfs in a mount namespace of this process only (it goes away with the process). Needs the right to
// mount; the tests skip without it.
class ScratchMount {
public:
    explicit ScratchMount(const fs::path& where, const std::string& options) : path_(where) {
        fs::create_directories(where);
        if (unshare(CLONE_NEWNS) != 0 || mount("none", "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
            mount("tmpfs", where.c_str(), "tmpfs", 0, options.c_str()) != 0) {
            return;
        }
        mounted_ = true;
    }
    ~ScratchMount() {
        if (mounted_) {
            umount2(path_.c_str(), MNT_DETACH);
        }
    }
    ScratchMount(const ScratchMount&) = delete;
    ScratchMount& operator=(const ScratchMount&) = delete;

    bool mounted() const { return mounted_; }
    bool remountReadOnly() const {
        return mount("tmpfs", path_.c_str(), "tmpfs", MS_REMOUNT | MS_RDONLY, nullptr) == 0;
    }
    // Fills the file system to the last block.
    void fill() const {
        std::FILE* file = std::fopen((path_ / "filler").c_str(), "wb");
        ASSERT_NE(file, nullptr);
        const std::string block(4096, 'x');
        while (std::fwrite(block.data(), 1, block.size(), file) == block.size() && std::fflush(file) == 0) {
        }
        std::fclose(file);
    }

private:
    fs::path path_;
    bool mounted_ = false;
};

TEST(SaveFault, FullTmpfs) {
    test::TempDir outer;
    ScratchMount disk(outer.path() / "disk", "size=64k");
    if (!disk.mounted()) {
        GTEST_SKIP() << "cannot mount a scratch tmpfs here (needs root and mount namespaces)";
    }
    for (const Routine& r : kRoutines) {
        SCOPED_TRACE(r.name);
        Loaded w((outer.path() / "disk").string() + "/");
        w.h.state.files = &diskFileSystem();
        disk.fill();
        const auto before = folder(outer.path() / "disk");
        r.save(w.h.state, false);
        w.expectOneReport(r, err::kDiskFull);
        EXPECT_EQ(folder(outer.path() / "disk"), before);
        w.expectStateAfterFailure(r);
        fs::remove(outer.path() / "disk" / "filler");
    }
}

TEST(SaveFault, ReadOnlyTmpfs) {
    test::TempDir outer;
    ScratchMount disk(outer.path() / "disk", "size=64k");
    if (!disk.mounted()) {
        GTEST_SKIP() << "cannot mount a scratch tmpfs here (needs root and mount namespaces)";
    }
    std::vector<std::unique_ptr<Loaded>> worlds;
    for (std::size_t i = 0; i < std::size(kRoutines); ++i) {
        worlds.push_back(std::make_unique<Loaded>((outer.path() / "disk").string() + "/"));
        worlds.back()->h.state.files = &diskFileSystem();
    }
    const auto before = folder(outer.path() / "disk");
    ASSERT_TRUE(disk.remountReadOnly());
    for (std::size_t i = 0; i < std::size(kRoutines); ++i) {
        const Routine& r = kRoutines[i];
        SCOPED_TRACE(r.name);
        Loaded& w = *worlds[i];
        r.save(w.h.state, false);
        w.expectOneReport(r, err::kPermissionDenied);
        EXPECT_EQ(folder(outer.path() / "disk"), before);
        w.expectStateAfterFailure(r);
    }
}

} // namespace
} // namespace valumat
