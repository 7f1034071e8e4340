// The backup window on Qt: its layout, its one instance and its list by
// keyboard. What its buttons do is tested on the core (tests/core).
#include "editor/qt/frm_backup.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QStyle>
#include <QStyleOptionButton>
#include <QTest>

#include "editor/ini/backup_store.h"
#include "tests/backup/backup_windows.h"
#include "tests/editor/frm_main_fixture.h"
#include "tests/support/temp_dir.h"

namespace {
namespace fs = std::filesystem;
using test_support::TempDir;
using Names = std::vector<std::string>;

using backup_test::closeBackupWindows;
using backup_test::openBackupWindows;
using backup_test::settle;

class BackupWindow : public ::testing::Test {
  protected:
    void SetUp() override {
        editor_test::ensureApplication();
        mainWindow = std::make_unique<editor_test::ScriptedMainWindow>(
            QString::fromStdString(dir.path().string()), dialogs);
    }
    void TearDown() override { closeBackupWindows(); }

    QWidget* open() {
        mainWindow->core().cmdBackup_Click();  // no label is red yet
        const auto windows = openBackupWindows();
        return windows.size() == 1 ? windows.front() : nullptr;
    }
    void seedList(const Names& names) {
        ASSERT_TRUE(editor_ini::WriteBackupList(dir.path(), names));
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

    TempDir dir;
    core_test::FakeDialogs dialogs;
    std::unique_ptr<editor_test::ScriptedMainWindow> mainWindow;
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

    dialogs.inputAnswers = {"newest"};
    click(window, "cmdMake");
    const auto lastShows = [&] {
        return list(window)->viewport()->rect().contains(
            list(window)->visualItemRect(list(window)->item(20)));
    };
    EXPECT_TRUE(QTest::qWaitFor(lastShows)) << "the new entry is out of view";
}

}  // namespace
