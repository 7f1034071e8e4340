// The Qt implementation of the dialogs: what the real boxes show and how
// their buttons map to answers. Each box is answered from a timer while it runs.
#include <gtest/gtest.h>

#include <QApplication>
#include <QFileDialog>
#include <QHeaderView>
#include <QInputDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QStyleOptionViewItem>
#include <QTimer>
#include <QTreeView>
#include <functional>

#include "editor/qt/dialogs.h"
#include "tests/editor/frm_main_fixture.h"
#include "tests/editor/qstring_print.h"

namespace editor_test {
namespace {

using editor_core::MessageAnswer;
using editor_core::MessageButtons;
using editor_core::MessageIcon;

// Runs `answer` on the modal dialog of type T once it is open.
template <typename T>
void whenOpen(std::function<void(T*)> answer) {
    QTimer::singleShot(0, [answer] {
        T* dialog = qobject_cast<T*>(QApplication::activeModalWidget());
        if (!dialog) {
            ADD_FAILURE() << "no modal dialog of the expected kind";
            if (QWidget* other = QApplication::activeModalWidget())
                other->close();
            return;
        }
        answer(dialog);
    });
}

TEST(QtDialogs, MessageBoxShowsCrLfAsOneLineBreakWithTheRightIconAndButtons) {
    ensureApplication();
    struct Case {
        const char* fault;
        MessageIcon icon;
        MessageButtons buttons;
        QMessageBox::StandardButton press;
        QMessageBox::Icon shownIcon;
        MessageAnswer expected;
    };
    const Case cases[] = {
        {"help is information, OK only", MessageIcon::Information, MessageButtons::Ok,
         QMessageBox::Ok, QMessageBox::Information, MessageAnswer::Ok},
        {"errors carry the exclamation icon", MessageIcon::Exclamation, MessageButtons::Ok,
         QMessageBox::Ok, QMessageBox::Warning, MessageAnswer::Ok},
        {"Yes must answer Yes", MessageIcon::Question, MessageButtons::YesNo, QMessageBox::Yes,
         QMessageBox::Question, MessageAnswer::Yes},
        {"No must answer No", MessageIcon::Question, MessageButtons::YesNo, QMessageBox::No,
         QMessageBox::Question, MessageAnswer::No},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.fault);
        whenOpen<QMessageBox>([&](QMessageBox* box) {
            EXPECT_EQ(box->text(), "first\nsecond");
            EXPECT_EQ(box->windowTitle(), "Title");
            EXPECT_EQ(box->icon(), c.shownIcon);
            const auto expectedButtons = c.buttons == MessageButtons::Ok
                                             ? QMessageBox::StandardButtons(QMessageBox::Ok)
                                             : QMessageBox::Yes | QMessageBox::No;
            EXPECT_EQ(box->standardButtons(), expectedButtons);
            box->button(c.press)->click();
        });
        EXPECT_EQ(editor_qt::showMessage(nullptr, {"first\r\nsecond", "Title", c.icon, c.buttons}),
                  c.expected);
    }
}

TEST(QtDialogs, InputBoxTellsCancelFromAnEmptyAnswer) {
    ensureApplication();
    const editor_core::InputRequest request{"Prompt", "Filename", {}};
    whenOpen<QInputDialog>([](QInputDialog* dialog) {
        EXPECT_EQ(dialog->labelText(), "Prompt");
        EXPECT_EQ(dialog->windowTitle(), "Filename");
        dialog->setTextValue("typed.txt");
        dialog->accept();
    });
    EXPECT_EQ(editor_qt::askInput(nullptr, request), "typed.txt");
    whenOpen<QInputDialog>([](QInputDialog* dialog) { dialog->accept(); });
    EXPECT_EQ(editor_qt::askInput(nullptr, request), "");
    whenOpen<QInputDialog>([](QInputDialog* dialog) { dialog->reject(); });
    EXPECT_EQ(editor_qt::askInput(nullptr, request), std::nullopt);
}

// The Load dialog keeps its title, folder and filters, and opens wide enough
// that its Size, Type and Date columns read whole ("492…tes", "pla…ent").
TEST(QtDialogs, OpenFileDialogShowsEveryColumnWhole) {
    ensureApplication();
    test_support::TempDir folder;
    test_support::writeBytes(folder / "install_info.ini", std::string(492, ';'));
    const QString folderPath = QString::fromStdString(folder.path().string());
    const editor_core::OpenFileRequest request{
        "Choose any Scrambler List",
        folder.path().string(),
        {},
        {{"Install info file", "install_info.ini"}, {"INI files", "*.ini"}}};
    whenOpen<QFileDialog>([&](QFileDialog* dialog) {
        EXPECT_EQ(dialog->windowTitle(), "Choose any Scrambler List");
        EXPECT_EQ(dialog->directory().absolutePath(), folderPath);
        EXPECT_EQ(dialog->nameFilters(),
                  (QStringList{"Install info file (install_info.ini)", "INI files (*.ini)"}));
        auto* view = dialog->findChild<QTreeView*>("treeView");
        if (!view) {
            ADD_FAILURE() << "no detail view";
            dialog->reject();
            return;
        }
        QHeaderView* header = view->header();
        QStyleOptionViewItem option;
        option.initFrom(view);
        option.widget = view;
        // Whole: each cell is as wide as its delegate asks, margins included,
        // and no column is cut off by the view's edge.
        auto everyColumnWhole = [&] {
            const QModelIndex root = view->rootIndex();
            if (view->model()->rowCount(root) == 0)
                return false;
            for (int row = 0; row < view->model()->rowCount(root); ++row) {
                for (int column = 1; column < header->count(); ++column) {
                    const QModelIndex cell = view->model()->index(row, column, root);
                    const int wanted =
                        view->itemDelegateForIndex(cell)->sizeHint(option, cell).width();
                    if (wanted > header->sectionSize(column))
                        return false;
                }
            }
            return header->length() <= view->viewport()->width();
        };
        EXPECT_TRUE(QTest::qWaitFor(everyColumnWhole, 5000));
        dialog->reject();
    });
    // Qt sizes the columns with the dialog's font; a desktop that gives item
    // views a larger one (as here) cut the texts short.
    const QFont usual = QApplication::font();
    QFont larger = usual;
    larger.setPointSizeF(12);
    QApplication::setFont(larger, "QTreeView");
    EXPECT_EQ(editor_qt::chooseFile(nullptr, request), std::nullopt);
    QApplication::setFont(usual, "QTreeView");
}

}  // namespace
}  // namespace editor_test
