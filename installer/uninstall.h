/* The uninstaller. The installer leaves in the install folder the
 * uninstaller the updater made of it, without the payload and signed where
 * the installer is (uninstall.exe), a record of what the install
 * made beside it (uninstall.ini), and an entry under Settings > Apps whose
 * uninstall command runs that copy. The copy asks, unregisters the plugin
 * the way it was registered, deletes what the record names and nothing
 * else, and takes itself and the entry away. */
#ifndef INSTALLER_UNINSTALL_H
#define INSTALLER_UNINSTALL_H

#include <windows.h>

#include "contract.h"
#include "entry.h"
#include "install.h"
#include "record.h"
#include "removal_helper.h"
#include "text.h"
#include "ui.h"

extern const WCHAR kUninstallerName[]; /* "uninstall.exe" */

/* Whether this program is the uninstaller. */
int isUninstaller(void);

/* The copy's run, from its question to its last message. */
InstallOutcome runUninstall(InstallerUi* ui, const Contract* contract);

#endif
