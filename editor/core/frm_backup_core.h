// frmBackup without a toolkit: the list of named backups and the Make, Remove
// and Edit actions, on the store of backup_store.h. It reads the main window's
// fields through its FrmMain and opens a backup with FrmMain::loadFromPath.
// The main window's core has the front end create one (with a BackupView)
// each time the window opens and runs its Form_Load; the front end runs
// Form_Unload when the window closes, and destroys it afterwards.
#pragma once

#include <string>
#include <vector>

#include "editor/core/frm_main_core.h"
#include "editor/core/views.h"

namespace editor_core {

class FrmBackup {
  public:
    FrmBackup(BackupView& view, FrmMain& main);
    FrmBackup(const FrmBackup&) = delete;
    FrmBackup& operator=(const FrmBackup&) = delete;

    // ---- Events ----
    // Sets lblInfo's caption and lists backup.ini's names; nothing selected.
    void Form_Load();
    // The window has closed: the main window's Backup button opens a new one.
    void Form_Unload();
    void cmdMake_Click();
    void cmdRemove_Click();
    // Opens the selected backup in the main window and closes this window.
    void cmdEdit_Click();

  private:
    // The selected entry's index, or -1 after telling the author to select one.
    int selectedOrComplain();
    void showError(const std::string& text);
    void showFileError(const std::string& action, const std::string& file,
                       const std::string& reason);
    std::vector<std::string> names();

    BackupView& view_;
    FrmMain& main_;
};

}  // namespace editor_core
