// The backup window on the Win32 API: a view of editor_core::FrmBackup.
#pragma once

#include <functional>

#include "editor/core/frm_backup_core.h"
#include "editor/core/views.h"
#include "editor/win32/layout_window.h"
#include "editor/win32/list_box.h"

namespace editor_win32 {

class BackupWindow : public LayoutWindow, public editor_core::BackupView {
  public:
    // Builds the window (hidden) on the main window's core; the opener runs the
    // core's Form_Load, then shows it. `onClosed` runs once the user or the
    // core has closed it.
    BackupWindow(editor_core::FrmMain& main, std::function<void()> onClosed);

    editor_core::FrmBackup& core() { return core_; }

    // BackupView
    editor_core::MessageAnswer messageBox(const editor_core::MessageRequest& request) override;
    std::optional<std::string> inputBox(const editor_core::InputRequest& request) override;
    void setInfoCaption(const std::string& caption) override;
    editor_core::ListControl& lstBackups() override { return lstBackups_; }
    // Destroys the window once the handler that asks has returned.
    void closeWindow() override { closeAsked_ = true; }

  private:
    void onCommand(const editor_core::Control& control, int code) override;
    void onClose() override;

    ListBoxControl lstBackups_{nullptr};
    bool closeAsked_ = false;
    std::function<void()> onClosed_;
    editor_core::FrmBackup core_;
};

}  // namespace editor_win32
