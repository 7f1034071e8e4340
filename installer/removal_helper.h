/* A running program cannot delete its own file: a temporary copy of
 * uninstall.exe, started with an internal switch, waits for it to end and
 * then deletes it and the folders named after it. */
#ifndef INSTALLER_REMOVAL_HELPER_H
#define INSTALLER_REMOVAL_HELPER_H

#include <windows.h>

#include "record.h"

/* A copy of this program in the temporary folder (malloc'd), or NULL with
 * *error. */
WCHAR* temporaryCopy(const WCHAR* self, DWORD* error);

/* Starts the copy, which removes self and then the folders once this
 * program has ended; 0 with *error. */
int startRemovalHelper(const WCHAR* copy, const WCHAR* self, const PathList* folders,
                       DWORD* error);

/* The copy's side: returns 1 in that copy, with its exit code in *exitCode. */
int runRemovalHelper(const WCHAR* arguments, int* exitCode);

#endif
