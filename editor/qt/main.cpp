// tamsel: the install-info editor. Its program folder, the folder holding this
// executable, holds install_info.ini, the backups and the updater.
#include <QApplication>

#include "editor/qt/frm_main.h"
#include "editor/qt/quit_when_exposed.h"

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    // TAMSEL_EXIT_WHEN_SHOWN=1: quit silently once the window is shown, for
    // the start-up benchmark (bench/tamsel_start.sh).
    editor_qt::QuitWhenExposed quitWhenShown;
    if (!qEnvironmentVariableIsEmpty("TAMSEL_EXIT_WHEN_SHOWN"))
        app.installEventFilter(&quitWhenShown);
    editor_qt::applyApplicationLook();
    editor_qt::frmMain window(QCoreApplication::applicationDirPath());
    window.show();
    return QApplication::exec();
}
