/* The release of this plugin installed in the same folder before: it is
 * unregistered the way its record says before the new files go in, so that
 * what the new release registers is all there is, and registered again when
 * the install fails and its files come back. */
#ifndef INSTALLER_PREVIOUS_H
#define INSTALLER_PREVIOUS_H

#include <windows.h>

#include "contract.h"
#include "register.h"
#include "text.h"
#include "ui.h"

typedef struct PreviousRelease {
    WCHAR* server; /* the file unregistered, or NULL */
    Registrar registrar;
} PreviousRelease;

/* Unregisters the server the record at recordPath names, where it is this
 * plugin's and its file is there. Where that fails, the new registration
 * writes over it: an action line says so, and the install goes on. */
void unregisterPreviousRelease(PreviousRelease* previous, const Contract* contract,
                               const WCHAR* recordPath, InstallerUi* ui);

/* Registers it again, after a rollback; a failure is added to *failure. */
void registerPreviousAgain(PreviousRelease* previous, const Contract* contract, InstallerUi* ui,
                           Text* failure);

void freePreviousRelease(PreviousRelease* previous);

#endif
