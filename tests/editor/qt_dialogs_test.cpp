// The Qt implementation of the dialogs: what the real boxes show and how
// their buttons map to answers. Each box is answered from a timer while it runs.
#include <gtest/gtest.h>

#include <QApplication>
#include <QInputDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>
#include <functional>

#include "editor/ui/dialogs.h"
#include "tests/editor/frm_main_fixture.h"
#include "tests/editor/qstring_print.h"

namespace editor_test {
namespace {

using editor_ui::MessageAnswer;
using editor_ui::MessageButtons;
using editor_ui::MessageIcon;

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
        EXPECT_EQ(
            editor_ui::dialogs().message(nullptr, {"first\r\nsecond", "Title", c.icon, c.buttons}),
            c.expected);
    }
}

TEST(QtDialogs, InputBoxTellsCancelFromAnEmptyAnswer) {
    ensureApplication();
    const editor_ui::InputRequest request{"Prompt", "Filename", {}};
    whenOpen<QInputDialog>([](QInputDialog* dialog) {
        EXPECT_EQ(dialog->labelText(), "Prompt");
        EXPECT_EQ(dialog->windowTitle(), "Filename");
        dialog->setTextValue("typed.txt");
        dialog->accept();
    });
    EXPECT_EQ(editor_ui::dialogs().input(nullptr, request), QString("typed.txt"));
    whenOpen<QInputDialog>([](QInputDialog* dialog) { dialog->accept(); });
    EXPECT_EQ(editor_ui::dialogs().input(nullptr, request), QString(""));
    whenOpen<QInputDialog>([](QInputDialog* dialog) { dialog->reject(); });
    EXPECT_EQ(editor_ui::dialogs().input(nullptr, request), std::nullopt);
}

}  // namespace
}  // namespace editor_test
