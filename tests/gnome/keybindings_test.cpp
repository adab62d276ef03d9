// GNOME's custom shortcuts as Valumat writes them, against GSettings' keyfile backend (a settings file of the test's
// own, GSETTINGS_BACKEND=keyfile set by the test's command) with entries of the user's own present.
#include "platform/linux/gnome/gnomehotkeys.h"
#include "platform/linux/gnome/keybindings.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

namespace {

using valumat::gnome::accelerator;
using valumat::gnome::CustomBinding;
using valumat::gnome::CustomKeybindings;
using valumat::gnome::normalAccelerator;

const std::string kCustom = "org.gnome.settings-daemon.plugins.media-keys.custom-keybinding";
const std::string kUserPath = "/org/gnome/settings-daemon/plugins/media-keys/custom-keybindings/custom0/";

std::string gsettings(const std::string& arguments) {
    std::string output;
    FILE* pipe = ::popen(("gsettings " + arguments + " 2>&1").c_str(), "r");
    char buffer[4096];
    while (pipe != nullptr && std::fgets(buffer, sizeof buffer, pipe) != nullptr) {
        output += buffer;
    }
    if (pipe != nullptr) {
        ::pclose(pipe);
    }
    while (!output.empty() && output.back() == '\n') {
        output.pop_back();
    }
    return output;
}

class KeybindingsTest : public testing::Test {
protected:
    void SetUp() override {
        if (!CustomKeybindings::available()) {
            GTEST_SKIP() << "gnome-settings-daemon's schemas are not installed";
        }
        // The user's own shortcut, and GNOME's own ones as shipped.
        gsettings("set org.gnome.settings-daemon.plugins.media-keys custom-keybindings \"['" + kUserPath + "']\"");
        gsettings("set " + kCustom + ":" + kUserPath + " name 'Terminal'");
        gsettings("set " + kCustom + ":" + kUserPath + " binding '<Primary><Alt>t'");
        gsettings("set " + kCustom + ":" + kUserPath + " command 'xterm'");
    }
    static std::string list() {
        return gsettings("get org.gnome.settings-daemon.plugins.media-keys custom-keybindings");
    }
};

TEST(Accelerators, AsGnomeWritesThemAndComparable) {
    EXPECT_EQ(accelerator(2, 'D'), "<Control>d");
    EXPECT_EQ(accelerator(2 | 4, 0x74), "<Shift><Control>F5");
    EXPECT_EQ(accelerator(0, 0x78), "F9");
    EXPECT_EQ(accelerator(2, 0x07), ""); // no key
    EXPECT_EQ(normalAccelerator("<Primary>D"), normalAccelerator("<Control>d"));
    EXPECT_EQ(normalAccelerator("<Ctrl><Alt>t"), normalAccelerator("<Mod1><Primary>T"));
    EXPECT_NE(normalAccelerator("<Control>d"), normalAccelerator("<Shift><Control>d"));
}

TEST_F(KeybindingsTest, OursWrittenBesideTheUsersAndReplacedAsAWhole) {
    CustomKeybindings::write({{0, "Valumat: 1", "<Control>d", "'/usr/bin/valumat' --hotkey 0"},
                              {2, "Valumat: 3", "F9", "'/usr/bin/valumat' --hotkey 2"}});
    EXPECT_EQ(list(), "['" + kUserPath + "', '" + std::string(CustomKeybindings::kPathPrefix) + "0/', '" +
                          CustomKeybindings::kPathPrefix + "2/']");
    const std::string ours = std::string(CustomKeybindings::kPathPrefix) + "0/";
    EXPECT_EQ(gsettings("get " + kCustom + ":" + ours + " binding"), "'<Control>d'");
    EXPECT_EQ(gsettings("get " + kCustom + ":" + ours + " command"), "\"'/usr/bin/valumat' --hotkey 0\"");

    // A restart (or a crash before it) writes again: no entry piles up, a binding gone is gone.
    CustomKeybindings::write({{0, "Valumat: 1", "<Control>k", "'/usr/bin/valumat' --hotkey 0"}});
    EXPECT_EQ(list(), "['" + kUserPath + "', '" + ours + "']");
    EXPECT_EQ(gsettings("get " + kCustom + ":" + ours + " binding"), "'<Control>k'");
    const std::string gone = std::string(CustomKeybindings::kPathPrefix) + "2/";
    EXPECT_EQ(gsettings("get " + kCustom + ":" + gone + " binding"), "''"); // reset

    CustomKeybindings::write({});
    EXPECT_EQ(list(), "['" + kUserPath + "']");
    EXPECT_EQ(gsettings("get " + kCustom + ":" + kUserPath + " binding"), "'<Primary><Alt>t'");
}

TEST_F(KeybindingsTest, CombinationsInUseAreRefused) {
    // The user's own shortcut and one of GNOME's (Alt+F4 closes a window, when the window manager's schema is there).
    EXPECT_EQ(CustomKeybindings::usedBy("<Control><Alt>t"), "\"Terminal\"");
    EXPECT_EQ(CustomKeybindings::usedBy("<Control>d"), "");
    valumat::gnome::HotKeys hotKeys([](int id) { return id - 100; }, "/opt/Valu mat/valumat");
    EXPECT_FALSE(hotKeys.registerHotKey(1, 100, 2 | 1, 'T'));
    EXPECT_TRUE(hotKeys.registerHotKey(1, 101, 2, 'D'));
    EXPECT_FALSE(hotKeys.registerHotKey(1, 102, 2, 'D')); // ours already
    EXPECT_EQ(CustomKeybindings::ours().size(), 1U);
    EXPECT_EQ(CustomKeybindings::ours()[0].command, "'/opt/Valu mat/valumat' --hotkey 1");
    if (gsettings("list-schemas").find("org.gnome.desktop.wm.keybindings") != std::string::npos) {
        EXPECT_NE(CustomKeybindings::usedBy("<Alt>F4"), "");
        EXPECT_FALSE(hotKeys.registerHotKey(1, 103, 1, 0x73));
    }
    EXPECT_TRUE(hotKeys.unregisterHotKey(1, 101));
    EXPECT_TRUE(CustomKeybindings::ours().empty());
    EXPECT_EQ(list(), "['" + kUserPath + "']");
}

} // namespace
