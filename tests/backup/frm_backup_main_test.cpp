// The backup window opened from the real main window's Backup button.
#include <QApplication>

#include "tests/backup/backup_windows.h"
#include "tests/editor/frm_main_fixture.h"

namespace {
using backup_test::closeBackupWindows;
using backup_test::openBackupWindows;

class BackupFromMainWindow : public editor_test::FrmMainFixture {
  protected:
    void TearDown() override { closeBackupWindows(); }

    void fillRequiredFields() {
        typeInto("txtName", "My plugin");
        typeInto("txtMsgBoxes", "My installer");
        typeInto("txtFilename", "plugin.dll");
        addEntries({"readme.txt"});
        typeInto("txtRun", "readme.txt");
    }
};

TEST_F(BackupFromMainWindow, IsRefusedWhileALabelIsRed) {
    struct Row {
        const char* label;
        const char* box;
        QString text;  // what makes the label red
    };
    const std::vector<Row> rows = {
        {"lblName", "txtName", ""},
        {"lblMsgBoxes", "txtMsgBoxes", ""},
        {"lblFilename", "txtFilename", ""},
        {"lblRun", "txtRun", "not-an-extra-file.txt"},
    };
    open();
    for (const Row& row : rows) {
        SCOPED_TRACE(row.label);
        fillRequiredFields();
        typeInto(row.box, row.text);
        ASSERT_TRUE(isRed(label(row.label)));
        dialogs.messages.clear();
        dialogs.inputs.clear();

        click("cmdBackup");

        ASSERT_EQ(dialogs.messages.size(), 1u);
        EXPECT_EQ(dialogs.messages[0].title, "Error");
        EXPECT_TRUE(openBackupWindows().empty());
        EXPECT_TRUE(dialogs.inputs.empty());
    }
    EXPECT_EQ(test_support::listFolder(folder.path()), std::vector<std::string>{})
        << "a refused opening writes nothing";
}

TEST_F(BackupFromMainWindow, OpensOneModelessWindowAndTheMainWindowStaysUsable) {
    test_support::writeBytes(folder / "backup.ini", "[GEN]\r\nBackups=1\r\n[Backups]\r\n1=old\r\n");
    open();
    fillRequiredFields();

    click("cmdBackup");
    click("cmdBackup");

    ASSERT_EQ(openBackupWindows().size(), 1u) << "clicked twice, opened once";
    QWidget* backup = openBackupWindows().front();
    EXPECT_TRUE(dialogs.messages.empty());
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
    EXPECT_FALSE(backup->isModal());
    EXPECT_NE(backup->window(), window->window()) << "a window of its own, not owned";

    // The main window still takes input, and a backup takes its fields as they
    // are at the moment of the click.
    typeInto("txtName", "Changed while open");
    EXPECT_EQ(box("txtName")->text(), "Changed while open");
    dialogs.inputs.clear();
    dialogs.inputAnswers = {"snapshot"};
    QTest::mouseClick(backup->findChild<QPushButton*>("cmdMake"), Qt::LeftButton);
    ASSERT_EQ(dialogs.inputs.size(), 1u);
    EXPECT_EQ(dialogs.inputs[0].defaultAnswer, "Changed while open");
    EXPECT_NE(test_support::readBytes(folder / "snapshot").find("Name=Changed while open\r\n"),
              std::string::npos);
    EXPECT_EQ(selectedRow(), 0) << "the last extra file written ends selected";

    // Closing the main window leaves the backup window open.
    window->close();
    EXPECT_EQ(openBackupWindows(), std::vector<QWidget*>{backup});
}

// Makes a backup of the fields as they are, through the open backup window.
QWidget* makeBackup(core_test::FakeDialogs& dialogs, const std::string& name) {
    QWidget* backup = openBackupWindows().front();
    dialogs.inputAnswers = {name};
    QTest::mouseClick(backup->findChild<QPushButton*>("cmdMake"), Qt::LeftButton);
    return backup;
}

void editEntry(QWidget* backup, int row) {
    backup->findChild<QListWidget*>("lstBackups")->setCurrentRow(row);
    QTest::mouseClick(backup->findChild<QPushButton*>("cmdEdit"), Qt::LeftButton);
}

TEST_F(BackupFromMainWindow, EditLoadsTheBackupIntoTheMainWindowAndCloses) {
    open();
    fillRequiredFields();
    click("cmdBackup");
    QWidget* backup = makeBackup(dialogs, "before changes");

    typeInto("txtName", "Unsaved edit");
    addEntries({"more.txt"});
    editEntry(backup, 0);

    EXPECT_TRUE(openBackupWindows().empty());
    EXPECT_TRUE(dialogs.messages.empty());
    EXPECT_EQ(box("txtName")->text(), "My plugin") << "unsaved edits replaced without asking";
    EXPECT_EQ(entries(), QStringList{"readme.txt"});
    expectEachBoxShowsItsStart();
    EXPECT_EQ(window->core().InfoPath(), (folder / "install_info.ini").string())
        << "Save still writes the editor's own file";
}

TEST_F(BackupFromMainWindow, EditWhileTheMainWindowIsClosedShowsItAgain) {
    open();
    fillRequiredFields();
    click("cmdBackup");
    QWidget* backup = makeBackup(dialogs, "kept");
    window->close();
    typeInto("txtName", "Changed");

    editEntry(backup, 0);

    EXPECT_TRUE(window->isVisible());
    EXPECT_EQ(box("txtName")->text(), "My plugin");
    EXPECT_TRUE(openBackupWindows().empty());
}

TEST_F(BackupFromMainWindow, EditOfAMissingBackupKeepsBothWindowsAsTheyWere) {
    test_support::writeBytes(folder / "backup.ini",
                             "[GEN]\r\nBackups=1\r\n[Backups]\r\n1=removed outside\r\n");
    open();
    fillRequiredFields();
    click("cmdBackup");
    dialogs.messages.clear();

    editEntry(openBackupWindows().front(), 0);

    ASSERT_EQ(dialogs.messages.size(), 1u);
    EXPECT_EQ(dialogs.messages[0].text.rfind("Couldn't open", 0), 0u)
        << "the main window's message";
    EXPECT_EQ(box("txtName")->text(), "My plugin");
    EXPECT_EQ(entries(), QStringList{"readme.txt"});
    EXPECT_EQ(openBackupWindows().size(), 1u) << "the author can pick another backup";
}

}  // namespace
