/* Where the install goes: the folder asked for (where the question starts,
 * each of its names held to Windows' rules, its full path) and the place
 * of each file in it, within Windows' limits on paths. */
#ifndef INSTALLER_DESTINATION_H
#define INSTALLER_DESTINATION_H

#include <windows.h>

#include "contract.h"
#include "names.h"
#include "report.h"

/* The destination (malloc'd), asked starting in /D= (a full path), else in
 * the folder of an earlier install of this plugin, else in Program Files;
 * the silent mode takes that start as it is. NULL when cancelled or failed
 * (*failed says which; a failure is reported). */
WCHAR* chooseDestination(Report* report, const Contract* contract,
                         const InstallerOptions* options, int* failed);

/* The place of a name in folder (malloc'd), or NULL after a failure was
 * reported. what: how the message names it. */
WCHAR* placeIn(Report* report, const WCHAR* folder, const WCHAR* name, NameRule rule,
               const WCHAR* what);

#endif
