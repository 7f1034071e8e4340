// The backup window on Qt: a view of editor_core::FrmBackup. Modeless and
// without an owner, so the main window stays usable; it deletes itself once
// closed. The main window opens it (frmMain::showBackupWindow).
#pragma once

#include <QWidget>
#include <memory>
#include <optional>
#include <string>

#include "editor/core/frm_backup_core.h"
#include "editor/core/views.h"

class QLabel;

namespace editor_qt {

class ListBoxControl;

class frmBackup : public QWidget, public editor_core::BackupView {
  public:
    // Builds the window on the main window's core, which must outlive it (the
    // main window stays alive, hidden, when it is closed). The opener runs the
    // core's Form_Load, then shows it.
    explicit frmBackup(editor_core::FrmMain& main);
    ~frmBackup() override;

    editor_core::FrmBackup& core() { return core_; }

    // BackupView
    editor_core::MessageAnswer messageBox(const editor_core::MessageRequest& request) override;
    std::optional<std::string> inputBox(const editor_core::InputRequest& request) override;
    void setInfoCaption(const std::string& caption) override;
    editor_core::ListControl& lstBackups() override;
    void closeWindow() override { close(); }  // deleted once the handler has returned

  protected:
    void closeEvent(QCloseEvent* event) override;

  private:
    QLabel* lblInfo_ = nullptr;
    std::unique_ptr<ListBoxControl> lstBackups_;
    editor_core::FrmBackup core_;
};

}  // namespace editor_qt
