#include "platform/linux/xdg/xdgautostart.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>

namespace valumat::xdg {
namespace {

namespace fs = std::filesystem;

class ScopedEnvironment {
public:
    explicit ScopedEnvironment(const char* name) : name_(name) {
        if (const char* value = std::getenv(name)) {
            saved_ = value;
        }
    }
    ~ScopedEnvironment() {
        if (saved_) {
            setenv(name_, saved_->c_str(), 1);
        } else {
            unsetenv(name_);
        }
    }
    ScopedEnvironment(const ScopedEnvironment&) = delete;
    ScopedEnvironment& operator=(const ScopedEnvironment&) = delete;

private:
    const char* name_;
    std::optional<std::string> saved_;
};

std::string readFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

class AutostartTest : public ::testing::Test {
protected:
    void SetUp() override {
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        root_ = fs::temp_directory_path() / ("valumat-autostart-" + std::to_string(getpid()) + "-" + info->name());
        fs::remove_all(root_);
        fs::create_directories(root_ / "home");
        setenv("HOME", (root_ / "home").c_str(), 1);
        unsetenv("XDG_CONFIG_HOME");
    }
    void TearDown() override { fs::remove_all(root_); }

    // Every name in the folder, so that stray temporary files show.
    static std::vector<std::string> namesIn(const fs::path& folder) {
        std::vector<std::string> names;
        for (const auto& entry : fs::directory_iterator(folder)) {
            names.push_back(entry.path().filename().string());
        }
        return names;
    }

    ScopedEnvironment home_{"HOME"};
    ScopedEnvironment config_{"XDG_CONFIG_HOME"};
    fs::path root_;
    XdgAutostart autostart_;
};

TEST_F(AutostartTest, WritesTheEntryUnderHomeConfig) {
    autostart_.setEntry("/opt/valumat/valumat");
    const fs::path entry = root_ / "home/.config/autostart/valumat.desktop";
    EXPECT_EQ(readFile(entry), "[Desktop Entry]\n"
                               "Type=Application\n"
                               "Name=Valumat\n"
                               "Comment=Währungsbeträge per Tastenkombination umrechnen\n"
                               "Exec=/opt/valumat/valumat\n"
                               "Terminal=false\n"
                               "X-GNOME-Autostart-enabled=true\n");
    EXPECT_EQ(namesIn(entry.parent_path()), std::vector<std::string>{"valumat.desktop"});
}

TEST_F(AutostartTest, XdgConfigHomeWinsWhenAbsolute) {
    setenv("XDG_CONFIG_HOME", (root_ / "config").c_str(), 1);
    autostart_.setEntry("/usr/bin/valumat");
    EXPECT_TRUE(fs::exists(root_ / "config/autostart/valumat.desktop"));
    EXPECT_FALSE(fs::exists(root_ / "home/.config"));

    setenv("XDG_CONFIG_HOME", "relative/config", 1); // invalid: ignored
    autostart_.setEntry("/usr/bin/valumat");
    EXPECT_TRUE(fs::exists(root_ / "home/.config/autostart/valumat.desktop"));
}

TEST_F(AutostartTest, ExecQuotesThePathForBothEscapeLayers) {
    EXPECT_EQ(desktopExecValue("/home/anna/Meine Programme/valumat"), "\"/home/anna/Meine Programme/valumat\"");
    // " ` $ \ are escaped inside the quotes, and that backslash is doubled again as a string value's escape.
    EXPECT_EQ(desktopExecValue(R"(/a"b/c`d/e$f/g\h)"), R"("/a\\"b/c\\`d/e\\$f/g\\\\h")");
    EXPECT_EQ(desktopExecValue("/opt/100%/valumat"), "\"/opt/100%%/valumat\"");
    EXPECT_EQ(desktopExecValue("/opt/a\nb\tc"), "\"/opt/a\\nb\\tc\"");
    EXPECT_EQ(desktopExecValue("/opt/Währung/valumat"), "/opt/Währung/valumat");
    EXPECT_EQ(desktopExecValue("/usr/bin/valumat"), "/usr/bin/valumat");
    EXPECT_EQ(desktopExecValue("/opt/a'b/valumat"), "\"/opt/a'b/valumat\"");
    EXPECT_EQ(desktopExecValue("/opt/a~b/valumat"), "\"/opt/a~b/valumat\"");
}

TEST_F(AutostartTest, OverwritesAndRemoves) {
    const fs::path folder = root_ / "home/.config/autostart";
    fs::create_directories(folder);
    std::ofstream(folder / "other.desktop") << "[Desktop Entry]\n";
    autostart_.setEntry("/old/valumat");
    autostart_.setEntry("/new/valumat");
    EXPECT_NE(readFile(folder / "valumat.desktop").find("Exec=/new/valumat\n"), std::string::npos);
    EXPECT_EQ(namesIn(folder).size(), 2U);

    autostart_.removeEntry();
    EXPECT_FALSE(fs::exists(folder / "valumat.desktop"));
    EXPECT_TRUE(fs::exists(folder / "other.desktop"));
    autostart_.removeEntry(); // nothing there: no error
}

TEST_F(AutostartTest, FailureLeavesThingsAsTheyWere) {
    // The entry's place is taken by a folder: the rename fails, the folder stays, no temporary file is left.
    const fs::path folder = root_ / "home/.config/autostart";
    fs::create_directories(folder / "valumat.desktop/inside");
    autostart_.setEntry("/opt/valumat/valumat");
    autostart_.removeEntry();
    EXPECT_TRUE(fs::is_directory(folder / "valumat.desktop/inside"));
    EXPECT_EQ(namesIn(folder), std::vector<std::string>{"valumat.desktop"});

    // "autostart" is a file: no folder can be made.
    setenv("XDG_CONFIG_HOME", (root_ / "blocked").c_str(), 1);
    fs::create_directories(root_ / "blocked");
    std::ofstream(root_ / "blocked/autostart") << "x";
    autostart_.setEntry("/opt/valumat/valumat");
    EXPECT_EQ(readFile(root_ / "blocked/autostart"), "x");

    // No place at all.
    unsetenv("XDG_CONFIG_HOME");
    unsetenv("HOME");
    EXPECT_TRUE(autostartEntryPath().empty());
    autostart_.setEntry("/opt/valumat/valumat");
    autostart_.removeEntry();
}

} // namespace
} // namespace valumat::xdg
