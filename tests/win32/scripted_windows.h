// tamsel.exe's windows with every dialog answered by a core_test::FakeDialogs,
// as the fake views of tests/core answer theirs: the main window, and the
// backup window its Backup button opens.
#pragma once

#include <memory>
#include <string>

#include "editor/win32/backup_window.h"
#include "editor/win32/main_window.h"
#include "tests/core/fake_views.h"

namespace win32_test {

using core_test::FakeDialogs;
using ScriptedBackupWindow = core_test::DialogsAnswered<editor_win32::BackupWindow>;

class ScriptedMainWindow final : public core_test::MainDialogsAnswered<editor_win32::MainWindow> {
  public:
    ScriptedMainWindow(const std::string& programFolder, FakeDialogs& dialogs)
        : MainDialogsAnswered(dialogs, programFolder) {}

    editor_core::FrmBackup& createBackupWindow(editor_core::FrmMain& main) override {
        return keepBackupWindow(
            std::make_unique<ScriptedBackupWindow>(dialogs_, main, backupWindowClosed()));
    }
};

}  // namespace win32_test
