// The backup window on Qt: a view of editor_core::FrmBackup.
#pragma once

#include "editor/core/frm_main_core.h"

namespace editor_backup {

// Shows the one backup window, modeless and without an owner, so the main
// window stays usable. Creates it (running its Form_Load) when it is not open;
// raises it when it already is. `main` must outlive the window (the main
// window stays alive, hidden, when it is closed).
void showBackupWindow(editor_core::FrmMain& main);

}  // namespace editor_backup
