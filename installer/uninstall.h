/* The uninstaller. The installer leaves in the install folder a copy of
 * itself without the payload (uninstall.exe), a record of what the install
 * made beside it (uninstall.ini), and an entry under Settings > Apps whose
 * uninstall command runs that copy. The copy asks, unregisters the plugin
 * the way it was registered, deletes what the record names and nothing
 * else, and takes itself and the entry away. */
#ifndef INSTALLER_UNINSTALL_H
#define INSTALLER_UNINSTALL_H

#include <windows.h>

#include "contract.h"
#include "install.h"
#include "text.h"
#include "ui.h"

extern const WCHAR kUninstallerName[]; /* "uninstall.exe" */
extern const WCHAR kRecordName[];      /* "uninstall.ini" */

/* Paths without repeats (letter case aside), in the order first added. */
typedef struct PathList {
    WCHAR** paths;
    size_t count;
} PathList;

/* 0 when memory runs out. */
int pathListAdd(PathList* list, const WCHAR* path);
void pathListFree(PathList* list);

/* The record, in UTF-16 with a byte-order mark: an INI file (Windows'
 * profile functions and any editor read it) with the sections [Uninstall],
 * [Files] and [Folders], the paths numbered from 1. */
typedef struct UninstallRecord {
    WCHAR* key;       /* the entry's name under ...\CurrentVersion\Uninstall */
    DWORD view;       /* KEY_WOW64_64KEY, KEY_WOW64_32KEY, or 0 for the program's own */
    WCHAR* server;    /* the plugin registered as a COM server, or NULL */
    WCHAR* registrar; /* the system's regsvr32.exe that registered it, or NULL */
    PathList files;   /* the files the installs wrote new */
    PathList folders; /* the folders they made */
} UninstallRecord;

/* Reads the record at path; a record that is not there reads as an empty
 * one. 0 when memory runs out. */
int readRecord(const WCHAR* path, UninstallRecord* record);
/* The record's text, as written into the file (malloc'd; NULL when memory
 * runs out), and its length in characters, the byte-order mark included. */
WCHAR* recordText(const UninstallRecord* record, size_t* length);
void freeRecord(UninstallRecord* record);

/* The entry's key for this installer's plugin, the same for every install of
 * it so that a reinstall replaces its entry: the ProgID, else the Name
 * (malloc'd). The registry view is that of the plugin's architecture. */
WCHAR* uninstallKey(const Contract* contract);
DWORD registryViewOf(WORD machine);

/* The folder this plugin's uninstall entry names (its InstallLocation, in
 * the plugin's registry view), where that folder is there (malloc'd); else
 * NULL. */
WCHAR* previousInstall(const Contract* contract);

/* Writes the copy of this program at path, a new file, without the plugin's
 * and the extra files' bytes. 0 with the last error set on failure, when
 * the file is gone again. */
int writeUninstaller(const WCHAR* path, const Contract* contract);

/* Writes the entry; 0 with why in *why. sizeKb: the EstimatedSize. */
int writeUninstallEntry(const UninstallRecord* record, const WCHAR* name, const WCHAR* folder,
                        const WCHAR* uninstaller, DWORD sizeKb, Text* why);

/* Whether this program is such a copy. */
int isUninstaller(void);

/* The copy's run, from its question to its last message. */
InstallOutcome runUninstall(InstallerUi* ui, const Contract* contract);

/* A running program cannot delete its own file: a temporary copy of it,
 * started with an internal switch, waits for it to end and then deletes it
 * and the folders named after it. Returns 1 in that copy, with its exit
 * code in *exitCode. */
int runRemovalHelper(const WCHAR* arguments, int* exitCode);

#endif
