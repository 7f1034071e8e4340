/* What the installer and the uninstaller say as they go: each action, a
 * line for the user interface, and an install's first failure, the one its
 * error message reports, with what could not be undone after it. */
#ifndef INSTALLER_REPORT_H
#define INSTALLER_REPORT_H

#include <windows.h>

#include "text.h"
#include "ui.h"

/* Says what was done ("wrote: ..."); format as textFormat's. */
void tellAction(InstallerUi* ui, const WCHAR* format, ...);

typedef struct Report {
    InstallerUi* ui;
    Text failure; /* the first failure: what the one error message says */
} Report;

/* Records what failed, once: the first failure is the one reported. Each
 * returns 0, for `return reportFailure(...)`. */
int reportFailure(Report* report, const WCHAR* format, ...);
/* The same, ending in the system's sentence for code (about subject) and a
 * full stop. */
int reportFailureWith(Report* report, DWORD code, const WCHAR* subject, const WCHAR* format,
                      ...);
int reportOutOfMemory(Report* report);

/* Adds what could not be undone to the failure, in the same form as
 * reportFailureWith; format starts its own line. */
void reportUndoFailure(Report* report, DWORD code, const WCHAR* subject, const WCHAR* format,
                       ...);

#endif
