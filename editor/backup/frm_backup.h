// The backup window: named snapshots of what the main window shows.
#pragma once

#include <QString>

#include "editor/backup/backup_host.h"

namespace editor_backup {

// Shows the one backup window, modeless and without an owner, so the main
// window stays usable. Creates it (running its Form_Load) when it is not open;
// raises it when it already is. `host` must outlive the window (the main
// window stays alive, hidden, when it is closed).
void showBackupWindow(BackupHost& host, const QString& programFolder);

}  // namespace editor_backup
