/* Which programs hold files: asked of the system's Restart Manager (Windows
 * Vista and later), before the install replaces or the uninstall deletes
 * them, so that the user can close them first. */
#ifndef INSTALLER_IN_USE_H
#define INSTALLER_IN_USE_H

#include <windows.h>

#include "text.h"
#include "ui.h"

/* The names of the programs that hold any of the count files at paths,
 * appended to *names (", "-separated); how many. 0 also where the system
 * cannot tell. */
size_t programsUsing(const WCHAR* const* paths, size_t count, Text* names);

/* The tests' stand-in for the Restart Manager: NULL in the product. */
typedef size_t (*InUseProbe)(const WCHAR* const* paths, size_t count, Text* names);
extern InUseProbe inUseProbe;

/* Before the files at paths are replaced (what: "replaces") or deleted
 * ("removes"): the programs that hold them are named, and, windowed, the
 * user is asked to close them, with Retry and Continue, until none is left
 * or Continue is chosen. Silent, one line names them. */
void askToCloseHolders(InstallerUi* ui, const WCHAR* title, const WCHAR* const* paths,
                       size_t count, const WCHAR* what);

#endif
