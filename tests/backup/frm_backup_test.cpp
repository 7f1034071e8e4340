#include "editor/backup/frm_backup.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <QApplication>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QStyle>
#include <QStyleOptionButton>
#include <QTest>

#include "editor/backup/backup_store.h"
#include "editor/ui/scripted_dialogs.h"
#include "tests/backup/backup_windows.h"
#include "tests/editor/frm_main_fixture.h"
#include "tests/support/child_process.h"
#include "tests/support/rows.h"
#include "tests/support/temp_dir.h"

namespace {
namespace fs = std::filesystem;
using editor_ui::MessageButtons;
using editor_ui::MessageIcon;
using test_support::listFolder;
using test_support::readBytes;
using test_support::TempDir;
using test_support::writeBytes;
using Names = std::vector<std::string>;

const std::string kBackupText = "[Texts]\r\nName=a\r\n";
using backup_test::closeBackupWindows;
using backup_test::openBackupWindows;
using backup_test::settle;

// Records what the backup window asks of the main window.
class FakeHost : public editor_backup::BackupHost {
  public:
    QString defaultName = "My plugin";
    editor_ini::InstallRecord record;
    bool loadSucceeds = true;
    std::vector<int> selectedEntries;
    std::vector<QString> loadedPaths;
    int mainWindowShown = 0;

    QString backupDefaultName() const override { return defaultName; }
    editor_ini::InstallRecord currentRecord() const override { return record; }
    void selectExtraEntry(int index) override { selectedEntries.push_back(index); }
    bool loadFromPath(const QString& path) override {
        loadedPaths.push_back(path);
        return loadSucceeds;
    }
    void showMainWindow() override { ++mainWindowShown; }
};

class BackupWindow : public ::testing::Test {
  protected:
    void SetUp() override { editor_test::ensureApplication(); }
    void TearDown() override { closeBackupWindows(); }

    QWidget* open() {
        editor_backup::showBackupWindow(host, QString::fromStdString(dir.path().string()));
        const auto windows = openBackupWindows();
        return windows.size() == 1 ? windows.front() : nullptr;
    }
    void seedList(const Names& names) {
        ASSERT_TRUE(editor_backup::WriteBackupList(dir.path(), names));
    }
    static QListWidget* list(QWidget* window) {
        return window->findChild<QListWidget*>("lstBackups");
    }
    static Names entries(QWidget* window) {
        Names names;
        for (int row = 0; row < list(window)->count(); ++row) {
            names.push_back(list(window)->item(row)->text().toStdString());
        }
        return names;
    }
    static void click(QWidget* window, const char* button) {
        auto* widget = window->findChild<QPushButton*>(button);
        ASSERT_NE(widget, nullptr) << button;
        QTest::mouseClick(widget, Qt::LeftButton);
    }
    void expectNothingSelectedMessage() {
        ASSERT_EQ(dialogs.messages.size(), 1u);
        EXPECT_EQ(dialogs.messages[0].text, "No backup file selected!");
        EXPECT_EQ(dialogs.messages[0].title, "Error");
        EXPECT_EQ(dialogs.messages[0].icon, MessageIcon::Exclamation);
        EXPECT_EQ(dialogs.messages[0].buttons, MessageButtons::Ok);
    }

    TempDir dir;
    FakeHost host;
    editor_ui::ScriptedDialogs dialogs;
};

TEST_F(BackupWindow, LaysOutTheDesignedControls) {
    QWidget* window = open();
    ASSERT_NE(window, nullptr);
    EXPECT_EQ(window->windowTitle(), "Backup");
    EXPECT_EQ(window->size(), QSize(250, 246)) << "3750 x 3690 twips at 96 dpi";
    EXPECT_EQ(window->minimumSize(), window->maximumSize()) << "fixed size";
    EXPECT_FALSE(window->windowFlags() & Qt::WindowMaximizeButtonHint);
    EXPECT_TRUE(window->windowFlags() & Qt::WindowMinimizeButtonHint);
    EXPECT_EQ(window->parentWidget(), nullptr) << "no owner";
    EXPECT_FALSE(window->isModal());

    struct Control {
        const char* name;
        QString caption;
        QRect pixels;  // twips / 15
    };
    const std::vector<Control> controls = {
        {"lblInfo", "Use this to backup your existing install file.", {0, 0, 297, 41}},
        {"lblBackups", "Current Backups : ", {80, 40, 89, 17}},
        {"lstBackups", "", {40, 64, 177, 108}},
        {"cmdMake", "Backup this install file!", {40, 176, 89, 33}},
        {"cmdRemove", "Remve selected backup", {128, 176, 89, 33}},
        {"cmdEdit", "Edit selected backup", {80, 208, 97, 33}},
    };
    for (const Control& control : controls) {
        SCOPED_TRACE(control.name);
        auto* widget = window->findChild<QWidget*>(control.name);
        ASSERT_NE(widget, nullptr);
        EXPECT_EQ(widget->geometry(), control.pixels);
        // Every caption fits its box in the program's font.
        const QFontMetrics metrics(widget->font());
        if (auto* label = qobject_cast<QLabel*>(widget)) {
            EXPECT_EQ(label->text(), control.caption);
            EXPECT_LE(metrics.horizontalAdvance(label->text()), label->contentsRect().width());
        }
        if (auto* button = qobject_cast<QPushButton*>(widget)) {
            EXPECT_EQ(button->text(), control.caption);
            QStyleOptionButton option;
            option.initFrom(button);
            option.text = button->text();
            const QRect textArea =
                button->style()->subElementRect(QStyle::SE_PushButtonContents, &option, button);
            // The buttons are two lines high; their captions wrap as needed.
            const QRect needed =
                metrics.boundingRect(textArea, Qt::AlignCenter | Qt::TextWordWrap, button->text());
            EXPECT_LE(needed.width(), textArea.width());
            EXPECT_LE(needed.height(), textArea.height());
        }
    }
    EXPECT_EQ(window->focusWidget(), list(window)) << "labels take no focus";
    std::vector<QString> tabOrder;
    QWidget* stop = list(window);
    do {
        tabOrder.push_back(stop->objectName());
        do {
            stop = stop->nextInFocusChain();
        } while (!(stop->focusPolicy() & Qt::TabFocus) && stop != list(window));
    } while (stop != list(window));
    EXPECT_EQ(tabOrder, (std::vector<QString>{"lstBackups", "cmdMake", "cmdRemove", "cmdEdit"}));
}

TEST_F(BackupWindow, OpensOnceAndLoadsTheListOnlyWhenCreated) {
    seedList({"alpha", "beta"});
    QWidget* first = open();
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(entries(first), (Names{"alpha", "beta"}));
    EXPECT_TRUE(list(first)->selectedItems().isEmpty());

    seedList({"changed"});
    QWidget* again = open();
    EXPECT_EQ(again, first) << "a second opening raises the open window";
    EXPECT_EQ(entries(again), (Names{"alpha", "beta"})) << "the list is not read again";

    first->close();
    settle();
    QWidget* reopened = open();
    ASSERT_NE(reopened, nullptr);
    EXPECT_EQ(entries(reopened), Names{"changed"}) << "closing unloads; opening reads afresh";
}

TEST_F(BackupWindow, AFirstOpeningWithoutAListShowsAnEmptyList) {
    QWidget* window = open();
    ASSERT_NE(window, nullptr);
    EXPECT_EQ(list(window)->count(), 0);
    EXPECT_EQ(window->findChild<QLabel*>("lblInfo")->text(),
              "Use this to backup your existing install file.");
    EXPECT_TRUE(dialogs.messages.empty());
    EXPECT_EQ(listFolder(dir.path()), Names{}) << "opening writes nothing";
}

TEST_F(BackupWindow, MakeAppendsKeepsTheSelectionAndWritesBoth) {
    seedList({"alpha", "beta"});
    host.record.values = {"My plugin", "", "Title", "No Warning", "p.dll", "", "x.txt"};
    host.record.extraFiles = {"x.txt", "y.txt"};
    QWidget* window = open();
    ASSERT_NE(window, nullptr);
    list(window)->setCurrentRow(0);
    dialogs.inputAnswers = {QString("gamma")};

    click(window, "cmdMake");

    ASSERT_EQ(dialogs.inputs.size(), 1u);
    EXPECT_EQ(dialogs.inputs[0].prompt, "Please enter a backup name.");
    EXPECT_EQ(dialogs.inputs[0].title, "Backup name");
    EXPECT_EQ(dialogs.inputs[0].defaultAnswer, "My plugin");
    EXPECT_TRUE(dialogs.messages.empty());
    EXPECT_EQ(entries(window), (Names{"alpha", "beta", "gamma"}));
    ASSERT_EQ(list(window)->selectedItems().size(), 1);
    EXPECT_EQ(list(window)->selectedItems().front()->text(), "alpha");
    EXPECT_EQ(readBytes(dir / "backup.ini"),
              "[GEN]\r\nBackups=3\r\n[Backups]\r\n1=alpha\r\n2=beta\r\n3=gamma\r\n");
    EXPECT_EQ(readBytes(dir / "gamma"),
              "[Texts]\r\nName=My plugin\r\nVBName=\r\nTitle=Title\r\nWarning=\r\n"
              "[Files]\r\nFilename=p.dll\r\nIcon=\r\n[Misc]\r\nRunAfterInstall=x.txt\r\n"
              "[Extrafiles]\r\nx.txt\r\ny.txt\r\n");
    EXPECT_EQ(host.selectedEntries, (std::vector<int>{0, 1})) << "the last entry ends selected";
}

TEST_F(BackupWindow, MakeCancelledDoesNothing) {
    seedList({"alpha"});
    const std::string listBefore = readBytes(dir / "backup.ini");
    QWidget* window = open();
    ASSERT_NE(window, nullptr);
    dialogs.inputAnswers = {std::nullopt};

    click(window, "cmdMake");

    EXPECT_EQ(dialogs.inputs.size(), 1u);
    EXPECT_TRUE(dialogs.messages.empty());
    EXPECT_EQ(entries(window), Names{"alpha"}) << "no empty entry is added";
    EXPECT_EQ(readBytes(dir / "backup.ini"), listBefore);
    EXPECT_EQ(listFolder(dir.path()), Names{"backup.ini"});
}

TEST_F(BackupWindow, AnInvalidNameIsRefusedWithItsReason) {
    using Row = test_support::NameRow<QString>;
    const std::vector<Row> rows = {
        {"", "an empty answer would list a backup that has no file"},
        {"../outside", "a folder part writes outside the program folder"},
        {"INSTALL_INFO.ini", "a backup would overwrite the editor's own file"},
        {"installer.exe", "a backup would overwrite the installer"},
        {"plugin.dll", "a backup would overwrite the plugin"},
        {QString(100, 'n'), "listed cut to 99 characters once the window is reopened"},
        {QString(150, 'n'), "refused only from 256 characters on, before"},
        {" spaced", "listed without its leading blank once reopened"},
        {"spaced ", "listed without its trailing blank once reopened"},
        {QString::fromUtf8("smile \xf0\x9f\x98\x80"), "no ANSI code page holds it"},
    };
    seedList({"alpha"});
    writeBytes(dir / "installer.exe", "MZ stand-in");
    writeBytes(dir / "plugin.dll", "MZ stand-in");
    const Names folderBefore = listFolder(dir.path());
    const std::string listBefore = readBytes(dir / "backup.ini");
    QWidget* window = open();
    ASSERT_NE(window, nullptr);
    for (const Row& row : rows) {
        SCOPED_TRACE(row.fault);
        dialogs.messages.clear();
        dialogs.inputAnswers = {row.name};
        click(window, "cmdMake");
        ASSERT_EQ(dialogs.messages.size(), 1u);
        const QStringList lines = dialogs.messages[0].text.split("\r\n");
        ASSERT_EQ(lines.size(), 2);
        EXPECT_EQ(lines[0], "Invalid backup name!");
        EXPECT_FALSE(lines[1].isEmpty()) << "one line says why";
        EXPECT_EQ(dialogs.messages[0].title, "Error");
        EXPECT_EQ(dialogs.messages[0].icon, MessageIcon::Exclamation);
        EXPECT_EQ(dialogs.messages[0].buttons, MessageButtons::Ok);
        EXPECT_EQ(entries(window), Names{"alpha"});
        EXPECT_EQ(readBytes(dir / "backup.ini"), listBefore);
        EXPECT_EQ(listFolder(dir.path()), folderBefore);
        EXPECT_EQ(readBytes(dir / "installer.exe"), "MZ stand-in");
    }
}

// The longest name that is taken comes back whole, and Edit and Remove find
// its file after the window is opened again.
TEST_F(BackupWindow, ANameAtTheLimitIsListedWholeAfterReopening) {
    const QString name(99, 'n');
    QWidget* window = open();
    ASSERT_NE(window, nullptr);
    dialogs.inputAnswers = {name};
    click(window, "cmdMake");
    EXPECT_TRUE(dialogs.messages.empty());
    window->close();
    settle();

    window = open();
    ASSERT_NE(window, nullptr);
    EXPECT_EQ(entries(window), Names{name.toStdString()});
    list(window)->setCurrentRow(0);
    click(window, "cmdRemove");
    EXPECT_TRUE(dialogs.messages.empty());
    EXPECT_EQ(listFolder(dir.path()), Names{"backup.ini"}) << "the file went with its entry";
}

TEST_F(BackupWindow, RemoveAndEditWithoutASelectionOnlyTellTheAuthor) {
    for (const char* button : {"cmdRemove", "cmdEdit"}) {
        SCOPED_TRACE(button);
        seedList({"alpha"});
        writeBytes(dir / "alpha", "[Texts]\r\nName=a\r\n");
        const std::string listBefore = readBytes(dir / "backup.ini");
        QWidget* window = open();
        ASSERT_NE(window, nullptr);
        dialogs.messages.clear();

        click(window, button);

        expectNothingSelectedMessage();
        EXPECT_EQ(entries(window), Names{"alpha"});
        EXPECT_EQ(readBytes(dir / "backup.ini"), listBefore);
        EXPECT_EQ(listFolder(dir.path()), (Names{"alpha", "backup.ini"}));
        EXPECT_TRUE(host.loadedPaths.empty());
        EXPECT_EQ(openBackupWindows().size(), 1u) << "the window stays open";
    }
}

TEST_F(BackupWindow, TheListByKeyboard) {
    Names many;
    for (int i = 1; i <= 20; ++i) many.push_back("b" + std::to_string(i));
    seedList(many);
    QWidget* window = open();
    ASSERT_NE(window, nullptr);
    window->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(window));
    ASSERT_EQ(QApplication::focusWidget(), list(window)) << "focus starts in the list";
    EXPECT_TRUE(list(window)->selectedItems().isEmpty());
    QTest::keyClick(list(window), Qt::Key_Down);
    ASSERT_EQ(list(window)->selectedItems().size(), 1);
    EXPECT_EQ(list(window)->currentRow(), 0) << "the first Down selected the second entry";

    dialogs.inputAnswers = {QString("newest")};
    click(window, "cmdMake");
    const QRect last = list(window)->visualItemRect(list(window)->item(20));
    EXPECT_TRUE(list(window)->viewport()->rect().contains(last)) << "the new entry is out of view";
}

TEST_F(BackupWindow, RemoveDeletesTheFileAndRewritesTheList) {
    seedList({"alpha", "beta", "alpha", "gone"});
    writeBytes(dir / "alpha", kBackupText);
    writeBytes(dir / "beta", kBackupText);
    QWidget* window = open();
    ASSERT_NE(window, nullptr);

    list(window)->setCurrentRow(2);
    click(window, "cmdRemove");
    EXPECT_EQ(entries(window), (Names{"alpha", "beta", "gone"}));
    EXPECT_TRUE(list(window)->selectedItems().isEmpty());
    EXPECT_EQ(listFolder(dir.path()), (Names{"backup.ini", "beta"}))
        << "two entries of one name share one file";

    list(window)->setCurrentRow(2);
    click(window, "cmdRemove");
    EXPECT_TRUE(dialogs.messages.empty()) << "a file already gone is no error";
    EXPECT_EQ(readBytes(dir / "backup.ini"),
              "[GEN]\r\nBackups=2\r\n[Backups]\r\n1=alpha\r\n2=beta\r\n");
}

// A listed name that names a file that is no backup (a hand-edited list, or
// " readme.txt" read back trimmed) loses its entry; the file stays.
TEST_F(BackupWindow, RemoveLeavesAFileThatIsNoBackupAndDropsItsEntry) {
    seedList({"readme.txt", "install_info.ini", "alpha"});
    writeBytes(dir / "readme.txt", "Read me first.\r\n");
    writeBytes(dir / "install_info.ini", kBackupText);
    writeBytes(dir / "alpha", kBackupText);
    QWidget* window = open();
    ASSERT_NE(window, nullptr);
    for (int removal = 0; removal < 2; ++removal) {
        list(window)->setCurrentRow(0);
        click(window, "cmdRemove");
    }
    EXPECT_TRUE(dialogs.messages.empty());
    EXPECT_EQ(entries(window), Names{"alpha"});
    EXPECT_EQ(readBytes(dir / "backup.ini"), "[GEN]\r\nBackups=1\r\n[Backups]\r\n1=alpha\r\n");
    EXPECT_EQ(readBytes(dir / "readme.txt"), "Read me first.\r\n");
    EXPECT_EQ(readBytes(dir / "install_info.ini"), kBackupText);
}

// Remove used to drop the entry whatever happened: a backup it could not
// delete vanished from the list, and a list it could not write came back on
// the next opening.
TEST_F(BackupWindow, ARemoveThatFailsKeepsTheEntryAndSaysWhy) {
    struct Row {
        const char* fault;
        mode_t folderMode;
        mode_t listMode;
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
        closeBackupWindows();
        ::chmod(dir.path().c_str(), 0700);
        seedList({"alpha", "beta"});
        writeBytes(dir / "alpha", kBackupText);
        const std::string listBefore = readBytes(dir / "backup.ini");
        QWidget* window = open();
        ASSERT_NE(window, nullptr);
        ::chmod((dir / "backup.ini").c_str(), row.listMode);
        ::chmod(dir.path().c_str(), row.folderMode);
        enum Outcome { kSaidWhy = 0, kNoMessage, kOtherMessage, kEntryLost };
        const int outcome = test_support::runInChild(
            [&] {
                dialogs.messages.clear();
                list(window)->setCurrentRow(0);
                click(window, "cmdRemove");
                if (entries(window) != Names{"alpha", "beta"})
                    return kEntryLost;
                if (dialogs.messages.size() != 1)
                    return kNoMessage;
                const editor_ui::MessageRequest& m = dialogs.messages[0];
                const QStringList lines = m.text.split("\r\n");
                const bool saidWhy =
                    lines.size() == 2 &&
                    lines[0] == row.action + QString::fromStdString(row.shownFile.string()) &&
                    !lines[1].isEmpty() && m.title == "Error" && m.icon == MessageIcon::Exclamation;
                return saidWhy ? kSaidWhy : kOtherMessage;
            },
            {.asNobody = true, .maxFileBytes = std::nullopt});
        ::chmod(dir.path().c_str(), 0700);
        ::chmod((dir / "backup.ini").c_str(), 0644);
        EXPECT_EQ(outcome, kSaidWhy);
        EXPECT_EQ(readBytes(dir / "backup.ini"), listBefore);
        EXPECT_EQ(fs::exists(dir / "alpha"), row.backupLeft);
    }
}

TEST_F(BackupWindow, EditLoadsTheBackupIntoTheMainWindowAndCloses) {
    seedList({"alpha", "first.ini"});
    QWidget* window = open();
    ASSERT_NE(window, nullptr);
    list(window)->setCurrentRow(1);

    click(window, "cmdEdit");

    ASSERT_EQ(host.loadedPaths.size(), 1u);
    EXPECT_EQ(host.loadedPaths[0].toStdString(), (dir / "first.ini").string())
        << "the program folder and the name, no extension added";
    EXPECT_EQ(host.mainWindowShown, 1);
    EXPECT_TRUE(openBackupWindows().empty());
    settle();
    EXPECT_TRUE(dialogs.messages.empty());
}

// A listed name that names a file that is no backup, or a path outside the
// folder (a hand-edited list), is not loaded: the window says so and stays.
TEST_F(BackupWindow, EditLoadsNoFileThatIsNoBackup) {
    seedList({"readme.txt", "/etc/hostname"});
    writeBytes(dir / "readme.txt", "Read me first.\r\n");
    QWidget* window = open();
    ASSERT_NE(window, nullptr);
    for (int row = 0; row < 2; ++row) {
        list(window)->setCurrentRow(row);
        click(window, "cmdEdit");
    }
    EXPECT_TRUE(host.loadedPaths.empty());
    ASSERT_EQ(dialogs.messages.size(), 2u);
    EXPECT_TRUE(dialogs.messages[0].text.startsWith("Couldn't open "))
        << dialogs.messages[0].text.toStdString();
    EXPECT_EQ(openBackupWindows(), std::vector<QWidget*>{window});
}

TEST_F(BackupWindow, EditWhoseLoadFailsKeepsTheWindowOpen) {
    seedList({"missing"});
    host.loadSucceeds = false;
    QWidget* window = open();
    ASSERT_NE(window, nullptr);
    list(window)->setCurrentRow(0);

    click(window, "cmdEdit");

    EXPECT_EQ(host.loadedPaths.size(), 1u);
    EXPECT_EQ(host.mainWindowShown, 0);
    EXPECT_EQ(openBackupWindows(), std::vector<QWidget*>{window});
    EXPECT_EQ(entries(window), Names{"missing"});
}

}  // namespace
