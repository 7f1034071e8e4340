#include "editor/backup/frm_backup.h"

#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QWidget>

#include "editor/core/frm_backup_core.h"
#include "editor/ui/dialogs.h"
#include "editor/ui/list_box.h"
#include "editor/ui/text_convert.h"
#include "editor/ui/window_builder.h"

namespace editor_backup {
namespace {

class FrmBackupWindow final : public QWidget, public editor_core::BackupView {
  public:
    explicit FrmBackupWindow(editor_core::FrmMain& main)
        : QWidget(nullptr, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                               Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                               Qt::WindowCloseButtonHint),
          core_(*this, main) {
        // No icon of its own: a window without one shows the application's icon,
        // which is the main window's.
        setAttribute(Qt::WA_DeleteOnClose);  // closing unloads: the next opening loads afresh
        editor_ui::buildWindow(*this, editor_core::kBackupWindow);
        lblInfo_ = findChild<QLabel*>("lblInfo");
        lstBackups_ = std::make_unique<editor_ui::ListBoxControl>(
            findChild<editor_ui::ListBox*>("lstBackups"));
        auto onClick = [this](const char* name, auto handler) {
            connect(findChild<QPushButton*>(name), &QPushButton::clicked, this, handler);
        };
        onClick("cmdMake", [this] { core_.cmdMake_Click(); });
        onClick("cmdRemove", [this] { core_.cmdRemove_Click(); });
        onClick("cmdEdit", [this] { core_.cmdEdit_Click(); });
        core_.Form_Load();
    }

    // BackupView
    editor_core::MessageAnswer messageBox(const editor_core::MessageRequest& request) override {
        return editor_ui::showMessage(this, request);
    }
    std::optional<std::string> inputBox(const editor_core::InputRequest& request) override {
        return editor_ui::askInput(this, request);
    }
    void setInfoCaption(const std::string& caption) override {
        lblInfo_->setText(editor_ui::toQt(caption));
    }
    editor_core::ListControl& lstBackups() override { return *lstBackups_; }
    void closeWindow() override { close(); }  // deleted once the handler has returned

  private:
    QLabel* lblInfo_ = nullptr;
    std::unique_ptr<editor_ui::ListBoxControl> lstBackups_;
    editor_core::FrmBackup core_;
};

}  // namespace

void showBackupWindow(editor_core::FrmMain& main) {
    // The one window; a closed one has deleted itself or is about to.
    static QPointer<FrmBackupWindow> window;
    if (window && window->isVisible()) {
        window->setWindowState((window->windowState() & ~Qt::WindowMinimized) | Qt::WindowActive);
        window->raise();
        window->activateWindow();
        return;
    }
    window = new FrmBackupWindow(main);
    window->show();
}

}  // namespace editor_backup
