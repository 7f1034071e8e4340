// The main window on Qt: a view of editor_core::FrmMain, which holds the
// record's state and runs the handlers. The window only builds its controls
// from the layout table, reports the user's changes and clicks, and shows what
// the core asks for.
#pragma once

#include <QColor>
#include <QPointer>
#include <QString>
#include <QWidget>
#include <array>
#include <memory>
#include <string>

#include "editor/core/frm_main_core.h"
#include "editor/core/views.h"

class QLabel;
class QLineEdit;

namespace editor_qt {

class frmBackup;
class ListBoxControl;

// The two colours the core gives a watched label.
inline const QColor kRed{255, 0, 0};
inline const QColor kBlack{0, 0, 0};

class frmMain : public QWidget, public editor_core::MainView {
    Q_OBJECT

  public:
    // Builds the window and runs Form_Load, which asks for no dialog (so a
    // subclass's are not needed yet). `programFolder` holds install_info.ini,
    // the backup files and the updater.
    explicit frmMain(const QString& programFolder, QWidget* parent = nullptr);
    ~frmMain() override;

    editor_core::FrmMain& core() { return core_; }

    // MainView
    std::string text(editor_core::TextBox box) const override;
    void setText(editor_core::TextBox box, const std::string& text) override;
    editor_core::ListControl& lstExtra() override;
    void setLabelColour(editor_core::WatchedLabel label, editor_core::LabelState state) override;
    editor_core::MessageAnswer messageBox(const editor_core::MessageRequest& request) override;
    std::optional<std::string> inputBox(const editor_core::InputRequest& request) override;
    std::optional<std::string> openFileDialog(const editor_core::OpenFileRequest& request) override;
    platform::Status startUpdater(const editor_core::ProcessRequest& request) override;
    editor_core::FrmBackup& createBackupWindow(editor_core::FrmMain& main) override;
    void showBackupWindow() override;
    void showWindow() override;

  protected:
    // For createBackupWindow and the tests' override of it: keeps `window`
    // as the backup window (it deletes itself once closed) and returns its core.
    editor_core::FrmBackup& keepBackupWindow(frmBackup* window);

  private:
    std::array<QLineEdit*, editor_core::kTextBoxCount> boxes_{};
    std::array<QLabel*, editor_core::kWatchedLabelCount> watched_{};
    std::unique_ptr<ListBoxControl> lstExtra_;
    // The backup window the core had created last; a closed one deletes itself.
    QPointer<frmBackup> backup_;
    editor_core::FrmMain core_;
};

// The program-wide look both the program and its tests use: the Fusion style,
// the default font chosen so that every caption fits its box, and the icon.
void applyApplicationLook();

}  // namespace editor_qt
