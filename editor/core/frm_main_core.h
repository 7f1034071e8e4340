// frmMain without a toolkit: the install-info record's load and save, the
// red-label validation, the extra-file list and the field help. A front end
// builds the window from kMainWindow (layout.h), implements MainView, calls
// Form_Load once its controls exist, and calls the handler of each event.
#pragma once

#include <array>
#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "editor/core/views.h"

namespace editor_core {

class FrmBackup;

// A record as the window shows it: the seven boxes in TextBox order (Warning
// may hold "No Warning") and the extra-file list.
struct FieldValues {
    std::array<std::string, kTextBoxCount> texts;
    std::vector<std::string> extraFiles;
};

// The "?" help of one field: its title and its message (two-part messages
// joined by "\r\n").
struct HelpText {
    std::string_view title;
    std::string_view text;
};
// By cmdHelp member index, 0 to 7.
const std::array<HelpText, 8>& helpTexts();

class FrmMain {
  public:
    // `programFolder` (UTF-8) holds install_info.ini, the backups and the updater.
    FrmMain(MainView& view, std::string programFolder);
    FrmMain(const FrmMain&) = delete;
    FrmMain& operator=(const FrmMain&) = delete;

    const std::string& programFolder() const { return programFolder_; }
    // The file Save writes: the program folder's install_info.ini.
    const std::string& InfoPath() const { return InfoPath_; }

    // ---- Events ----
    // The window has loaded: sets InfoPath and loads it. A missing file (first
    // use) leaves the window empty, silently.
    void Form_Load();
    void cmdLoad_Click();
    void cmdSave_Click();
    void cmdAdd_Click();
    void cmdRemove_Click();
    void cmdHelp_Click(int Index);
    void cmdBackup_Click();
    // The user changed a box's text (typing, pasting, deleting).
    void txtName_Change();
    void txtMsgBoxes_Change();
    void txtFilename_Change();
    void txtRun_Change();
    // The same, by box: runs that box's handler if it has one.
    void textChanged(TextBox box);

    // ---- What the backup window uses ----
    // Loads the file named by Label1 (its full path), replacing the whole
    // record. False, after an "Error" message and with the window unchanged,
    // when the file cannot be read.
    bool Command1_Click();
    // Sets Label1 to `path` and runs Command1_Click.
    bool loadFromPath(const std::string& path);
    std::string Label1;
    // The fields and extra files as the window shows them now.
    FieldValues currentValues() const;
    // Selects entry `index` of lstExtra (the backup store's write does, entry by entry).
    void selectExtraEntry(int index);
    MainView& view() { return view_; }
    // The backup window has unloaded (FrmBackup::Form_Unload).
    void backupWindowUnloaded(const FrmBackup& window);

    // ---- State, for the tests ----
    LabelState labelState(WatchedLabel label) const;
    bool RedLabelsFound() const { return RedLabelsFound_; }

  private:
    void ClearFields();
    void LoadInstallInfo(const std::string& Path);
    // Shows a file's text (UTF-8, as read): the keys and the extra-file scan.
    // nullptr: the file could not be read, every key shows as missing.
    void showInstallInfo(const std::string* text);
    bool loadReplacing(const std::string& path);
    void RefreshLabels();
    void CheckRedLabels();
    void startUpdater();
    void showError(const std::string& text);
    // Sets a box's text and, when that changes it, runs its change handler.
    void setBoxText(TextBox box, const std::string& text);
    void colourRequired(TextBox box, WatchedLabel label);
    void setLabel(WatchedLabel label, LabelState state);

    MainView& view_;
    const std::string programFolder_;
    std::string InfoPath_;
    std::string LoadPath;
    bool RedLabelsFound_ = false;
    std::array<LabelState, kWatchedLabelCount> labels_{};
    // The backup window's core while the window is open.
    FrmBackup* backup_ = nullptr;
};

}  // namespace editor_core
