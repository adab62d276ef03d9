#include "runtime/errors.h"
#include "runtime/keysender.h"
#include "testutil.h"

#include <gtest/gtest.h>

namespace valumat {
namespace {

struct Case {
    const char* argument;
    const char* transcript;
};

class SendKeys : public ::testing::TestWithParam<Case> {};

TEST_P(SendKeys, ExactEventOrder) {
    fake::FakeDesktop desktop;
    SendKeyCombination(desktop.platform(), GetParam().argument);
    EXPECT_EQ(desktop.transcript(), GetParam().transcript);
    EXPECT_TRUE(desktop.keysDown().empty());
}

INSTANTIATE_TEST_SUITE_P(
    Combinations, SendKeys,
    ::testing::Values(
        Case{"STRG+86", "Alt up, Ctrl up, Shift up, Ctrl down, V down (ext), pump, V up, Ctrl up"},
        Case{"113", "Alt up, Ctrl up, Shift up, F2 down (ext), pump, F2 up"},
        Case{"SHIFT+36", "Alt up, Ctrl up, Shift up, Shift down, Home down (ext), pump, Home up, Shift up"},
        Case{"STRG", "Alt up, Ctrl up, Shift up, Ctrl down, pump, Ctrl up"},
        Case{"strg+86", "Alt up, Ctrl up, Shift up, Ctrl down, V down (ext), pump, V up, Ctrl up"},
        Case{"STRG+V", "Alt up, Ctrl up, Shift up, Ctrl down, pump, Ctrl up"}, // letters are not key names
        Case{"STRG+36+37",
             "Alt up, Ctrl up, Shift up, Ctrl down, Home down (ext), Left down (ext), pump, Home up, Left up, Ctrl up"},
        Case{"SHIFT+ALT+CTRL+9", "Alt up, Ctrl up, Shift up, Alt down, Ctrl down, Shift down, Tab down (ext), pump, "
                                 "Tab up, Alt up, Ctrl up, Shift up"},
        Case{" STRG + 86 ", // a modifier with spaces is pressed through the substring test, the number still reads
             "Alt up, Ctrl up, Shift up, Ctrl down, V down (ext), pump, V up, Ctrl up"},
        Case{"&H56", "Alt up, Ctrl up, Shift up, V down (ext), pump, V up"},
        Case{"0.4+86.5+87.5", "Alt up, Ctrl up, Shift up, V down (ext), X down (ext), pump, V up, X up"},
        Case{"STRG+", "Alt up, Ctrl up, Shift up, Ctrl down, pump, Ctrl up"}),
    [](const auto& p) { return std::to_string(p.index); });

TEST(SendKeys, CodeOutsideOneTo255PressesNothing) {
    for (const char* argument : {"STRG+67+256", "STRG+-5+67", "255.5", "1e10"}) {
        fake::FakeDesktop desktop;
        EXPECT_THROW(SendKeyCombination(desktop.platform(), argument), RuntimeError) << argument;
        EXPECT_EQ(desktop.transcript(), "") << argument;
    }
}

TEST(SendKeys, FailingEventLeavesNoKeyDown) {
    fake::FakeDesktop desktop;
    desktop.failKey(86);
    EXPECT_THROW(SendKeyCombination(desktop.platform(), "STRG+SHIFT+36+86"), RuntimeError);
    EXPECT_TRUE(desktop.keysDown().empty()) << desktop.transcript();
    EXPECT_EQ(desktop.transcript(), "Alt up, Ctrl up, Shift up, Ctrl down, Shift down, Home down (ext), Ctrl up, "
                                    "Shift up, Home up");
}

} // namespace
} // namespace valumat
