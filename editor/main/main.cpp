// tamsel: the install-info editor. Its program folder, the folder holding this
// executable, holds install_info.ini, the backups and the updater.
#include <QApplication>

#include "editor/main/frm_main.h"

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    editor_main::applyApplicationLook();
    editor_main::frmMain window(QCoreApplication::applicationDirPath());
    window.show();
    return QApplication::exec();
}
