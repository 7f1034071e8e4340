#include "editor/qt/frm_backup.h"

#include <QCloseEvent>
#include <QLabel>

#include "editor/qt/dialogs.h"
#include "editor/qt/list_box.h"
#include "editor/qt/text_convert.h"
#include "editor/qt/window_builder.h"

namespace editor_qt {

frmBackup::frmBackup(editor_core::FrmMain& main)
    : QWidget(nullptr, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                           Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                           Qt::WindowCloseButtonHint),
      core_(*this, main) {
    // No icon of its own: a window without one shows the application's icon,
    // which is the main window's.
    setAttribute(Qt::WA_DeleteOnClose);  // closing unloads: the next opening loads afresh
    buildWindow(*this, editor_core::kBackupWindow);
    lblInfo_ = findChild<QLabel*>("lblInfo");
    lstBackups_ = std::make_unique<ListBoxControl>(findChild<ListBox*>("lstBackups"));
    connectRoutes(*this, editor_core::backupRoutes(), core_);
}

frmBackup::~frmBackup() = default;

void frmBackup::closeEvent(QCloseEvent* event) {
    core_.Form_Unload();
    QWidget::closeEvent(event);
}

editor_core::MessageAnswer frmBackup::messageBox(const editor_core::MessageRequest& request) {
    return showMessage(this, request);
}

std::optional<std::string> frmBackup::inputBox(const editor_core::InputRequest& request) {
    return askInput(this, request);
}

void frmBackup::setInfoCaption(const std::string& caption) {
    lblInfo_->setText(toQt(caption));
}

editor_core::ListControl& frmBackup::lstBackups() {
    return *lstBackups_;
}

}  // namespace editor_qt
