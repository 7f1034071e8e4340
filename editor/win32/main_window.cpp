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
    const std::string_view name = control.name;
    if (control.kind == editor_core::ControlKind::TextBox) {
        if (code != EN_CHANGE || settingText_)
            return;
        for (std::size_t i = 0; i < boxes_.size(); ++i) {
            if (name == editor_core::kTextBoxNames[i])
                core_.textChanged(static_cast<TextBox>(i));
        }
        return;
    }
    if (control.kind != editor_core::ControlKind::Button || code != BN_CLICKED)
        return;
    if (name == "cmdHelp")
        core_.cmdHelp_Click(control.arrayIndex);
    else if (name == "cmdAdd")
        core_.cmdAdd_Click();
    else if (name == "cmdRemove")
        core_.cmdRemove_Click();
    else if (name == "cmdSave")
        core_.cmdSave_Click();
    else if (name == "cmdLoad")
        core_.cmdLoad_Click();
    else if (name == "cmdBackup")
        core_.cmdBackup_Click();
    else if (name == "Command1")
        core_.Command1_Click();
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

bool MainWindow::startUpdater(const editor_core::ProcessRequest& request, std::string& error) {
    return startProcess(request, error);
}

void MainWindow::showBackupWindow() {
    if (BackupWindow* open = backupWindow()) {
        open->showAndActivate();
        return;
    }
    // A window closed earlier is destroyed here, outside its own handlers.
    backup_.reset();
    backup_ = newBackupWindow([this] { closedOne(); });
    backup_->core().Form_Load();
    backup_->showAndActivate();
}

std::unique_ptr<BackupWindow> MainWindow::newBackupWindow(std::function<void()> onClosed) {
    return std::make_unique<BackupWindow>(core_, std::move(onClosed));
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
