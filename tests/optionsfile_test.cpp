#include "store/optionsfile.h"
#include "testutil.h"

#include <gtest/gtest.h>

namespace valumat {
namespace {

class OptionsFile : public ::testing::Test {
protected:
    test::Harness h;
};

TEST_F(OptionsFile, AllOnSelectsSpreadsheetModeAndCreatesTheAutostartEntry) {
    h.desktop.setProgramPath("C:\\Programme\\Tools\\rechner.exe", '\\');
    h.temp.write(kOptionsFile, "autostart: 1\r\nminimiert: 1\r\nexceloptimiert: 1\r\n");
    ReadOptions(h.state, false);
    EXPECT_TRUE(h.state.options.autostart);
    EXPECT_TRUE(h.state.options.minimised);
    EXPECT_TRUE(h.state.options.excelMode);
    EXPECT_EQ(h.state.modeCaption, "Umschalten in Normal-Modus (Word, andere)");
    EXPECT_EQ(h.desktop.autostartEntry(), "C:\\Programme\\Tools\\rechner.exe");
    EXPECT_FALSE(h.state.RefreshInProgress);
}

TEST_F(OptionsFile, OnlyTheLastCharacterCounts) {
    struct C {
        const char* content;
        bool autostart, minimised, excel;
    };
    for (const C& c : {C{"autostart: 10\r\nminimiert: 0\r\nexceloptimiert: 0\r\n", false, false, false},
                       C{"x1\r\ny1\rz1", true, true, true}, C{"a: 1, b: 1\r\nc: 0\r\n", true, true, false},
                       C{"\"1\"\r\n\"a1\"\r\n\"1\" \r\n", true, true, true}}) {
        h.temp.write(kOptionsFile, c.content);
        ReadOptions(h.state, false);
        EXPECT_EQ(h.state.options.autostart, c.autostart) << c.content;
        EXPECT_EQ(h.state.options.minimised, c.minimised) << c.content;
        EXPECT_EQ(h.state.options.excelMode, c.excel) << c.content;
    }
    EXPECT_EQ(h.state.modeCaption, "Umschalten in Normal-Modus (Word, andere)");
    EXPECT_TRUE(h.desktop.boxes().empty());
}

TEST_F(OptionsFile, SaveWritesThreeLinesAndFollowsAutostart) {
    h.state.options.autostart = true;
    SaveOptions(h.state, false);
    EXPECT_EQ(h.temp.read(kOptionsFile), "autostart: 1\r\nminimiert: 0\r\n\"exceloptimiert: 0\"\r\n");
    EXPECT_EQ(h.desktop.autostartEntry(), "C:\\Valumat\\valumat.exe");
    h.state.options = Options{false, true, true};
    SaveOptions(h.state, true);
    EXPECT_EQ(h.temp.read(kOptionsWorkingCopy), "autostart: 0\r\nminimiert: 1\r\n\"exceloptimiert: 1\"\r\n");
    EXPECT_EQ(h.desktop.autostartEntry(), std::nullopt);
    SaveOptions(h.state, true); // removing an absent entry is fine
    EXPECT_TRUE(h.desktop.boxes().empty());
    // The quoted third line reads back as written.
    h.state.options = Options{};
    ReadOptions(h.state, true);
    EXPECT_TRUE(h.state.options.excelMode);
    EXPECT_TRUE(h.state.options.minimised);
}

TEST_F(OptionsFile, MissingFileKeepsDefaultsAndLeavesAutostartAlone) {
    h.desktop.setAutostartEntry("C:\\alt.exe");
    ReadOptions(h.state, false);
    ASSERT_EQ(h.desktop.boxes().size(), 1u);
    EXPECT_EQ(h.desktop.boxes()[0].text, "Folgender Fehler ist im Modul ReadOptions aufgetreten: Datei nicht "
                                         "gefunden.\n\rSoll das Programm fortgeführt werden?");
    EXPECT_EQ(h.state.options.autostart, false);
    EXPECT_EQ(h.state.modeCaption, "Umschalten in Excel-Modus (Tabellenkalkulation)");
    EXPECT_EQ(h.desktop.autostartEntry(), "C:\\alt.exe");
    EXPECT_FALSE(h.state.RefreshInProgress);
}

TEST_F(OptionsFile, ShortFileAppliesWhatItHas) {
    h.temp.write(kOptionsFile, "autostart: 1\r\nminimiert: 1\r\n");
    ReadOptions(h.state, false);
    EXPECT_TRUE(h.state.options.autostart);
    EXPECT_TRUE(h.state.options.minimised);
    ASSERT_EQ(h.desktop.boxes().size(), 1u);
    EXPECT_NE(h.desktop.boxes()[0].text.find("ReadOptions aufgetreten: Eingabe hinter Dateiende."), std::string::npos);
    EXPECT_FALSE(h.state.RefreshInProgress);
}

TEST_F(OptionsFile, FailedSaveKeepsFileAndAutostart) {
    test::FaultyFiles faulty;
    h.state.files = &faulty;
    h.temp.write(kOptionsFile, "autostart: 0\r\nminimiert: 0\r\nexceloptimiert: 0\r\n");
    h.state.options.autostart = true;
    faulty.failAt(test::FaultyFiles::Point::Commit);
    SaveOptions(h.state, false);
    ASSERT_EQ(h.desktop.boxes().size(), 1u);
    EXPECT_TRUE(h.desktop.boxes()[0].text.starts_with("Folgender Fehler ist im Modul SaveOptions aufgetreten: "));
    EXPECT_EQ(h.temp.read(kOptionsFile), "autostart: 0\r\nminimiert: 0\r\nexceloptimiert: 0\r\n");
    EXPECT_EQ(h.desktop.autostartEntry(), std::nullopt);
}

} // namespace
} // namespace valumat
