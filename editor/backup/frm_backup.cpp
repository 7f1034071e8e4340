#include "editor/backup/frm_backup.h"

namespace editor_backup {

// Placeholder until the backup window is built.
void showBackupWindow(BackupHost&, const QString&) {}

}  // namespace editor_backup
