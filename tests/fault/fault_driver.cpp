// Drives the editor's real windows headless for fault_injection.sh, so that
// a full disk or a read-only folder can be set up around a whole process:
//   fault_driver save FOLDER     adds an extra-file entry and clicks Save
//   fault_driver backup FOLDER   clicks Backup, then "Backup this install file!"
// FOLDER holds a valid install_info.ini. Every message box is printed; the
// exit code is 1 when one of them was an error, 0 when none was, 2 when the
// driver could not do its steps.
#include <QApplication>
#include <QPushButton>
#include <QTest>
#include <cstring>
#include <iostream>

#include "tests/editor/scripted_windows.h"

namespace {

constexpr int kNoError = 0;
constexpr int kErrorShown = 1;
constexpr int kCannotDrive = 2;

QPushButton* button(QWidget& window, const char* name) {
    return window.findChild<QPushButton*>(QString::fromLatin1(name));
}

QWidget* backupWindow() {
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        if (widget->objectName() == "frmBackup" && widget->isVisible())
            return widget;
    }
    return nullptr;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3 || (std::strcmp(argv[1], "save") != 0 && std::strcmp(argv[1], "backup") != 0)) {
        std::cerr << "usage: fault_driver save|backup FOLDER\n";
        return kCannotDrive;
    }
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    core_test::FakeDialogs dialogs;
    const bool save = std::strcmp(argv[1], "save") == 0;

    editor_test::ScriptedMainWindow window(QString::fromLocal8Bit(argv[2]), dialogs);
    window.show();
    if (!QTest::qWaitForWindowExposed(&window))
        return kCannotDrive;
    if (save) {
        dialogs.inputAnswers.push_back("added by fault_driver.txt");
        QTest::mouseClick(button(window, "cmdAdd"), Qt::LeftButton);
        QTest::mouseClick(button(window, "cmdSave"), Qt::LeftButton);
    } else {
        QTest::mouseClick(button(window, "cmdBackup"), Qt::LeftButton);
        QWidget* backup = backupWindow();
        if (backup == nullptr)
            return kCannotDrive;
        dialogs.inputAnswers.push_back("fault backup");
        // A later run finds "fault backup" listed already and is asked to replace it.
        dialogs.messageAnswers.push_back(editor_core::MessageAnswer::Yes);
        QTest::mouseClick(button(*backup, "cmdMake"), Qt::LeftButton);
    }

    int outcome = kNoError;
    for (const editor_core::MessageRequest& message : dialogs.messages) {
        std::cout << message.title << ": "
                  << QString::fromStdString(message.text).replace("\r\n", " / ").toStdString()
                  << '\n';
        if (message.title == "Error")
            outcome = kErrorShown;
    }
    return outcome;
}
