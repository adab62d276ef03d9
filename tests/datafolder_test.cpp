// Where the data lives, through the whole start-up on the fake desktop: portable use, an unwritable program folder,
// the first start of an installed program in an empty user folder, a second start, a shipped file missing, no user
// folder.
#include "runtime/script.h"
#include "store/currencyfile.h"
#include "store/datafolder.h"
#include "store/keyfile.h"
#include "store/optionsfile.h"
#include "windowutil.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>

namespace valumat {
namespace {

namespace fs = std::filesystem;
using platform::kModControl;

const std::vector<std::string> kAllShipped(kShippedFiles.begin(), kShippedFiles.end());

// Puts the shipped files (the help page in hilfe/) into a folder, all or all but one.
void ship(const test::TempDir& into, const std::string& leaveOut = "") {
    fs::create_directories(into.path() / "hilfe");
    for (const char* name : kShippedFiles) {
        if (name != leaveOut) {
            fs::copy_file(fs::path(test::shippedDataDir()) / name, into.path() / name);
        }
    }
}

std::string shipped(const std::string& name) {
    std::ifstream in(fs::path(test::shippedDataDir()) / name, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::vector<std::string> filesIn(const fs::path& folder) {
    std::vector<std::string> names;
    if (!fs::exists(folder)) {
        return names;
    }
    for (const auto& entry : fs::recursive_directory_iterator(folder)) {
        if (entry.is_regular_file()) {
            names.push_back(entry.path().lexically_relative(folder).generic_string());
        }
    }
    std::sort(names.begin(), names.end());
    return names;
}

std::vector<std::string> sorted(std::vector<std::string> names) {
    std::sort(names.begin(), names.end());
    return names;
}

std::vector<std::string> withWorkingCopies(std::vector<std::string> names) {
    names.insert(names.end(), {kCurrencyWorkingCopy, kBindingWorkingCopy, kOptionsWorkingCopy});
    return sorted(names);
}

class DataFolderTest : public ::testing::Test {
protected:
    DataFolderTest() { newStart(); }

    // A fresh program run (the folders stay): the program file in programDir, the installation's data in installed,
    // the user's folder home/valumat/.
    void newStart() {
        h = std::make_unique<test::WindowHarness>();
        h->desktop.setProgramPath(programDir.dir() + "valumat", '/');
        h->desktop.setInstalledDataFolder(installed.dir());
        h->desktop.setUserDataFolder(userFolder());
        h->desktop.onMessageBox([this](const fake::ShownBox& box) {
            boxes.push_back(box.text);
            h->desktop.queueAnswer(platform::MessageAnswer::Yes); // an error report goes on
        });
        boxes.clear();
    }
    std::string userFolder() const { return home.dir() + "valumat/"; }
    fs::path userPath() const { return home.path() / "valumat"; }
    std::string readUser(const std::string& name) const { return home.read("valumat/" + name); }

    // Ctrl+D on "100" in an editor.
    std::string convertHundred() {
        auto editor = std::make_shared<fake::FakeEditor>("100");
        editor->selectAll();
        h->desktop.setForeground(editor);
        h->desktop.setKeyDown(17, true);
        h->desktop.setKeyDown('D', true);
        EXPECT_TRUE(h->desktop.pressHotKey(kModControl, 'D'));
        h->desktop.setKeyDown('D', false);
        h->desktop.setKeyDown(17, false);
        h->desktop.runUntilIdle();
        return editor->text();
    }

    test::TempDir programDir;
    test::TempDir installed;
    test::TempDir home;
    std::unique_ptr<test::WindowHarness> h;
    std::vector<std::string> boxes;
};

TEST_F(DataFolderTest, PortableWhenTheProgramFolderHoldsTheDataAndIsWritable) {
    ship(programDir);
    ship(installed);
    h->program.Form_Load();
    EXPECT_EQ(h->state.dataDirectory, programDir.dir());
    EXPECT_TRUE(boxes.empty());
    EXPECT_EQ(filesIn(programDir.path()), withWorkingCopies(kAllShipped));
    EXPECT_FALSE(fs::exists(userPath()));
    EXPECT_TRUE(h->desktop.createdFolders().empty());
    EXPECT_EQ(h->desktop.installedDataFolderAskedFor(), ""); // the installation is not even looked at
    EXPECT_EQ(convertHundred(), "195,58");
}

TEST_F(DataFolderTest, UnwritableProgramFolderMovesTheDataToTheUsersFolder) {
    ship(programDir);
    h->desktop.setFolderWritable(programDir.dir(), false);
    h->program.Form_Load();
    EXPECT_EQ(h->state.dataDirectory, userFolder());
    EXPECT_TRUE(boxes.empty());
    // Copied from the program's folder (the installation holds nothing here), nothing written beside the program.
    EXPECT_EQ(filesIn(programDir.path()), sorted(kAllShipped));
    EXPECT_EQ(filesIn(userPath()), withWorkingCopies(kAllShipped));
    for (const char* name : kShippedFiles) {
        EXPECT_EQ(readUser(name), programDir.read(name)) << name;
    }
    EXPECT_EQ(readUser(kCurrencyWorkingCopy), readUser(kCurrencyFile));
    EXPECT_EQ(convertHundred(), "195,58");

    // "Übernehmen" writes into the user's folder; the program's copy stays as shipped.
    h->window.options.Check3.click();
    h->window.CApply.click();
    EXPECT_EQ(readUser(kOptionsFile), "autostart: 0\r\nminimiert: 1\r\n\"exceloptimiert: 0\"\r\n");
    EXPECT_EQ(programDir.read(kOptionsFile), shipped(kOptionsFile));
}

TEST_F(DataFolderTest, FirstStartOfAnInstalledProgramFillsTheEmptyUserFolder) {
    ship(installed);
    // The program's folder is writable but holds no data (as the Windows installer's folder): not portable.
    h->program.Form_Load();
    EXPECT_EQ(h->desktop.installedDataFolderAskedFor(), programDir.dir() + "valumat");
    EXPECT_EQ(h->state.dataDirectory, userFolder());
    EXPECT_EQ(h->desktop.createdFolders(), (std::vector<std::string>{userFolder(), userFolder() + "hilfe/"}));
    EXPECT_TRUE(boxes.empty());
    EXPECT_EQ(filesIn(programDir.path()), std::vector<std::string>{});
    EXPECT_EQ(filesIn(userPath()), withWorkingCopies(kAllShipped));
    for (const char* name : kShippedFiles) {
        EXPECT_EQ(readUser(name), installed.read(name)) << name;
    }
    EXPECT_TRUE(h->desktop.isRegistered(kModControl, 'D'));
    EXPECT_EQ(h->state.scriptText.substr(0, 16), "PRESS \"STRG+67\"\r");
    EXPECT_EQ(convertHundred(), "195,58");

    // The links of the options tab and the read-me of the info tab use the user's folder.
    h->window.options.Command5.click();
    h->window.options.Command6.click();
    ASSERT_EQ(h->desktop.shellRequests().size(), 2u);
    EXPECT_EQ(h->desktop.shellRequests()[0].directory, userFolder());
    EXPECT_EQ(h->desktop.shellRequests()[1].directory, userFolder() + "hilfe/");
    home.write("valumat/readme.txt", "Die Kopie im Benutzerordner\r\n");
    h->window.Tabstrip.select(4);
    h->window.info.TabInfo.select(2);
    EXPECT_EQ(h->window.info.Text4.text(), "Die Kopie im Benutzerordner\r\n");
}

TEST_F(DataFolderTest, SecondStartKeepsTheUsersFilesAndFillsOnlyWhatIsMissing) {
    ship(installed);
    h->program.Form_Load();
    // "Übernehmen" saved an option; then the user edits the rates and the script and loses the read-me.
    h->window.options.Check3.click();
    h->window.CApply.click();
    const std::string options = readUser(kOptionsFile);
    home.write("valumat/waehrungen.dat", "Euro; EUR ;EU; 1; 1; 1; 2\r\nDeutsche Mark; DEM ;DE; 2; 0,5; 1; 2\r\n");
    home.write("valumat/keypress.txt", "PRESS \"STRG+67\"\r\nCALCULATE\r\nPRESS \"STRG+86\"\r\n");
    home.remove("valumat/readme.txt");

    newStart();
    h->program.Form_Load();
    EXPECT_EQ(h->state.dataDirectory, userFolder());
    EXPECT_TRUE(boxes.empty());
    EXPECT_EQ(readUser(kCurrencyFile), "Euro; EUR ;EU; 1; 1; 1; 2\r\nDeutsche Mark; DEM ;DE; 2; 0,5; 1; 2\r\n");
    EXPECT_EQ(readUser(kOptionsFile), options);
    EXPECT_EQ(readUser(kScriptNormal), "PRESS \"STRG+67\"\r\nCALCULATE\r\nPRESS \"STRG+86\"\r\n");
    EXPECT_EQ(readUser("readme.txt"), installed.read("readme.txt"));
    EXPECT_TRUE(h->state.options.minimised);
    EXPECT_EQ(convertHundred(), "200,00"); // the user's rate of 2 per Euro
}

TEST_F(DataFolderTest, AShippedFileMissingIsReportedByItsReaderAndCreatedByTheNextSave) {
    ship(installed, "tasten.dat");
    h->program.Form_Load();
    EXPECT_EQ(h->state.dataDirectory, userFolder());
    EXPECT_EQ(boxes, std::vector<std::string>{"Folgender Fehler ist im Modul ReadKeyList aufgetreten: Datei nicht "
                                              "gefunden.\n\rSoll das Programm fortgeführt werden?"});
    std::vector<std::string> expected = kAllShipped;
    expected.erase(std::find(expected.begin(), expected.end(), "tasten.dat"));
    EXPECT_EQ(filesIn(userPath()), withWorkingCopies(expected));
    EXPECT_EQ(readUser(kBindingWorkingCopy), "");
    EXPECT_FALSE(h->desktop.isRegistered(kModControl, 'D'));

    h->window.options.Check3.click();
    h->window.CApply.click();
    EXPECT_EQ(readUser(kBindingFile), "");
    EXPECT_TRUE(home.exists("valumat/tasten.dat"));
}

TEST_F(DataFolderTest, WithoutAUsableUserFolderTheShippedFilesAreRead) {
    struct Case {
        const char* what;
        bool named;     // the system names a user folder
        bool creatable; // and it can be created
    };
    for (const Case c : {Case{"no user folder", false, true}, Case{"user folder refused", true, false}}) {
        SCOPED_TRACE(c.what);
        newStart();
        if (!fs::exists(installed.path() / kCurrencyFile)) {
            ship(installed);
        }
        h->desktop.setUserDataFolder(c.named ? userFolder() : "");
        if (!c.creatable) {
            h->desktop.failCreateFolder(userFolder());
        }
        const DataFolder folder = prepareDataFolder(h->state.platform, *h->state.files, programDir.dir() + "valumat");
        EXPECT_EQ(folder.folder, installed.dir());
        EXPECT_FALSE(folder.portable);
        EXPECT_TRUE(folder.copied.empty());
        EXPECT_FALSE(fs::exists(userPath()));
    }
}

TEST_F(DataFolderTest, ReportsWhatWasCopiedAndFromWhere) {
    ship(installed, "readme.txt");
    fs::create_directories(userPath());
    home.write("valumat/tasten.dat", "eigene\r\n");
    const DataFolder first = prepareDataFolder(h->state.platform, *h->state.files, programDir.dir() + "valumat");
    EXPECT_EQ(first.defaultsFolder, installed.dir());
    EXPECT_EQ(first.copied, (std::vector<std::string>{"waehrungen.dat", "options.dat", "keypress.txt",
                                                      "keypressexcel.txt", "hilfe/keypress.html"}));
    EXPECT_EQ(readUser("tasten.dat"), "eigene\r\n");
    const DataFolder second = prepareDataFolder(h->state.platform, *h->state.files, programDir.dir() + "valumat");
    EXPECT_TRUE(second.copied.empty());
}

TEST_F(DataFolderTest, ADesktopWithoutFolderServicesKeepsEverythingBesideTheProgram) {
    platform::Platform services = h->state.platform;
    services.folders = nullptr;
    const DataFolder folder = prepareDataFolder(services, *h->state.files, programDir.dir() + "valumat");
    EXPECT_EQ(folder.folder, programDir.dir());
    EXPECT_TRUE(folder.portable);
}

TEST(ProgramDirectoryOf, EndsInTheSeparator) {
    EXPECT_EQ(programDirectoryOf("C:\\Programme\\Tools\\rechner.exe", '\\'), "C:\\Programme\\Tools\\");
    EXPECT_EQ(programDirectoryOf("/usr/bin/valumat", '/'), "/usr/bin/");
    EXPECT_EQ(programDirectoryOf("C:/Valumat/valumat.exe", '\\'), "C:/Valumat\\");
}

} // namespace
} // namespace valumat
