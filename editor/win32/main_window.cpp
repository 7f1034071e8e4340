#include "editor/win32/main_window.h"

#include <utility>

#include "editor/win32/backup_window.h"
#include "editor/win32/dialogs.h"

namespace editor_win32 {
namespace {

using editor_core::LabelState;
using editor_core::TextBox;
using editor_core::WatchedLabel;

}  // namespace

MainWindow::MainWindow(const std::string& programFolder)
    : LayoutWindow(editor_core::kMainWindow), core_(*this, programFolder) {
    build();
    for (std::size_t i = 0; i < boxes_.size(); ++i)
        boxes_[i] = control(editor_core::kTextBoxNames[i]);
    for (std::size_t i = 0; i < watched_.size(); ++i)
        watched_[i] = control(editor_core::kWatchedLabelNames[i]);
    lstExtra_ = ListBoxControl(control("lstExtra"));
    core_.Form_Load();
}

MainWindow::~MainWindow() = default;

BackupWindow* MainWindow::backupWindow() {
    return backup_ && backup_->isOpen() ? backup_.get() : nullptr;
}

void MainWindow::onCommand(const editor_core::Control& control, int code) {
    const std::optional<editor_core::ControlEvent> event = routedEvent(control, code);
    // A text the core sets is no change of the user's.
    if (!event || (*event == editor_core::ControlEvent::Change && settingText_))
        return;
    editor_core::runRoute(editor_core::mainRoutes(), core_, control.name, control.arrayIndex,
                          *event);
}

// ---- MainView -------------------------------------------------------------

std::string MainWindow::text(TextBox box) const {
    return windowText(boxes_[static_cast<std::size_t>(box)]);
}

void MainWindow::setText(TextBox box, const std::string& text) {
    HWND target = boxes_[static_cast<std::size_t>(box)];
    settingText_ = true;
    setWindowText(target, text);
    settingText_ = false;
    // The start of a long value shows, not its end.
    SendMessageW(target, EM_SETSEL, 0, 0);
    SendMessageW(target, EM_SCROLLCARET, 0, 0);
}

void MainWindow::setLabelColour(WatchedLabel label, LabelState state) {
    const auto index = static_cast<std::size_t>(label);
    colours_[index] = state;
    InvalidateRect(watched_[index], nullptr, TRUE);
}

std::optional<COLORREF> MainWindow::labelColour(HWND label) const {
    for (std::size_t i = 0; i < watched_.size(); ++i) {
        if (watched_[i] == label && colours_[i] != LabelState::NotYetColoured)
            return colours_[i] == LabelState::Red ? editor_core::kRedColour
                                                  : editor_core::kBlackColour;
    }
    return std::nullopt;
}

editor_core::MessageAnswer MainWindow::messageBox(const editor_core::MessageRequest& request) {
    return showMessage(hwnd(), request);
}

std::optional<std::string> MainWindow::inputBox(const editor_core::InputRequest& request) {
    return showInputBox(hwnd(), request);
}

std::optional<std::string> MainWindow::openFileDialog(const editor_core::OpenFileRequest& request) {
    return chooseFile(hwnd(), request);
}

platform::Status MainWindow::startUpdater(const editor_core::ProcessRequest& request) {
    return startProcess(request);
}

editor_core::FrmBackup& MainWindow::createBackupWindow(editor_core::FrmMain& main) {
    return keepBackupWindow(std::make_unique<BackupWindow>(main, backupWindowClosed()));
}

editor_core::FrmBackup& MainWindow::keepBackupWindow(std::unique_ptr<BackupWindow> window) {
    // A window closed earlier is destroyed here, outside its own handlers.
    backup_ = std::move(window);
    return backup_->core();
}

void MainWindow::showBackupWindow() {
    backup_->showAndActivate();
}

// ---- Closing --------------------------------------------------------------

void MainWindow::onClose() {
    ShowWindow(hwnd(), SW_HIDE);
    closedOne();
}

void MainWindow::closedOne() {
    const bool mainShows = hwnd() && IsWindowVisible(hwnd());
    if (!mainShows && !backupWindow() && onLastWindowClosed)
        onLastWindowClosed();
}

}  // namespace editor_win32
