// A main window in a temporary program folder, with its dialogs answered by a
// FakeDialogs, driven through its real widgets on the offscreen platform.
#pragma once

#include <gtest/gtest.h>

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTest>
#include <memory>

#include "editor/qt/frm_main.h"
#include "editor/qt/text_convert.h"
#include "tests/editor/qstring_print.h"
#include "tests/editor/scripted_windows.h"
#include "tests/support/temp_dir.h"

namespace editor_test {

inline void ensureApplication() {
    if (QApplication::instance())
        return;
    static int argc = 1;
    static char name[] = "editor_test";
    static char* argv[] = {name, nullptr};
    // Never destroyed: widgets of a failed test may still refer to it at exit.
    new QApplication(argc, argv);
    editor_qt::applyApplicationLook();
}

class FrmMainFixture : public testing::Test {
  protected:
    void SetUp() override { ensureApplication(); }

    // Opens the window; any install_info.ini must be in place before.
    ScriptedMainWindow& open() {
        window = std::make_unique<ScriptedMainWindow>(QString::fromStdString(folder.path()),
                                                      dialogs);
        window->show();
        window->activateWindow();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(window.get()));
        return *window;
    }

    template <typename T>
    T* find(const QString& name) {
        T* found = window->findChild<T*>(name);
        if (!found)
            ADD_FAILURE() << "no control " << name.toStdString();
        return found;
    }
    QLineEdit* box(const QString& name) { return find<QLineEdit>(name); }
    QLabel* label(const QString& name) { return find<QLabel>(name); }
    QPushButton* button(const QString& name) { return find<QPushButton>(name); }
    QListWidget* list() { return find<QListWidget>("lstExtra"); }

    void click(const QString& buttonName) { QTest::mouseClick(button(buttonName), Qt::LeftButton); }

    // Replaces a box's text by typing: select all, then the keys of `text`.
    void typeInto(const QString& boxName, const QString& text) {
        QLineEdit* target = box(boxName);
        target->setFocus();
        QTest::keyClick(target, Qt::Key_A, Qt::ControlModifier);
        QTest::keyClick(target, Qt::Key_Delete);
        QTest::keyClicks(target, text);
    }

    // Adds entries through the Add button and its input box.
    void addEntries(const QStringList& entries) {
        for (const QString& entry : entries) {
            dialogs.inputAnswers.push_back(editor_qt::toStd(entry));
            click("cmdAdd");
        }
    }

    void selectRowByMouse(int row) {
        QListWidget* l = list();
        QRect rect = l->visualItemRect(l->item(row));
        QTest::mouseClick(l->viewport(), Qt::LeftButton, {}, rect.center());
    }

    // A box scrolls to show its cursor: at 0, the start of a long value shows.
    void expectEachBoxShowsItsStart() {
        for (const QLineEdit* each : window->findChildren<QLineEdit*>()) {
            EXPECT_EQ(each->cursorPosition(), 0) << each->objectName().toStdString();
        }
    }

    static bool isRed(const QLabel* l) {
        return l->palette().color(QPalette::WindowText) == editor_qt::kRed;
    }
    static bool isBlack(const QLabel* l) {
        return l->palette().color(QPalette::WindowText) == editor_qt::kBlack;
    }
    int selectedRow() {
        const auto selected = list()->selectedItems();
        return selected.isEmpty() ? -1 : list()->row(selected.front());
    }
    QStringList entries() {
        QStringList out;
        for (int i = 0; i < list()->count(); ++i) out << list()->item(i)->text();
        return out;
    }

    FakeDialogs dialogs;
    test_support::TempDir folder;
    std::unique_ptr<ScriptedMainWindow> window;
};

}  // namespace editor_test
