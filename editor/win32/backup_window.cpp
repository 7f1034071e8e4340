#include "editor/win32/backup_window.h"

#include <utility>

#include "editor/win32/dialogs.h"

namespace editor_win32 {

BackupWindow::BackupWindow(editor_core::FrmMain& main, std::function<void()> onClosed)
    : LayoutWindow(editor_core::kBackupWindow), onClosed_(std::move(onClosed)), core_(*this, main) {
    build();
    lstBackups_ = ListBoxControl(control("lstBackups"));
}

void BackupWindow::onCommand(const editor_core::Control& control, int code) {
    if (const std::optional<editor_core::ControlEvent> event = routedEvent(control, code))
        editor_core::runRoute(editor_core::backupRoutes(), core_, control.name, control.arrayIndex,
                              *event);
    if (closeAsked_)
        onClose();
}

void BackupWindow::onClose() {
    core_.Form_Unload();
    DestroyWindow(hwnd());
    if (onClosed_)
        onClosed_();
}

editor_core::MessageAnswer BackupWindow::messageBox(const editor_core::MessageRequest& request) {
    return showMessage(hwnd(), request);
}

std::optional<std::string> BackupWindow::inputBox(const editor_core::InputRequest& request) {
    return showInputBox(hwnd(), request);
}

void BackupWindow::setInfoCaption(const std::string& caption) {
    setWindowText(control("lblInfo"), caption);
}

}  // namespace editor_win32
