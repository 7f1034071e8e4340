// A backup that cannot be written, made through the real main window and
// backup window: the author is told, the window does not list it, and the
// files already in the folder stay as they were.
#include <QListWidget>
#include <QPushButton>

#include "tests/backup/backup_windows.h"
#include "tests/editor/frm_main_fixture.h"
#include "tests/support/child_process.h"

namespace {
using test_support::readBytes;
using test_support::writeBytes;

class BackupFailure : public editor_test::FrmMainFixture {
  protected:
    void TearDown() override { backup_test::closeBackupWindows(); }
};

TEST_F(BackupFailure, IsReportedAndNotListedAndChangesNoFile) {
    struct Row {
        const char* fault;
        test_support::ChildLimits limits;
        mode_t folderMode;
        bool backupFileLeft;  // written before the list failed
    };
    // The list names are long enough that the list file outgrows the limit
    // that the backup file itself still fits under.
    std::string list = "[GEN]\r\nBackups=12\r\n[Backups]\r\n";
    for (int i = 1; i <= 12; ++i) list += std::to_string(i) + "=" + std::string(60, 'b') + "\r\n";
    const Row rows[] = {
        {"read-only folder: the backup was listed though never written",
         {.asNobody = true, .maxFileBytes = std::nullopt},
         0555,
         false},
        {"full disk at the backup file: listed though never written",
         {.maxFileBytes = 64},
         0755,
         false},
        {"full disk at the list: the window listed what backup.ini does not",
         {.maxFileBytes = 600},
         0755,
         true},
    };
    const std::string info =
        "[Texts]\r\nName=N\r\nVBName=V\r\nTitle=T\r\nWarning=W\r\n[Files]\r\nFilename=f\r\n"
        "Icon=\r\n[Misc]\r\nRunAfterInstall=\r\n[Extrafiles]\r\na.txt\r\n";
    writeBytes(folder / "install_info.ini", info);
    writeBytes(folder / "backup.ini", list);
    ::chmod((folder / "install_info.ini").c_str(), 0644);
    ::chmod((folder / "backup.ini").c_str(), 0644);
    open();
    for (const Row& row : rows) {
        SCOPED_TRACE(row.fault);
        backup_test::closeBackupWindows();
        ::chmod(folder.path().c_str(), row.folderMode);
        const int outcome = test_support::runInChild(
            [&] {
                dialogs.messages.clear();
                click("cmdBackup");
                const auto windows = backup_test::openBackupWindows();
                if (windows.size() != 1)
                    return 10;
                dialogs.inputAnswers = {"snap"};
                QTest::mouseClick(windows.front()->findChild<QPushButton*>("cmdMake"),
                                  Qt::LeftButton);
                const auto* names = windows.front()->findChild<QListWidget*>("lstBackups");
                if (!names->findItems("snap", Qt::MatchExactly).isEmpty())
                    return 11;  // listed
                if (dialogs.messages.size() != 1 || dialogs.messages[0].title != "Error")
                    return 12;  // not reported
                return 0;
            },
            row.limits);
        ::chmod(folder.path().c_str(), 0700);
        EXPECT_EQ(outcome, 0) << "11: listed anyway, 12: no error shown";
        EXPECT_EQ(readBytes(folder / "install_info.ini"), info);
        EXPECT_EQ(readBytes(folder / "backup.ini"), list);
        EXPECT_EQ(std::filesystem::exists(folder / "snap"), row.backupFileLeft);
        std::filesystem::remove(folder / "snap");
        EXPECT_EQ(test_support::listFolder(folder.path()),
                  (std::vector<std::string>{"backup.ini", "install_info.ini"}));
    }
}

}  // namespace
