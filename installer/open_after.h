/* The file the install opens last, as a double click would open it. */
#ifndef INSTALLER_OPEN_AFTER_H
#define INSTALLER_OPEN_AFTER_H

#include <windows.h>

#include "text.h"
#include "ui.h"

/* Opens path (in folder) through the shell, or, silent, says it was not
 * opened. The install stands whatever happens: a failure is one action line
 * and a sentence added to *news, the last message. */
void openAfterInstall(InstallerUi* ui, const WCHAR* path, const WCHAR* folder, int silent,
                      Text* news);

#endif
