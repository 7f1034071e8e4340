// The Qt windows with every dialog answered by a core_test::FakeDialogs, as
// the fake views of tests/core answer theirs: the main window, and the
// backup window its Backup button opens.
#pragma once

#include <QString>

#include "editor/backup/frm_backup.h"
#include "editor/main/frm_main.h"
#include "editor/ui/dialogs.h"
#include "tests/core/fake_views.h"

namespace editor_test {

using core_test::FakeDialogs;

class ScriptedBackupWindow final : public editor_backup::frmBackup {
  public:
    ScriptedBackupWindow(editor_core::FrmMain& main, FakeDialogs& dialogs)
        : frmBackup(main), dialogs_(dialogs) {}

    editor_core::MessageAnswer messageBox(const editor_core::MessageRequest& request) override {
        return dialogs_.message(request);
    }
    std::optional<std::string> inputBox(const editor_core::InputRequest& request) override {
        return dialogs_.input(request);
    }

  private:
    FakeDialogs& dialogs_;
};

class ScriptedMainWindow final : public editor_main::frmMain {
  public:
    ScriptedMainWindow(const QString& programFolder, FakeDialogs& dialogs)
        : frmMain(programFolder), dialogs_(dialogs) {}

    // When set, the updater really starts, as the program starts it.
    bool startUpdaterForReal = false;

    editor_core::MessageAnswer messageBox(const editor_core::MessageRequest& request) override {
        return dialogs_.message(request);
    }
    std::optional<std::string> inputBox(const editor_core::InputRequest& request) override {
        return dialogs_.input(request);
    }
    std::optional<std::string> openFileDialog(
        const editor_core::OpenFileRequest& request) override {
        return dialogs_.openFile(request);
    }
    bool startUpdater(const editor_core::ProcessRequest& request, std::string& error) override {
        if (!startUpdaterForReal)
            return dialogs_.start(request, error);
        dialogs_.processes.push_back(request);
        return editor_ui::startConsoleProgram(request, error);
    }

  protected:
    editor_backup::frmBackup* newBackupWindow() override {
        return new ScriptedBackupWindow(core(), dialogs_);
    }

  private:
    FakeDialogs& dialogs_;
};

}  // namespace editor_test
