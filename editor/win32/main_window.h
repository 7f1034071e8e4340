// The main window on the Win32 API: a view of editor_core::FrmMain, which
// holds the record's state and runs the handlers. The window builds its
// controls from kMainWindow, reports the user's changes and clicks, paints the
// watched labels, and shows what the core asks for in native dialogs.
#pragma once

#include <array>
#include <functional>
#include <memory>
#include <string>

#include "editor/core/frm_main_core.h"
#include "editor/core/views.h"
#include "editor/win32/layout_window.h"
#include "editor/win32/list_box.h"

namespace editor_win32 {

class BackupWindow;

class MainWindow : public LayoutWindow, public editor_core::MainView {
  public:
    // Builds the window (hidden) and runs Form_Load, which asks for no dialog
    // (so a subclass's are not needed yet). `programFolder` (UTF-8)
    // holds install_info.ini, the backup files and updater.exe.
    explicit MainWindow(const std::string& programFolder);
    ~MainWindow() override;

    editor_core::FrmMain& core() { return core_; }
    // The backup window while it is open, else nullptr.
    BackupWindow* backupWindow();
    // Runs when the user has closed the last of the two windows (the program
    // ends its message loop there).
    std::function<void()> onLastWindowClosed;

    // MainView
    std::string text(editor_core::TextBox box) const override;
    void setText(editor_core::TextBox box, const std::string& text) override;
    editor_core::ListControl& lstExtra() override { return lstExtra_; }
    void setLabelColour(editor_core::WatchedLabel label, editor_core::LabelState state) override;
    editor_core::MessageAnswer messageBox(const editor_core::MessageRequest& request) override;
    std::optional<std::string> inputBox(const editor_core::InputRequest& request) override;
    std::optional<std::string> openFileDialog(const editor_core::OpenFileRequest& request) override;
    platform::Status startUpdater(const editor_core::ProcessRequest& request) override;
    editor_core::FrmBackup& createBackupWindow(editor_core::FrmMain& main) override;
    void showBackupWindow() override;
    void showWindow() override { showAndActivate(); }

  protected:
    // For createBackupWindow and the tests' override of it: what a new backup
    // window runs once closed,
    std::function<void()> backupWindowClosed() {
        return [this] { closedOne(); };
    }
    // and keeping it as the backup window, whose core it returns.
    editor_core::FrmBackup& keepBackupWindow(std::unique_ptr<BackupWindow> window);

  private:
    void onCommand(const editor_core::Control& control, int code) override;
    std::optional<COLORREF> labelColour(HWND label) const override;
    // Closing hides the window: an open backup window still reads from it.
    void onClose() override;
    void closedOne();

    std::array<HWND, editor_core::kTextBoxCount> boxes_{};
    std::array<HWND, editor_core::kWatchedLabelCount> watched_{};
    std::array<editor_core::LabelState, editor_core::kWatchedLabelCount> colours_{};
    ListBoxControl lstExtra_{nullptr};
    // Set while the core sets a box's text: that EN_CHANGE is no user change.
    bool settingText_ = false;
    std::unique_ptr<BackupWindow> backup_;
    editor_core::FrmMain core_;
};

}  // namespace editor_win32
