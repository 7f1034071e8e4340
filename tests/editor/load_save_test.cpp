// Loading and saving through real files in a temporary program folder, and
// the start of the updater after a save.
#include <sys/stat.h>

#include <QFile>
#include <QTest>
#include <filesystem>
#include <fstream>

#include "tests/editor/frm_main_fixture.h"
#include "editor/ui/text_convert.h"
#include "tests/editor/save_scenarios.h"
#include "tests/support/child_process.h"

namespace editor_test {
namespace {
using namespace std::string_literals;

using editor_ui::MessageAnswer;
using editor_ui::MessageButtons;
using editor_ui::MessageIcon;
using test_support::readBytes;
using test_support::writeBytes;

const QStringList kBoxes{"txtName",     "txtProgID", "txtMsgBoxes", "txtWarning",
                         "txtFilename", "txtIcon",   "txtRun"};

class LoadSave : public FrmMainFixture {
  protected:
    std::filesystem::path infoFile() const { return folder / "install_info.ini"; }
    std::filesystem::path backupFile() const { return folder / "install_info backup.ini"; }
    QString qpath(const std::filesystem::path& path) const {
        return QString::fromStdString(path.string());
    }

    QStringList boxTexts() {
        QStringList texts;
        for (const QString& name : kBoxes) texts << box(name)->text();
        return texts;
    }

    // A complete, valid record, typed into the window.
    void typeRecord() {
        typeInto("txtName", "My plugin");
        typeInto("txtProgID", "Proj.Class");
        typeInto("txtMsgBoxes", "Installer");
        typeInto("txtWarning", "No Warning");
        typeInto("txtFilename", "plug.dll");
        typeInto("txtIcon", "icon.ico");
        addEntries({"readme.txt", "data\\more.bin", "C:\\abs\\x y.txt"});
        typeInto("txtRun", "readme.txt");
    }

    static void expectMatchesGolden(const std::string& actual, const std::string& goldenName) {
        const std::filesystem::path golden =
            std::filesystem::path(TAMSEL_TEST_DATA_DIR) / goldenName;
        if (readBytes(golden) != actual) {
            writeBytes(golden.string() + ".actual", actual);
            ADD_FAILURE() << "differs from " << golden << "; the output is beside it as .actual";
        }
    }

    // What a save that fails in a child process saw, as the child's exit code.
    enum ChildOutcome { kShowedOneError = 0, kShowedSaved = 1, kShowedOtherMessages = 2 };
    int saveAndReport() {
        QTest::keyClicks(box("txtName"), " changed");
        click("cmdSave");
        if (dialogs.messages.size() != 1)
            return kShowedOtherMessages;
        const editor_ui::MessageRequest& m = dialogs.messages[0];
        if (m.title == "Saved")
            return kShowedSaved;
        return m.title == "Error" && m.icon == MessageIcon::Exclamation ? kShowedOneError
                                                                        : kShowedOtherMessages;
    }

    const editor_ui::MessageRequest* onlyMessage() {
        EXPECT_EQ(dialogs.messages.size(), 1u);
        return dialogs.messages.size() == 1 ? &dialogs.messages[0] : nullptr;
    }
};

// ---- Loading --------------------------------------------------------------

struct LoadCase {
    const char* fault;
    std::string file;
    QStringList boxes;  // the seven boxes in kBoxes order
    QStringList entries;
    bool refreshed;  // RefreshLabels ran: the empty name's label is red
};

TEST_F(LoadSave, LoadsKeysAndTheLinesAfterTheExactHeader) {
    const QString longValue(150, 'v');
    const LoadCase cases[] = {
        {"no header: empty list and no RefreshLabels",
         "[Texts]\r\nName=\r\nTitle=T\r\n[Files]\r\nFilename=f.dll\r\n",
         {"", "", "T", "No Warning", "f.dll", "", ""},
         {},
         false},
        {"header as the last line: empty list, but RefreshLabels ran",
         "[Texts]\r\nTitle=T\r\n[Extrafiles]\r\n",
         {"", "", "T", "No Warning", "", "", ""},
         {},
         true},
        {"header in other letter case is no header (keys still load)",
         "[texts]\r\nname=N\r\n[ExtraFiles]\r\na.txt\r\n",
         {"N", "", "", "No Warning", "", "", ""},
         {},
         false},
        {"a later section is read as entries, header included",
         "[Misc]\r\nRunAfterInstall=a\r\n[Extrafiles]\r\na\r\n[Other]\r\nk=v\r\n",
         {"", "", "", "No Warning", "", "", "a"},
         {"a", "[Other]", "k=v"},
         true},
        {"only the first header counts; blanks around it make no header",
         " [Extrafiles]\r\nx\r\n[Extrafiles]\r\na\r\n[Extrafiles]\r\n",
         {"", "", "", "No Warning", "", "", ""},
         {"a", "[Extrafiles]"},
         true},
        {"whole lines: commas and quotes come back as saved; a blank line is an entry",
         "[Extrafiles]\r\na,b.txt\r\n\"q\".txt\r\n\r\nlast",
         {"", "", "", "No Warning", "", "", ""},
         {"a,b.txt", "\"q\".txt", "", "last"},
         true},
        {"LF line ends load like CR LF",
         "[Texts]\nTitle=T\n[Extrafiles]\na\nb\n",
         {"", "", "T", "No Warning", "", "", ""},
         {"a", "b"},
         true},
        {"empty Warning shows No Warning",
         "[Texts]\r\nWarning=\r\n",
         {"", "", "", "No Warning", "", "", ""},
         {},
         false},
        {"Warning No Warning stays",
         "[Texts]\r\nWarning=No Warning\r\n",
         {"", "", "", "No Warning", "", "", ""},
         {},
         false},
        {"Warning in other letter case stays as it is",
         "[Texts]\r\nWarning=no warning\r\n",
         {"", "", "", "no warning", "", "", ""},
         {},
         false},
        {"a value longer than its box shows its start, not \"...lugins\\sample.dll\"",
         "[Files]\r\nFilename=C:\\Program Files\\Scrambler\\plugins\\sample.dll\r\n",
         {"", "", "", "No Warning", "C:\\Program Files\\Scrambler\\plugins\\sample.dll", "", ""},
         {},
         false},
        {"a value is cut to 99 characters",
         "[Files]\r\nIcon=" + longValue.toStdString() + "\r\n",
         {"", "", "", "No Warning", "", longValue.left(99), ""},
         {},
         false},
        {"a 1252 file shows U+FFFD in place of its e-acute",
         "[Texts]\r\nName=Caf\xE9\r\n[Extrafiles]\r\nd\xE9j\xE0.txt\r\n",
         {"Caf\u00E9", "", "", "No Warning", "", "", ""},
         {"d\u00E9j\u00E0.txt"},
         false},  // the name is there: no label turns red
        {"a UTF-8 mark hides the first section",
         "\xEF\xBB\xBF[Texts]\r\nName=Caf\xC3\xA9\r\n[Extrafiles]\r\nd\xC3\xA9j\xC3\xA0.txt\r\n",
         {"Caf\u00E9", "", "", "No Warning", "", "", ""},
         {"d\u00E9j\u00E0.txt"},
         false},  // the name is there: no label turns red
        {"a UTF-16 file (Notepad's Unicode) loads as nothing",
         "\xFF\xFE[\0T\0e\0x\0t\0s\0]\0\r\0\n\0N\0a\0m\0e\0=\0\x16\x04\xE9\0\r\0\n\0"
         "[\0E\0x\0t\0r\0a\0f\0i\0l\0e\0s\0]\0\r\0\n\0\xE0\0\r\0\n\0"s,
         {"\u0416\u00E9", "", "", "No Warning", "", "", ""},
         {"\u00E0"},
         false},  // the name is there: no label turns red
    };
    for (const LoadCase& c : cases) {
        SCOPED_TRACE(c.fault);
        writeBytes(infoFile(), c.file);
        dialogs.messages.clear();
        open();
        EXPECT_EQ(boxTexts(), c.boxes);
        EXPECT_EQ(entries(), c.entries);
        EXPECT_EQ(isRed(label("lblName")), c.refreshed);
        EXPECT_TRUE(dialogs.messages.empty());
        expectEachBoxShowsItsStart();
    }
}

TEST_F(LoadSave, MissingFileAtStartGivesTheEmptyWindowSilently) {
    open();
    EXPECT_EQ(boxTexts(), (QStringList{"", "", "", "No Warning", "", "", ""}));
    EXPECT_TRUE(entries().isEmpty());
    EXPECT_TRUE(dialogs.messages.empty());
    EXPECT_FALSE(isRed(label("lblName")));
    EXPECT_EQ(window->InfoPath(), qpath(infoFile()));
}

TEST_F(LoadSave, RunFileFoundAfterLoadIsSelectedAndBlack) {
    writeBytes(infoFile(), "[Misc]\r\nRunAfterInstall=b\r\n[Extrafiles]\r\na\r\nb\r\nc\r\n");
    open();
    EXPECT_TRUE(isBlack(label("lblRun")));
    EXPECT_EQ(selectedRow(), 1);
}

TEST_F(LoadSave, LoadDialogReplacesTheRecordAndSaveStillWritesOurOwnFile) {
    writeBytes(infoFile(), "[Texts]\r\nName=Old\r\nVBName=P.C\r\n[Extrafiles]\r\nold.txt\r\n");
    test_support::TempDir elsewhere;
    const std::string foreign = "[Texts]\r\nName=New\r\nTitle=T\r\n[Files]\r\nFilename=n.dll\r\n";
    writeBytes(elsewhere / "other.ini", foreign);
    open();
    dialogs.openFileAnswers.push_back(qpath(elsewhere / "other.ini"));
    click("cmdLoad");

    ASSERT_EQ(dialogs.openFiles.size(), 1u);
    const editor_ui::OpenFileRequest& request = dialogs.openFiles[0];
    EXPECT_EQ(request.title, "Choose any Scrambler List");
    EXPECT_EQ(request.initialFolder, qpath(folder.path()));
    EXPECT_TRUE(request.fileName.isEmpty());
    ASSERT_EQ(request.filters.size(), 2u);
    EXPECT_EQ(request.filters[0].description, "Install info file");
    EXPECT_EQ(request.filters[0].pattern, "install_info.ini");
    EXPECT_EQ(request.filters[1].description, "INI files");
    EXPECT_EQ(request.filters[1].pattern, "*.ini");

    // ClearFields ran first: nothing of the old record is merged in.
    EXPECT_EQ(boxTexts(), (QStringList{"New", "", "T", "No Warning", "n.dll", "", ""}));
    EXPECT_TRUE(entries().isEmpty());
    expectEachBoxShowsItsStart();

    click("cmdSave");
    EXPECT_EQ(readBytes(elsewhere / "other.ini"), foreign) << "the loaded file must not change";
    EXPECT_NE(readBytes(infoFile()).find("Name=New"), std::string::npos);
}

TEST_F(LoadSave, CancelledOrUnreadableLoadLeavesTheWindowAsItWas) {
    writeBytes(infoFile(), "[Texts]\r\nName=Kept\r\n[Extrafiles]\r\nkept.txt\r\n");
    open();
    const QStringList before = boxTexts();
    const std::filesystem::path missing = folder / "gone.ini";

    click("cmdLoad");  // cancelled: the scripted dialog has no answer
    EXPECT_TRUE(dialogs.messages.empty()) << "a cancel is not an error";

    dialogs.openFileAnswers.push_back(qpath(missing));
    click("cmdLoad");
    EXPECT_FALSE(window->loadFromPath(qpath(missing))) << "the backup window's way in";
    std::filesystem::create_directory(folder / "a folder.ini");
    EXPECT_FALSE(window->loadFromPath(qpath(folder / "a folder.ini")));

    ASSERT_EQ(dialogs.messages.size(), 3u);
    const QString expected[] = {
        "Couldn't open " + qpath(missing) + "\r\nNo such file or directory",
        "Couldn't open " + qpath(missing) + "\r\nNo such file or directory",
        "Couldn't open " + qpath(folder / "a folder.ini") + "\r\nIs a directory"};
    for (int i = 0; i < 3; ++i) {
        SCOPED_TRACE(i);
        // The file on the first line, the read's own reason on the second.
        EXPECT_EQ(dialogs.messages[i].text, expected[i]);
        EXPECT_EQ(dialogs.messages[i].title, "Error");
        EXPECT_EQ(dialogs.messages[i].icon, MessageIcon::Exclamation);
    }
    EXPECT_EQ(boxTexts(), before);
    EXPECT_EQ(entries(), QStringList{"kept.txt"});
    EXPECT_FALSE(label("Label1")->isVisible());
}

TEST_F(LoadSave, BackupWindowLoadsThroughLabel1AndCommand1) {
    writeBytes(folder / "My backup", "[Texts]\r\nName=From backup\r\n[Extrafiles]\r\nb.txt\r\n");
    open();
    EXPECT_TRUE(window->loadFromPath(qpath(folder / "My backup")));
    EXPECT_EQ(box("txtName")->text(), "From backup");
    EXPECT_EQ(entries(), QStringList{"b.txt"});
    EXPECT_EQ(window->InfoPath(), qpath(infoFile())) << "the save target never changes";
}

// ---- Saving ---------------------------------------------------------------

TEST_F(LoadSave, FirstSaveWritesExactBytesAndSelectsEachEntry) {
    open();
    typeRecord();
    click("cmdSave");
    expectMatchesGolden(readBytes(infoFile()), "save_record.ini");
    EXPECT_EQ(test_support::listFolder(folder.path()), std::vector<std::string>{"install_info.ini"})
        << "a first save has nothing to back up and leaves no temporary file";
    EXPECT_EQ(selectedRow(), 2) << "the last entry written stays selected";
    const editor_ui::MessageRequest* saved = onlyMessage();
    ASSERT_NE(saved, nullptr);
    EXPECT_EQ(saved->text, "Successfuly saved!\r\nWould you like to update the installer now?");
    EXPECT_EQ(saved->title, "Saved");
    EXPECT_EQ(saved->icon, MessageIcon::Question);
    EXPECT_EQ(saved->buttons, MessageButtons::YesNo);
    EXPECT_TRUE(dialogs.processes.empty()) << "No starts nothing";
}

// The same rows run on tamsel.exe's Win32 windows (tests/win32): both front
// ends must write the same bytes for the same edits.
TEST_F(LoadSave, SharedScenariosSaveTheirGoldenBytes) {
    using editor_scenarios::Edit;
    for (const editor_scenarios::SaveScenario& row : editor_scenarios::saveScenarios()) {
        SCOPED_TRACE(row.name);
        editor_scenarios::prepareFolder(folder.path(), row);
        open();
        for (const editor_scenarios::Step& step : row.steps) {
            const QString text = editor_ui::toQt(step.text);
            switch (step.edit) {
                case Edit::Type: {
                    // Typed as one edit: QTest's key clicks know no letters beyond ASCII.
                    QLineEdit* target = box(editor_ui::toQt(step.control));
                    target->setFocus();
                    target->selectAll();
                    target->insert(text);
                    break;
                }
                case Edit::AddEntry: addEntries({text}); break;
                case Edit::SelectEntry: selectRowByMouse(step.row); break;
                case Edit::RemoveEntry: click("cmdRemove"); break;
            }
        }
        dialogs.messages.clear();
        click("cmdSave");
        ASSERT_EQ(dialogs.messages.size(), 1u);
        EXPECT_EQ(dialogs.messages[0].title, "Saved");
        expectMatchesGolden(readBytes(infoFile()), row.golden);
    }
}

TEST_F(LoadSave, EmptyListWritesNoExtrafilesSectionAndSavingTwiceKeepsTheFirstAsBackup) {
    const std::string original =
        "[Texts]\r\nName=N\r\nTitle=T\r\nExtra=gone\r\n[Files]\r\nFilename=f\r\n";
    writeBytes(infoFile(), original);
    open();
    click("cmdSave");
    const std::string first = readBytes(infoFile());
    EXPECT_EQ(readBytes(backupFile()), original);
    EXPECT_EQ(first,
              "[Texts]\r\nName=N\r\nVBName=\r\nTitle=T\r\nWarning=\r\n[Files]\r\nFilename=f\r\n"
              "Icon=\r\n[Misc]\r\nRunAfterInstall=\r\n");
    click("cmdSave");
    EXPECT_EQ(readBytes(backupFile()), first);
    EXPECT_EQ(readBytes(infoFile()), first) << "saving twice gives the same file";
}

TEST_F(LoadSave, SaveRefusedByARedLabelTouchesNoFile) {
    const std::string original = "[Texts]\r\nName=N\r\nTitle=T\r\n[Files]\r\nFilename=f\r\n";
    writeBytes(infoFile(), original);
    open();
    typeInto("txtName", "");
    click("cmdSave");
    const editor_ui::MessageRequest* refused = onlyMessage();
    ASSERT_NE(refused, nullptr);
    EXPECT_EQ(refused->title, "Error");
    EXPECT_EQ(readBytes(infoFile()), original);
    EXPECT_EQ(test_support::listFolder(folder.path()),
              std::vector<std::string>{"install_info.ini"});
}

// A line break pasted into a box or an entry cannot be written; the save
// used to replace the file without that key and then say it could not save.
TEST_F(LoadSave, ALineBreakInABoxOrEntrySavesNothingAndSaysError) {
    const std::string original = "[Texts]\r\nName=N\r\nTitle=T\r\n[Files]\r\nFilename=f\r\n";
    struct Case {
        const char* fault;
        QString boxName;  // empty: the text goes into a new extra-file entry
        QString text;
        QString named;
    };
    const Case cases[] = {
        {"a\nb pasted into txtProgID", "txtProgID", "a\nb", "\"VBName\""},
        {"a line break in txtMsgBoxes", "txtMsgBoxes", "two\r\nlines", "\"Title\""},
        {"a line break in an extra-file entry", "", "x\ny.txt", "extra file 1"},
        {"a character the code page cannot hold saved as '?'", "txtName", "Caf\u00E9 \u0416",
         "the field \"Name\" holds U+0416 '\u0416', which code page 1252 cannot hold"},
        {"an extra file the code page cannot hold saved as '?'", "", "\u65E5.txt",
         "extra file 1 \"\u65E5.txt\" holds U+65E5 '\u65E5', which code page 1252 cannot hold"},
        {"the file named twice: \"Couldn't save X\", then \"could not save X: ...\"", "txtIcon",
         "a\nb", "\"Icon\""},
        {"a refused Name with \u0141 overwrote the copy of the previous file", "txtName",
         "\u0141\u00F3d\u017A", "U+0141"},
    };
    const std::string previousCopy = "[Texts]\r\nName=One before\r\n";
    for (const Case& c : cases) {
        SCOPED_TRACE(c.fault);
        writeBytes(infoFile(), original);
        writeBytes(backupFile(), previousCopy);
        dialogs.messages.clear();
        open();
        if (c.boxName.isEmpty())
            addEntries({c.text});
        else
            box(c.boxName)->setText(c.text);
        click("cmdSave");
        const editor_ui::MessageRequest* error = onlyMessage();
        ASSERT_NE(error, nullptr) << "an error, and no Saved";
        EXPECT_EQ(error->title, "Error");
        EXPECT_TRUE(error->text.startsWith("Couldn't save " + qpath(infoFile()) + "\r\n"))
            << error->text.toStdString();
        EXPECT_TRUE(error->text.contains(c.named)) << error->text.toStdString();
        EXPECT_EQ(error->text.count(qpath(infoFile())), 1) << "the file is named once";
        EXPECT_EQ(readBytes(infoFile()), original);
        EXPECT_EQ(readBytes(backupFile()), previousCopy) << "a refused Save writes nothing at all";
    }
}

TEST_F(LoadSave, FailedSaveKeepsThePreviousFileAndSaysError) {
    const std::string original = "[Texts]\r\nName=N\r\nTitle=T\r\n[Files]\r\nFilename=f\r\n";
    struct Case {
        const char* fault;
        test_support::ChildLimits limits;
        mode_t folderMode;
        bool backupMade;
    };
    const Case cases[] = {
        // The backup copy already fails here; the old code deleted the file next.
        {"read-only program folder", {.asNobody = true, .maxFileBytes = std::nullopt}, 0555, false},
        // The copy fits under the limit, the new file does not: the write fails.
        {"disk full while writing", {.maxFileBytes = original.size() + 10}, 0755, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.fault);
        std::filesystem::remove(backupFile());
        writeBytes(infoFile(), original);
        open();
        addEntries({"a long entry that makes the new file larger than the limit"});
        ::chmod(folder.path().c_str(), c.folderMode);
        const int outcome = test_support::runInChild([&] { return saveAndReport(); }, c.limits);
        ::chmod(folder.path().c_str(), 0700);
        EXPECT_EQ(outcome, kShowedOneError);
        EXPECT_EQ(readBytes(infoFile()), original);
        EXPECT_EQ(std::filesystem::exists(backupFile()), c.backupMade);
        for (const std::string& name : test_support::listFolder(folder.path())) {
            EXPECT_TRUE(name == "install_info.ini" || name == "install_info backup.ini") << name;
        }
    }
}

// ---- Starting the updater -------------------------------------------------

class StartUpdater : public LoadSave {
  protected:
    void SetUp() override {
        LoadSave::SetUp();
        writeBytes(infoFile(), "[Texts]\r\nName=N\r\nTitle=T\r\n[Files]\r\nFilename=f\r\n");
    }
    // A stand-in updater that writes its working directory into a file.
    void installStandInUpdater() {
        writeBytes(folder / "updater",
                   "#!/bin/sh\npwd > '" + (tools / "ran-in.txt").string() + "'\n");
        std::filesystem::permissions(folder / "updater", std::filesystem::perms::owner_all);
    }
    test_support::TempDir tools;
};

TEST_F(StartUpdater, YesStartsTheUpdaterInTheProgramFolderWithOrWithoutATerminal) {
    installStandInUpdater();
    // A stand-in terminal that runs the command after "-e".
    writeBytes(tools / "terminal", "#!/bin/sh\n[ \"$1\" = -e ] && shift\nexec \"$@\"\n");
    std::filesystem::permissions(tools / "terminal", std::filesystem::perms::owner_all);
    const QByteArray savedPath = qgetenv("PATH");
    const QByteArray savedTerminal = qgetenv("TERMINAL");
    struct Case {
        const char* how;
        QByteArray terminal;
        QByteArray path;
        bool ownWindow;
    };
    const Case cases[] = {
        {"in the terminal named by $TERMINAL",
         QByteArray::fromStdString((tools / "terminal").string()), savedPath, false},
        {"in the editor's own window, with no terminal anywhere", "",
         QByteArray::fromStdString(tools.path().string()), true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.how);
        std::filesystem::remove(tools / "ran-in.txt");
        qputenv("TERMINAL", c.terminal);
        qputenv("PATH", c.path);
        dialogs.startProcessesForReal = true;
        dialogs.messageAnswers = {MessageAnswer::Yes};
        dialogs.messages.clear();
        open();
        click("cmdSave");
        qputenv("PATH", savedPath);
        qputenv("TERMINAL", savedTerminal);
        ASSERT_EQ(dialogs.processes.size(), 1u);
        dialogs.processes.clear();
        EXPECT_TRUE(QTest::qWaitFor(
            [&] { return readBytes(tools / "ran-in.txt").find('\n') != std::string::npos; },
            10000));
        // The editor's own folder is the build folder, not the program folder.
        EXPECT_EQ(readBytes(tools / "ran-in.txt"), folder.path().string() + "\n");
        EXPECT_EQ(dialogs.messages.size(), 1u) << "only Saved, no error";
        std::vector<QWidget*> consoles;
        for (QWidget* each : QApplication::topLevelWidgets()) {
            if (each->objectName() == "ConsoleWindow" && each->isVisible())
                consoles.push_back(each);
        }
        ASSERT_EQ(consoles.size(), c.ownWindow ? 1u : 0u) << "the run must be seen";
        if (c.ownWindow) {
            EXPECT_EQ(consoles[0]->windowTitle(), "updater");
            consoles[0]->close();
        }
    }
}

TEST_F(StartUpdater, AMissingUpdaterIsReported) {
    dialogs.startProcessesForReal = true;
    dialogs.messageAnswers = {MessageAnswer::Yes};
    open();
    click("cmdSave");
    ASSERT_EQ(dialogs.messages.size(), 2u);
    EXPECT_EQ(dialogs.messages[1].title, "Error");
    EXPECT_TRUE(dialogs.messages[1].text.startsWith("Couldn't start " + qpath(folder / "updater")));
}

}  // namespace
}  // namespace editor_test
