/* The installer's file routines, on full paths of any length in their usual
 * form ("C:\x", "\\server\share\x"): each hands Windows the "\\?\" form,
 * which lifts the MAX_PATH limit and leaves names unrewritten (the names
 * given here are already as Windows keeps them). Each keeps the routine's
 * own result and last error. */
#ifndef INSTALLER_FILES_H
#define INSTALLER_FILES_H

#include <windows.h>

#include "names.h"

/* path in the "\\?\" form (malloc'd), or NULL when memory runs out. */
WCHAR* longForm(const WCHAR* path);
size_t longFormLength(const WCHAR* path);

/* folder + "\" (unless it ends in one) + relative (malloc'd), or NULL when memory runs out. */
WCHAR* joinPath(const WCHAR* folder, const WCHAR* relative);
/* The length of a full path's root: "C:\" or "\\server\share\"; 0 for none. */
size_t rootLength(const WCHAR* path);
/* The part of a path before its last '\' (malloc'd); a root keeps its
 * '\' ("D:\x" is in "D:\", not in "D:", which is D's current folder). */
WCHAR* parentOf(const WCHAR* path);

/* Whether a routine's last error says the path is not there. */
int isNotFound(DWORD error);

/* A test's stand-in for failures the disk will not give on demand: called
 * before each routine below with its operation ("attributes",
 * "setAttributes", "createFolder", "removeFolder", "delete", "createNew",
 * "move" (with the path moved to, or from when none), "copy" (with the path
 * copied to), "identity") and path; also "entry" with the uninstall entry's
 * key in place of a path (uninstall.h).
 * Nonzero fails the routine with the last error the stand-in set, before
 * Windows sees it. NULL, as in installer.exe: every call goes through. */
typedef int (*PathFault)(const WCHAR* operation, const WCHAR* path);
extern PathFault pathFault;

DWORD pathAttributes(const WCHAR* path);
BOOL pathSetAttributes(const WCHAR* path, DWORD attributes);
BOOL pathCreateFolder(const WCHAR* path);
BOOL pathRemoveFolder(const WCHAR* path);
BOOL pathDelete(const WCHAR* path);
BOOL pathMove(const WCHAR* from, const WCHAR* to, DWORD flags);
/* A copy of from as the new file to; fails if one is there. */
BOOL pathCopy(const WCHAR* from, const WCHAR* to);
/* A new file for writing; fails with ERROR_FILE_EXISTS if one is there. */
HANDLE pathCreateNew(const WCHAR* path);

/* Which file a path reaches, whatever the name it is reached by (letter
 * case, a short name, a link): its volume and index. */
typedef struct FileIdentity {
    DWORD volume;
    DWORD indexHigh;
    DWORD indexLow;
} FileIdentity;

/* 1 with the identity of the file or folder at path, 0 when it cannot be
 * opened (not there, for one). Two paths reach one file when volume and
 * both halves of the index agree. */
int pathIdentity(const WCHAR* path, FileIdentity* identity);

/* This program's own path, of any length (malloc'd), or NULL with the last
 * error set. */
WCHAR* pathOfThisProgram(void);

/* Windows' own case-insensitive comparison of names, the installer's only
 * one (SameIgnoringCase). */
int sameNameIgnoringCase(const NameChar* a, const NameChar* b, size_t length);

#endif
