// The backup window's behaviour on the core, against fake windows and real
// files in a temporary program folder.
#include <gtest/gtest.h>

#include <optional>

#include "editor/ini/backup_store.h"
#include "tests/core/fake_views.h"
#include "tests/support/child_process.h"
#include "tests/support/rows.h"
#include "tests/support/temp_dir.h"

namespace core_test {
namespace {
namespace fs = std::filesystem;
using test_support::listFolder;
using test_support::readBytes;
using test_support::TempDir;
using test_support::writeBytes;
using Names = std::vector<std::string>;

const std::string kBackupText = "[Texts]\r\nName=a\r\n";

class BackupWindow : public ::testing::Test {
  protected:
    void SetUp() override {
        main.Form_Load();
        mainView.boxes[static_cast<std::size_t>(TextBox::txtName)] = "My plugin";
    }

    FrmBackup& open() {
        view.closed = false;
        view.list.clear();
        window.emplace(view, main);
        window->Form_Load();
        return *window;
    }
    void seedList(const Names& names) {
        ASSERT_TRUE(editor_ini::WriteBackupList(dir.path(), names));
    }
    Names entries() const { return view.list.entries; }
    void expectNothingSelectedMessage() {
        ASSERT_EQ(dialogs.messages.size(), 1u);
        EXPECT_EQ(dialogs.messages[0].text, "No backup file selected!");
        EXPECT_EQ(dialogs.messages[0].title, "Error");
        EXPECT_EQ(dialogs.messages[0].icon, MessageIcon::Exclamation);
        EXPECT_EQ(dialogs.messages[0].buttons, MessageButtons::Ok);
    }
    static std::vector<std::string> lines(const std::string& text) {
        std::vector<std::string> out;
        std::size_t start = 0;
        for (std::size_t at; (at = text.find("\r\n", start)) != std::string::npos; start = at + 2)
            out.push_back(text.substr(start, at - start));
        out.push_back(text.substr(start));
        return out;
    }

    TempDir dir;
    FakeDialogs dialogs;
    FakeMainView mainView{dialogs};
    FrmMain main{mainView, dir.path().string()};
    FakeBackupView view{dialogs};
    std::optional<FrmBackup> window;
};

TEST_F(BackupWindow, AFirstOpeningWithoutAListShowsAnEmptyList) {
    open();
    EXPECT_TRUE(entries().empty());
    EXPECT_EQ(view.info, "Use this to backup your existing install file.");
    EXPECT_TRUE(dialogs.messages.empty());
    EXPECT_EQ(listFolder(dir.path()), Names{}) << "opening writes nothing";
}

TEST_F(BackupWindow, MakeAppendsKeepsTheSelectionAndWritesBoth) {
    seedList({"alpha", "beta"});
    mainView.boxes = {"My plugin", "", "Title", "No Warning", "p.dll", "", "x.txt"};
    mainView.list.entries = {"x.txt", "y.txt"};
    open();
    view.list.select(0);
    dialogs.inputAnswers = {"gamma"};

    window->cmdMake_Click();

    ASSERT_EQ(dialogs.inputs.size(), 1u);
    EXPECT_EQ(dialogs.inputs[0].prompt, "Please enter a backup name.");
    EXPECT_EQ(dialogs.inputs[0].title, "Backup name");
    EXPECT_EQ(dialogs.inputs[0].defaultAnswer, "My plugin");
    EXPECT_TRUE(dialogs.messages.empty());
    EXPECT_EQ(entries(), (Names{"alpha", "beta", "gamma"}));
    EXPECT_EQ(view.list.selected(), 0);
    EXPECT_EQ(readBytes(dir / "backup.ini"),
              "[GEN]\r\nBackups=3\r\n[Backups]\r\n1=alpha\r\n2=beta\r\n3=gamma\r\n");
    EXPECT_EQ(readBytes(dir / "gamma"),
              "[Texts]\r\nName=My plugin\r\nVBName=\r\nTitle=Title\r\nWarning=\r\n"
              "[Files]\r\nFilename=p.dll\r\nIcon=\r\n[Misc]\r\nRunAfterInstall=x.txt\r\n"
              "[Extrafiles]\r\nx.txt\r\ny.txt\r\n");
    EXPECT_EQ(mainView.list.selected(), 1) << "the last extra file written ends selected";
}

TEST_F(BackupWindow, MakeCancelledDoesNothing) {
    seedList({"alpha"});
    const std::string listBefore = readBytes(dir / "backup.ini");
    open();
    dialogs.inputAnswers = {std::nullopt};

    window->cmdMake_Click();

    EXPECT_EQ(dialogs.inputs.size(), 1u);
    EXPECT_TRUE(dialogs.messages.empty());
    EXPECT_EQ(entries(), Names{"alpha"}) << "no empty entry is added";
    EXPECT_EQ(readBytes(dir / "backup.ini"), listBefore);
    EXPECT_EQ(listFolder(dir.path()), Names{"backup.ini"});
}

TEST_F(BackupWindow, AnInvalidNameIsRefusedWithItsReason) {
    using Row = test_support::NameRow<std::string>;
    const std::vector<Row> rows = {
        {"", "an empty answer would list a backup that has no file"},
        {"../outside", "a folder part writes outside the program folder"},
        {"INSTALL_INFO.ini", "a backup would overwrite the editor's own file"},
        {"installer.exe", "a backup would overwrite the installer"},
        {"plugin.dll", "a backup would overwrite the plugin"},
        {std::string(100, 'n'), "listed cut to 99 characters once the window is reopened"},
        {std::string(150, 'n'), "refused only from 256 characters on, before"},
        {" spaced", "listed without its leading blank once reopened"},
        {"spaced ", "listed without its trailing blank once reopened"},
        {"smile \xf0\x9f\x98\x80", "no ANSI code page holds it"},
        {"install_info.ini.", "Windows would write the unsaved fields over install_info.ini"},
        {"install_info backup.ini.", "Windows would write over Save's safety copy"},
        {"NUL", "a device: the write would fail with no reason given"},
        {"COM1.txt", "a device, whatever its extension"},
    };
    seedList({"alpha"});
    writeBytes(dir / "installer.exe", "MZ stand-in");
    writeBytes(dir / "plugin.dll", "MZ stand-in");
    writeBytes(dir / "install_info.ini", "[Texts]\r\nName=saved\r\n");
    writeBytes(dir / "install_info backup.ini", "[Texts]\r\nName=before\r\n");
    const Names folderBefore = listFolder(dir.path());
    const std::string listBefore = readBytes(dir / "backup.ini");
    open();
    for (const Row& row : rows) {
        SCOPED_TRACE(row.fault);
        dialogs.messages.clear();
        dialogs.inputAnswers = {row.name};
        window->cmdMake_Click();
        ASSERT_EQ(dialogs.messages.size(), 1u);
        const std::vector<std::string> said = lines(dialogs.messages[0].text);
        ASSERT_EQ(said.size(), 2u);
        EXPECT_EQ(said[0], "Invalid backup name!");
        EXPECT_FALSE(said[1].empty()) << "one line says why";
        EXPECT_EQ(dialogs.messages[0].title, "Error");
        EXPECT_EQ(dialogs.messages[0].icon, MessageIcon::Exclamation);
        EXPECT_EQ(dialogs.messages[0].buttons, MessageButtons::Ok);
        EXPECT_EQ(entries(), Names{"alpha"});
        EXPECT_EQ(readBytes(dir / "backup.ini"), listBefore);
        EXPECT_EQ(listFolder(dir.path()), folderBefore);
        EXPECT_EQ(readBytes(dir / "installer.exe"), "MZ stand-in");
        EXPECT_EQ(readBytes(dir / "install_info.ini"), "[Texts]\r\nName=saved\r\n");
        EXPECT_EQ(readBytes(dir / "install_info backup.ini"), "[Texts]\r\nName=before\r\n");
    }
}

// The longest name that is taken comes back whole, and Edit and Remove find
// its file after the window is opened again.
TEST_F(BackupWindow, ANameAtTheLimitIsListedWholeAfterReopening) {
    const std::string name(99, 'n');
    open();
    dialogs.inputAnswers = {name};
    window->cmdMake_Click();
    EXPECT_TRUE(dialogs.messages.empty());

    open();
    EXPECT_EQ(entries(), Names{name});
    view.list.select(0);
    window->cmdRemove_Click();
    EXPECT_TRUE(dialogs.messages.empty());
    EXPECT_EQ(listFolder(dir.path()), Names{"backup.ini"}) << "the file went with its entry";
}

TEST_F(BackupWindow, RemoveAndEditWithoutASelectionOnlyTellTheAuthor) {
    for (auto handler : {&FrmBackup::cmdRemove_Click, &FrmBackup::cmdEdit_Click}) {
        seedList({"alpha"});
        writeBytes(dir / "alpha", "[Texts]\r\nName=a\r\n");
        const std::string listBefore = readBytes(dir / "backup.ini");
        open();
        dialogs.messages.clear();

        (*window.*handler)();

        expectNothingSelectedMessage();
        EXPECT_EQ(entries(), Names{"alpha"});
        EXPECT_EQ(readBytes(dir / "backup.ini"), listBefore);
        EXPECT_EQ(listFolder(dir.path()), (Names{"alpha", "backup.ini"}));
        EXPECT_TRUE(main.Label1.empty()) << "nothing was loaded";
        EXPECT_FALSE(view.closed) << "the window stays open";
    }
}

TEST_F(BackupWindow, RemoveDeletesTheFileAndRewritesTheList) {
    seedList({"alpha", "beta", "alpha", "gone"});
    writeBytes(dir / "alpha", kBackupText);
    writeBytes(dir / "beta", kBackupText);
    open();

    view.list.select(2);
    window->cmdRemove_Click();
    EXPECT_EQ(entries(), (Names{"alpha", "beta", "gone"}));
    EXPECT_EQ(view.list.selected(), -1);
    EXPECT_EQ(listFolder(dir.path()), (Names{"alpha", "backup.ini", "beta"}))
        << "a file another entry names stays: that entry would open nothing";

    view.list.select(2);
    window->cmdRemove_Click();
    EXPECT_TRUE(dialogs.messages.empty()) << "a file already gone is no error";
    view.list.select(0);
    window->cmdRemove_Click();
    EXPECT_EQ(listFolder(dir.path()), (Names{"backup.ini", "beta"}))
        << "the file goes with the last entry that names it";
    EXPECT_EQ(readBytes(dir / "backup.ini"), "[GEN]\r\nBackups=1\r\n[Backups]\r\n1=beta\r\n");
}

// Making a backup again under a listed name asks first: otherwise it would
// overwrite the earlier snapshot without a word and list the name twice.
TEST_F(BackupWindow, MakeUnderAListedNameAsksFirst) {
    struct Row {
        const char* fault;
        Names list;
        MessageAnswer answer;
        std::string newName;  // the name box, which the backup takes as its Name
        bool replaced;
    };
    const Row rows[] = {
        {"Yes listed \"first\" twice", {"first", "other"}, MessageAnswer::Yes, "Edited", true},
        {"No still overwrote the snapshot", {"first", "other"}, MessageAnswer::No, "Edited", false},
        {"a list that already holds the name twice reads and stays as it is",
         {"first", "first"}, MessageAnswer::Yes, "Again", true},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.fault);
        seedList(row.list);
        writeBytes(dir / "first", kBackupText);
        const std::string listBefore = readBytes(dir / "backup.ini");
        open();
        EXPECT_EQ(entries(), row.list);
        mainView.boxes[static_cast<std::size_t>(TextBox::txtName)] = row.newName;
        dialogs.messages.clear();
        dialogs.messageAnswers = {row.answer};
        dialogs.inputAnswers = {"first"};

        window->cmdMake_Click();

        ASSERT_EQ(dialogs.messages.size(), 1u);
        EXPECT_EQ(dialogs.messages[0].text, "A backup named \"first\" exists. Replace it?");
        EXPECT_EQ(dialogs.messages[0].buttons, MessageButtons::YesNo);
        EXPECT_EQ(entries(), row.list) << "one entry, not another";
        EXPECT_EQ(readBytes(dir / "backup.ini"), listBefore);
        EXPECT_EQ(readBytes(dir / "first").find("Name=" + row.newName + "\r\n") !=
                      std::string::npos,
                  row.replaced);
    }
}

// A listed name that names a file that is no backup (a hand-edited list, or
// " readme.txt" read back trimmed, or "install_info.ini." that Windows opens
// as install_info.ini) loses its entry; the file stays.
TEST_F(BackupWindow, RemoveLeavesAFileThatIsNoBackupAndDropsItsEntry) {
    seedList({"readme.txt", "install_info.ini", "install_info.ini.", "alpha"});
    writeBytes(dir / "readme.txt", "Read me first.\r\n");
    writeBytes(dir / "install_info.ini", kBackupText);
    writeBytes(dir / "alpha", kBackupText);
    open();
    for (int removal = 0; removal < 3; ++removal) {
        view.list.select(0);
        window->cmdRemove_Click();
    }
    EXPECT_TRUE(dialogs.messages.empty());
    EXPECT_EQ(entries(), Names{"alpha"});
    EXPECT_EQ(readBytes(dir / "backup.ini"), "[GEN]\r\nBackups=1\r\n[Backups]\r\n1=alpha\r\n");
    EXPECT_EQ(readBytes(dir / "readme.txt"), "Read me first.\r\n");
    EXPECT_EQ(readBytes(dir / "install_info.ini"), kBackupText);
}

// A Remove that fails keeps its entry: dropping the entry whatever happened
// would hide a backup that could not be deleted, and a list that could not be
// written would bring the entry back on the next opening.
TEST_F(BackupWindow, ARemoveThatFailsKeepsTheEntryAndSaysWhy) {
    TAMSEL_POSIX_ONLY("a read-only folder, tried as another user in a forked child");
    auto setMode = [](const fs::path& path, unsigned mode) {
        fs::permissions(path, static_cast<fs::perms>(mode));
    };
    struct Row {
        const char* fault;
        unsigned folderMode;
        unsigned listMode;
        const char* action;
        fs::path shownFile;
        bool backupLeft;
    };
    const Row rows[] = {
        {"a backup in a read-only folder", 0555, 0644, "Couldn't delete ", dir / "alpha", true},
        {"a read-only list file", 0777, 0444, "Couldn't write ", dir / "backup.ini", false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.fault);
        setMode(dir.path(), 0700);
        seedList({"alpha", "beta"});
        writeBytes(dir / "alpha", kBackupText);
        const std::string listBefore = readBytes(dir / "backup.ini");
        open();
        setMode(dir / "backup.ini", row.listMode);
        setMode(dir.path(), row.folderMode);
        enum Outcome { kSaidWhy = 0, kNoMessage, kOtherMessage, kEntryLost };
        const int outcome = test_support::runInChild(
            [&] {
                dialogs.messages.clear();
                view.list.select(0);
                window->cmdRemove_Click();
                if (entries() != Names{"alpha", "beta"})
                    return kEntryLost;
                if (dialogs.messages.size() != 1)
                    return kNoMessage;
                const MessageRequest& m = dialogs.messages[0];
                const std::vector<std::string> said = lines(m.text);
                const bool saidWhy = said.size() == 2 &&
                                     said[0] == row.action + row.shownFile.string() &&
                                     !said[1].empty() && m.title == "Error" &&
                                     m.icon == MessageIcon::Exclamation;
                return saidWhy ? kSaidWhy : kOtherMessage;
            },
            {.asNobody = true, .maxFileBytes = std::nullopt});
        setMode(dir.path(), 0700);
        setMode(dir / "backup.ini", 0644);
        EXPECT_EQ(outcome, kSaidWhy);
        EXPECT_EQ(readBytes(dir / "backup.ini"), listBefore);
        EXPECT_EQ(fs::exists(dir / "alpha"), row.backupLeft);
    }
}

TEST_F(BackupWindow, EditLoadsTheBackupIntoTheMainWindowAndCloses) {
    seedList({"alpha", "first.ini"});
    writeBytes(dir / "first.ini", "[Texts]\r\nName=From backup\r\n[Extrafiles]\r\nb.txt\r\n");
    open();
    view.list.select(1);

    window->cmdEdit_Click();

    EXPECT_EQ(main.Label1, (dir / "first.ini").string())
        << "the program folder and the name, no extension added";
    EXPECT_EQ(mainView.text(TextBox::txtName), "From backup");
    EXPECT_EQ(mainView.list.entries, Names{"b.txt"});
    EXPECT_EQ(main.InfoPath(), (dir / "install_info.ini").string())
        << "Save still writes the editor's own file";
    EXPECT_EQ(mainView.shown, 1);
    EXPECT_TRUE(view.closed);
    EXPECT_TRUE(dialogs.messages.empty());
}

// A listed name that names a file that is no backup, or a path outside the
// folder (a hand-edited list), is not loaded: the window says so and stays.
TEST_F(BackupWindow, EditLoadsNoFileThatIsNoBackup) {
    seedList({"readme.txt", "/etc/hostname"});
    writeBytes(dir / "readme.txt", "Read me first.\r\n");
    open();
    for (int row = 0; row < 2; ++row) {
        view.list.select(row);
        window->cmdEdit_Click();
    }
    EXPECT_TRUE(main.Label1.empty());
    ASSERT_EQ(dialogs.messages.size(), 2u);
    EXPECT_EQ(dialogs.messages[0].text.rfind("Couldn't open ", 0), 0u) << dialogs.messages[0].text;
    EXPECT_FALSE(view.closed);
}

TEST_F(BackupWindow, EditWhoseLoadFailsKeepsTheWindowOpen) {
    seedList({"missing"});
    type(mainView, main, TextBox::txtName, "Kept");
    open();
    view.list.select(0);

    window->cmdEdit_Click();

    ASSERT_EQ(dialogs.messages.size(), 1u);
    EXPECT_EQ(dialogs.messages[0].text.rfind("Couldn't open " + (dir / "missing").string(), 0), 0u)
        << "the main window's message";
    EXPECT_EQ(mainView.text(TextBox::txtName), "Kept");
    EXPECT_EQ(mainView.shown, 0);
    EXPECT_FALSE(view.closed);
    EXPECT_EQ(entries(), Names{"missing"});
}

}  // namespace
}  // namespace core_test
