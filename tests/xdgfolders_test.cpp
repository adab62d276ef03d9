// The freedesktop.org data folders: the user's folder from the environment, the installation's folder beside the
// executables, the writability probe and folder creation on the real disk.
#include "platform/linux/xdg/xdgfolders.h"
#include "runtime/errors.h"
#include "testutil.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>

namespace valumat {
namespace {

namespace fs = std::filesystem;

// Sets or unsets an environment variable for the test's lifetime.
class EnvironmentVariable {
public:
    EnvironmentVariable(const char* name, const char* value) : name_(name) {
        if (const char* old = std::getenv(name)) {
            saved_ = old;
        }
        if (value != nullptr) {
            setenv(name, value, 1);
        } else {
            unsetenv(name);
        }
    }
    ~EnvironmentVariable() {
        if (saved_) {
            setenv(name_, saved_->c_str(), 1);
        } else {
            unsetenv(name_);
        }
    }
    EnvironmentVariable(const EnvironmentVariable&) = delete;
    EnvironmentVariable& operator=(const EnvironmentVariable&) = delete;

private:
    const char* name_;
    std::optional<std::string> saved_;
};

TEST(XdgFolders, UserFolderFromTheEnvironment) {
    struct Case {
        const char* configHome;
        const char* home;
        const char* expected;
    };
    for (const Case c : {Case{"/cfg", "/home/anna", "/cfg/valumat/"}, Case{"/cfg/", "/home/anna", "/cfg/valumat/"},
                         Case{nullptr, "/home/anna", "/home/anna/.config/valumat/"},
                         Case{"", "/home/anna/", "/home/anna/.config/valumat/"},
                         Case{"relativ/cfg", "/home/anna", "/home/anna/.config/valumat/"}}) {
        SCOPED_TRACE(c.configHome == nullptr ? "(unset)" : c.configHome);
        EnvironmentVariable config("XDG_CONFIG_HOME", c.configHome);
        EnvironmentVariable home("HOME", c.home);
        xdg::XdgFolders folders("../share/valumat");
        EXPECT_EQ(folders.userDataFolder(), c.expected);
    }
    // Without either variable the account's home folder counts.
    EnvironmentVariable config("XDG_CONFIG_HOME", nullptr);
    EnvironmentVariable home("HOME", nullptr);
    const std::string folder = xdg::XdgFolders("../share/valumat").userDataFolder();
    EXPECT_TRUE(folder.empty() || (folder.front() == '/' && folder.ends_with("/.config/valumat/"))) << folder;
}

TEST(XdgFolders, InstalledFolderBesideTheExecutables) {
    EXPECT_EQ(xdg::installedDataFolderFor("/usr/bin/valumat", "../share/valumat"), "/usr/share/valumat/");
    EXPECT_EQ(xdg::installedDataFolderFor("/opt/v/bin/valumat-convert", "../share/valumat"), "/opt/v/share/valumat/");
    EXPECT_EQ(xdg::installedDataFolderFor("/usr/local/bin/valumat", "../share/valumat"), "/usr/local/share/valumat/");
    EXPECT_EQ(xdg::installedDataFolderFor("/srv/valumat", "daten"), "/srv/daten/");
    // The build's own value: bin and share of the same prefix.
    EXPECT_EQ(xdg::XdgFolders(VALUMAT_RELATIVE_DATA_FOLDER).installedDataFolder("/usr/bin/valumat"),
              "/usr/share/valumat/");
}

TEST(XdgFolders, WritableAndCreate) {
    test::TempDir temp;
    xdg::XdgFolders folders("../share/valumat");
    EXPECT_TRUE(folders.folderWritable(temp.dir()));
    EXPECT_TRUE(folders.folderWritable(temp.path().string())); // without the final separator too
    EXPECT_FALSE(folders.folderWritable(temp.dir() + "nicht-da/"));
    EXPECT_TRUE(fs::is_empty(temp.path())); // the probe is gone

    folders.createFolder(temp.dir() + "a/b/valumat/");
    EXPECT_TRUE(fs::is_directory(temp.path() / "a/b/valumat"));
    folders.createFolder(temp.dir() + "a/b/valumat/"); // exists already: fine
    EXPECT_TRUE(folders.folderWritable(temp.dir() + "a/b/valumat/"));

    temp.write("datei", "x");
    try {
        folders.createFolder(temp.dir() + "datei/unter/");
        FAIL() << "a folder below a file was created";
    } catch (const RuntimeError& e) {
        EXPECT_EQ(e.description(), err::kPathNotFound);
    }
    EXPECT_FALSE(folders.folderWritable("/proc/"));
}

} // namespace
} // namespace valumat
