// tamsel.exe's windows with every dialog answered by a core_test::FakeDialogs,
// as the fake views of tests/core answer theirs: the main window, and the
// backup window its Backup button opens.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <utility>

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

  protected:
    std::unique_ptr<editor_win32::BackupWindow> newBackupWindow(
        std::function<void()> onClosed) override {
        return std::make_unique<ScriptedBackupWindow>(dialogs_, core(), std::move(onClosed));
    }
};

}  // namespace win32_test
