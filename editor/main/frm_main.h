// The editor's main window: seven text boxes and the extra-file list of one
// install-info record, their red-label validation, the field help, and the
// Load, Save and Backup buttons.
#pragma once

#include <QColor>
#include <QString>
#include <QWidget>
#include <array>
#include <string>

#include "common/install_info.h"
#include "editor/backup/backup_host.h"
#include "platform/result.h"

class QGroupBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;

namespace editor_ui {
class ListBox;
}

namespace editor_main {

// The two colours a watched label is given; the label's colour is the only
// record of its field's validity.
inline const QColor kRed{255, 0, 0};
inline const QColor kBlack{0, 0, 0};

class frmMain final : public QWidget, public editor_backup::BackupHost {
    Q_OBJECT

  public:
    // Builds the window and runs Form_Load. `programFolder` holds install_info.ini,
    // the backup files and the updater.
    explicit frmMain(const QString& programFolder, QWidget* parent = nullptr);

    const QString& programFolder() const { return programFolder_; }
    const QString& InfoPath() const { return InfoPath_; }

    // Loads the file named by Label1's caption, replacing the whole record.
    // False (after an "Error" message, with the window unchanged) when the
    // file cannot be read.
    bool Command1_Click();

    // BackupHost
    QString backupDefaultName() const override;
    editor_ini::InstallRecord currentRecord() const override;
    void selectExtraEntry(int index) override;
    bool loadFromPath(const QString& path) override;
    void showMainWindow() override;

  private:
    void buildControls();
    void connectHandlers();
    void setTabOrderAndFocus();

    void Form_Load();
    void ClearFields();
    // Reads the file once and shows it (showInstallInfo).
    void LoadInstallInfo(const QString& Path);
    // Fills the boxes and the extra-file list from a file's text as
    // readInstallInfoText gave it: the keys and the scan both come from this
    // one read. A failed read shows every key as missing and no list.
    void showInstallInfo(const platform::Result<std::string>& text);
    // ClearFields and showInstallInfo, but only once the file has been read.
    bool loadReplacing(const QString& path);

    void cmdLoad_Click();
    void cmdSave_Click();
    void cmdAdd_Click();
    void cmdRemove_Click();
    void cmdHelp_Click(int Index);
    void cmdBackup_Click();

    void txtName_Change();
    void txtMsgBoxes_Change();
    void txtFilename_Change();
    void txtRun_Change();
    void RefreshLabels();
    void CheckRedLabels();

    void startUpdater();
    void showError(const QString& text);
    // The row of the selected entry of lstExtra, -1 when none is selected.
    int selectedExtraRow() const;
    // The text boxes in install_info::kFieldOrder order.
    std::array<QLineEdit*, install_info::kFieldOrder.size()> fieldBoxes() const;

    const QString programFolder_;
    QString InfoPath_;
    QString LoadPath;
    bool RedLabelsFound = false;

    QGroupBox* fraTexts = nullptr;
    QLabel* lblName = nullptr;
    QLineEdit* txtName = nullptr;
    QLabel* lblProgID = nullptr;
    QLineEdit* txtProgID = nullptr;
    QLabel* lblMsgBoxes = nullptr;
    QLineEdit* txtMsgBoxes = nullptr;
    QLabel* lblWarning = nullptr;
    QLineEdit* txtWarning = nullptr;
    QGroupBox* fraFiles = nullptr;
    QLabel* lblFilename = nullptr;
    QLineEdit* txtFilename = nullptr;
    QLabel* lblIcon = nullptr;
    QLineEdit* txtIcon = nullptr;
    QGroupBox* fraMisc = nullptr;
    QLabel* lblRun = nullptr;
    QLineEdit* txtRun = nullptr;
    QGroupBox* fraExtra = nullptr;
    editor_ui::ListBox* lstExtra = nullptr;
    QPushButton* cmdAdd = nullptr;
    QPushButton* cmdRemove = nullptr;
    std::array<QPushButton*, 8> cmdHelp{};
    QPushButton* cmdSave = nullptr;
    QPushButton* cmdLoad = nullptr;
    QPushButton* cmdBackup = nullptr;
    QPushButton* Command1 = nullptr;
    QLabel* Label1 = nullptr;
};

// The program-wide look both the program and its tests use: the Fusion style,
// the default font chosen so that every caption fits its box, and the icon.
void applyApplicationLook();

}  // namespace editor_main
