/* The uninstall entry under Settings > Apps, one per plugin: the install
 * writes it, a later release finds its folder there, and only the
 * uninstaller whose command it runs removes it. */
#ifndef INSTALLER_ENTRY_H
#define INSTALLER_ENTRY_H

#include <windows.h>

#include "contract.h"
#include "record.h"
#include "text.h"
#include "ui.h"

/* The entry's key for this installer's plugin, the same for every install of
 * it so that a reinstall replaces its entry: the ProgID, else the Name
 * (malloc'd). The registry view is that of the plugin's architecture. */
WCHAR* uninstallKey(const Contract* contract);
DWORD registryViewOf(WORD machine);

/* The folder this plugin's uninstall entry names (its InstallLocation, in
 * the plugin's registry view), where that folder is there (malloc'd); else
 * NULL. */
WCHAR* previousInstall(const Contract* contract);

/* Writes the entry; 0 with why in *why. sizeKb: the EstimatedSize. Its
 * DisplayVersion and Publisher are the FileVersion and CompanyName of this
 * program's own version resource, each left out (and an earlier install's
 * removed) where the resource has none. */
int writeUninstallEntry(const UninstallRecord* record, const WCHAR* name, const WCHAR* folder,
                        const WCHAR* uninstaller, DWORD sizeKb, Text* why);

/* Whose the entry that the record names is: this uninstaller's (its
 * UninstallString runs uninstaller), another install's (*elsewhere: its
 * InstallLocation, malloc'd, or NULL), or nobody's, when there is none.
 * Another install of the same plugin elsewhere takes the entry over, and
 * the registration with it. */
typedef enum EntryOwner { kNoEntry, kOurEntry, kOtherEntry } EntryOwner;
EntryOwner entryOwner(const UninstallRecord* record, const WCHAR* uninstaller,
                      WCHAR** elsewhere);

/* Removes the entry, saying so; what fails is added to *problems. */
int removeUninstallEntry(const UninstallRecord* record, InstallerUi* ui, Text* problems);

#endif
