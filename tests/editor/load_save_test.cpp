// The Qt window over real files in a temporary program folder: what it shows
// of a loaded file, the bytes it saves for the shared scenarios, and the
// start of the updater after a save.
#include <QTest>
#include <filesystem>

#include "editor/qt/text_convert.h"
#include "tests/editor/frm_main_fixture.h"
#include "tests/editor/save_scenarios.h"

namespace editor_test {
namespace {
using editor_core::MessageAnswer;
using test_support::readBytes;
using test_support::writeBytes;

const QStringList kBoxes{"txtName",     "txtProgID", "txtMsgBoxes", "txtWarning",
                         "txtFilename", "txtIcon",   "txtRun"};

class LoadSave : public FrmMainFixture {
  protected:
    std::filesystem::path infoFile() const { return folder / "install_info.ini"; }

    QStringList boxTexts() {
        QStringList texts;
        for (const QString& name : kBoxes) texts << box(name)->text();
        return texts;
    }

    static void expectMatchesGolden(const std::string& actual, const std::string& goldenName) {
        const std::filesystem::path golden =
            std::filesystem::path(TAMSEL_TEST_DATA_DIR) / goldenName;
        if (readBytes(golden) != actual) {
            writeBytes(golden.string() + ".actual", actual);
            ADD_FAILURE() << "differs from " << golden << "; the output is beside it as .actual";
        }
    }
};

// ---- What the window shows ---------------------------------------------------
// Load and save themselves are the core's (tests/core/frm_main_core_test.cpp).

TEST_F(LoadSave, LoadedTextsShowInTheirBoxesFromTheirStart) {
    writeBytes(infoFile(), "[Texts]\r\nName=Caf\xE9\r\n[Files]\r\n"
                           "Filename=C:\\Program Files\\Scrambler\\plugins\\sample.dll\r\n"
                           "[Extrafiles]\r\nd\xE9j\xE0.txt\r\n");
    open();
    EXPECT_EQ(boxTexts(), (QStringList{"Caf\u00E9", "", "", "No Warning",
                                       "C:\\Program Files\\Scrambler\\plugins\\sample.dll", "",
                                       ""}));
    EXPECT_EQ(entries(), QStringList{"d\u00E9j\u00E0.txt"});
    // Not "...lugins\sample.dll": a box scrolls to show its start.
    expectEachBoxShowsItsStart();
    EXPECT_EQ(window->core().InfoPath(), infoFile().string());

    test_support::TempDir elsewhere;
    writeBytes(elsewhere / "other.ini", "[Texts]\r\nName=New\r\n");
    dialogs.openFileAnswers.push_back((elsewhere / "other.ini").string());
    click("cmdLoad");
    ASSERT_EQ(dialogs.openFiles.size(), 1u);
    EXPECT_EQ(dialogs.openFiles[0].initialFolder, folder.path().string());
    EXPECT_EQ(box("txtName")->text(), "New");
    expectEachBoxShowsItsStart();
}

// ---- Saving ---------------------------------------------------------------

// The same rows run on tamsel.exe's Win32 windows (tests/win32): both front
// ends must write the same bytes for the same edits.
TEST_F(LoadSave, SharedScenariosSaveTheirGoldenBytes) {
    using editor_scenarios::Edit;
    for (const editor_scenarios::SaveScenario& row : editor_scenarios::saveScenarios()) {
        SCOPED_TRACE(row.name);
        editor_scenarios::prepareFolder(folder.path(), row);
        open();
        for (const editor_scenarios::Step& step : row.steps) {
            const QString text = editor_qt::toQt(step.text);
            switch (step.edit) {
                case Edit::Type: {
                    // Typed as one edit: QTest's key clicks know no letters beyond ASCII.
                    QLineEdit* target = box(editor_qt::toQt(step.control));
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
        dialogs.messageAnswers = {MessageAnswer::Yes};
        dialogs.messages.clear();
        open().startUpdaterForReal = true;
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
    dialogs.messageAnswers = {MessageAnswer::Yes};
    open().startUpdaterForReal = true;
    click("cmdSave");
    ASSERT_EQ(dialogs.messages.size(), 2u);
    EXPECT_EQ(dialogs.messages[1].title, "Error");
    const std::string updater = (folder / "updater").string();
    EXPECT_EQ(dialogs.messages[1].text,
              "Couldn't start " + updater + "\r\n" + updater + " is missing or not executable");
}

}  // namespace
}  // namespace editor_test
