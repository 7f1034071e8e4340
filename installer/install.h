/* The install itself: questions, destination, files, registration, the file
 * to open, the last message. */
#ifndef INSTALLER_INSTALL_H
#define INSTALLER_INSTALL_H

#include "contract.h"
#include "names.h"
#include "ui.h"

/* Also the program's exit code. */
typedef enum InstallOutcome {
    kInstalled = 0,
    kFailed = 1,   /* one error message said why; nothing was left behind */
    kCancelled = 2, /* the user said No or Cancel; nothing was written */
    kRestartNeeded = 3010 /* done, but a file in use goes when Windows restarts */
} InstallOutcome;

InstallOutcome runInstall(InstallerUi* ui, const Contract* contract,
                          const InstallerOptions* options);

#endif
