// The Qt windows with every dialog answered by a core_test::FakeDialogs, as
// the fake views of tests/core answer theirs: the main window, and the
// backup window its Backup button opens.
#pragma once

#include <QString>
#include <string>

#include "editor/qt/dialogs.h"
#include "editor/qt/frm_backup.h"
#include "editor/qt/frm_main.h"
#include "tests/core/fake_views.h"

namespace editor_test {

using core_test::FakeDialogs;
using ScriptedBackupWindow = core_test::DialogsAnswered<editor_qt::frmBackup>;

class ScriptedMainWindow final : public core_test::MainDialogsAnswered<editor_qt::frmMain> {
  public:
    ScriptedMainWindow(const QString& programFolder, FakeDialogs& dialogs)
        : MainDialogsAnswered(dialogs, programFolder) {}

    // When set, the updater really starts, as the program starts it.
    bool startUpdaterForReal = false;

    platform::Status startUpdater(const editor_core::ProcessRequest& request) override {
        if (!startUpdaterForReal)
            return MainDialogsAnswered::startUpdater(request);
        dialogs_.processes.push_back(request);
        return editor_qt::startConsoleProgram(request);
    }

    editor_core::FrmBackup& createBackupWindow(editor_core::FrmMain& main) override {
        return keepBackupWindow(new ScriptedBackupWindow(dialogs_, main));
    }
};

}  // namespace editor_test
