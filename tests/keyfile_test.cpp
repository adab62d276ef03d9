#include "runtime/errors.h"
#include "store/keyfile.h"
#include "testutil.h"

#include <gtest/gtest.h>

namespace valumat {
namespace {

const std::string kLineD = "Euro#:#Deutsche Mark#:#STRG#:#D#:#2#:#DM#:#2#:#,";
const std::string kLineF5 = "Euro#:#Yen#:#-#:#F5#:#1#:#¥ #:#0#:#.";

class KeyFile : public ::testing::Test {
protected:
    void file(const std::string& utf8) { h.temp.write(kBindingFile, test::cp1252(utf8)); }
    test::Harness h;
};

TEST_F(KeyFile, ReadsIntoConsecutiveSlotsWithDisplayLines) {
    file(kLineD + "\r\n\r\n   \r\n" + kLineF5 + "\r\n");
    ReadKeyList(h.state, false);
    EXPECT_EQ(h.state.keyListLines,
              (std::vector<std::string>{"STRG + D    Euro >> Deutsche Mark", "F5    Euro >> Yen"}));
    const KeyBinding& d = h.state.bindings[0];
    EXPECT_EQ(d, (KeyBinding{"Euro", "Deutsche Mark", "STRG", "D", 2, "DM", 2, ","}));
    EXPECT_EQ(h.state.bindings[1], (KeyBinding{"Euro", "Yen", "-", "F5", 1, "¥ ", 0, "."}));
    EXPECT_FALSE(h.state.RefreshInProgress);
    EXPECT_FALSE(h.state.bindingEditorLocked);
    EXPECT_TRUE(h.desktop.boxes().empty());

    SaveKeyList(h.state, true);
    EXPECT_EQ(h.temp.read(kBindingWorkingCopy), test::cp1252(kLineD + "\r\n" + kLineF5 + "\r\n"));
}

TEST_F(KeyFile, FieldsAreVerbatimAndNumbersReadLikeTheRunTime) {
    file("Euro #:#Yen#:#STRG#:#Y#:#0#:##:#2#:#,\r\n"
         "A#:#B#:#STRG#:#1#:#0#:#x#:#2.6#:#\r\n"
         "A#:#B#:#STRG#:#2#:#0#:#x#:#2,5#:##:#\r\n"
         "A#:#B#:#STRG#:#3#:#0x#:#x#:##:#,\r\n");
    ReadKeyList(h.state, false);
    EXPECT_EQ(h.state.bindings[0].sourceCurrency, "Euro ");
    EXPECT_EQ(h.state.bindings[0].codeText, "");
    EXPECT_EQ(h.state.bindings[1].resultDecimals, 3);
    EXPECT_EQ(h.state.bindings[1].decimalSeparator, "");
    EXPECT_EQ(h.state.bindings[2].resultDecimals, 2);
    EXPECT_EQ(h.state.bindings[2].decimalSeparator, "#:#"); // field 8 is all that remains
    EXPECT_EQ(h.state.bindings[3].resultDecimals, 0);
}

TEST_F(KeyFile, BadLineStopsReadingWithAReport) {
    for (const std::string bad :
         {"A#:#B#:#STRG#:#1#:#0#:#x#:#2", "A#:#B#:#STRG#:#1#:#256#:#x#:#2#:#,", "A#:#B#:#STRG#:#1#:#0#:#x#:#-1#:#,"}) {
        h.desktop.clearBoxes();
        file(kLineD + "\r\n" + bad + "\r\n" + kLineF5 + "\r\n");
        ReadKeyList(h.state, false);
        ASSERT_EQ(h.desktop.boxes().size(), 1u) << bad;
        EXPECT_TRUE(h.desktop.boxes()[0].text.starts_with("Folgender Fehler ist im Modul ReadKeyList aufgetreten: "));
        EXPECT_EQ(h.state.keyListLines.size(), 1u);
        EXPECT_FALSE(h.state.RefreshInProgress);
    }
}

TEST_F(KeyFile, TwoHundredAndOneSlotsAndNoMore) {
    std::string content;
    for (int i = 0; i < 203; ++i) {
        content += "Euro#:#Yen#:#STRG#:#" + std::to_string(i % 10) + "#:#0#:##:#" + std::to_string(i % 7) + "#:#,\r\n";
    }
    file(content);
    ReadKeyList(h.state, false);
    EXPECT_EQ(h.state.keyListLines.size(), 201u);
    EXPECT_EQ(h.state.bindings[200].resultDecimals, 200 % 7);
    ASSERT_EQ(h.desktop.boxes().size(), 1u);
    EXPECT_EQ(h.desktop.boxes()[0].text, "Folgender Fehler ist im Modul ReadKeyList aufgetreten: Index außerhalb des "
                                         "gültigen Bereichs.\n\rSoll das Programm fortgeführt werden?");
}

TEST_F(KeyFile, GapsAndHalfEmptySlots) {
    h.state.bindings[0] = KeyBinding{"Euro", "Yen", "STRG", "Y", 0, "", 2, ","};
    h.state.bindings[3] = KeyBinding{"", "", "STRG", "Q", 0, "", 2, ","}; // free: both names empty
    h.state.bindings[5] = KeyBinding{"", "Yen", "STRG", "Z", 0, "", 2, ","};
    SaveKeyList(h.state, false);
    EXPECT_EQ(h.temp.read(kBindingFile),
              "Euro#:#Yen#:#STRG#:#Y#:#0#:##:#2#:#,\r\n#:#Yen#:#STRG#:#Z#:#0#:##:#2#:#,\r\n");
    KeyBinding leftover{"Alt", "Rest", "STRG", "R", 0, "", 2, ","};
    h.state.bindings[2] = leftover;
    ReadKeyList(h.state, false);
    EXPECT_EQ(h.state.bindings[1].sourceCurrency, "");
    EXPECT_EQ(h.state.bindings[1].secondKey, "Z");
    EXPECT_EQ(h.state.bindings[2], leftover); // slots after the last binding read keep what they held
}

TEST_F(KeyFile, EmptyFileLocksTheEditorMissingFileChangesNothing) {
    file(kLineD + "\r\n");
    ReadKeyList(h.state, false);
    h.temp.remove(kBindingFile);
    ReadKeyList(h.state, false);
    ASSERT_EQ(h.desktop.boxes().size(), 1u);
    EXPECT_NE(h.desktop.boxes()[0].text.find("Datei nicht gefunden"), std::string::npos);
    EXPECT_EQ(h.state.keyListLines.size(), 1u);
    EXPECT_FALSE(h.state.bindingEditorLocked);

    file("");
    ReadKeyList(h.state, false);
    EXPECT_TRUE(h.state.keyListLines.empty());
    EXPECT_TRUE(h.state.bindingEditorLocked);
}

TEST_F(KeyFile, FailedWriteKeepsThePreviousFile) {
    test::FaultyFiles faulty;
    h.state.files = &faulty;
    h.state.bindings[0] = KeyBinding{"Euro", "Yen", "STRG", "Y", 0, "", 2, ","};
    file("vorher\r\n");
    faulty.failAt(test::FaultyFiles::Point::Write, 1);
    SaveKeyList(h.state, false);
    ASSERT_EQ(h.desktop.boxes().size(), 1u);
    EXPECT_EQ(h.desktop.boxes()[0].text, "Folgender Fehler ist im Modul SaveKeyList aufgetreten: Datenträger voll."
                                         "\n\rSoll das Programm fortgeführt werden?");
    EXPECT_EQ(h.temp.read(kBindingFile), "vorher\r\n");
}

} // namespace
} // namespace valumat
