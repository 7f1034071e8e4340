// frmMain's loading and saving. Until the INI routines are in, the window
// starts empty and Load, Save and the backup window's loading do nothing.
#include <QDir>
#include <QLabel>

#include "editor/main/frm_main.h"
#include "editor/main/text_convert.h"

namespace editor_main {

void frmMain::Form_Load() {
    InfoPath_ = QDir(programFolder_).filePath(toQt(install_info::kFileName));
}

void frmMain::ClearFields() {}
void frmMain::LoadInstallInfo(const QString&) {}
bool frmMain::loadReplacing(const QString&) {
    return false;
}
bool frmMain::Command1_Click() {
    return loadReplacing(Label1->text());
}
void frmMain::cmdLoad_Click() {}
void frmMain::cmdSave_Click() {}
void frmMain::startUpdater() {}

}  // namespace editor_main
