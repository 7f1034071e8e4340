/* The install's files as one change to the disk. Each file is written to a
 * temporary file beside its target, then renamed into place, a file it
 * replaces renamed aside first; each folder made on the way is recorded. A
 * failed step rolls all of it back, newest first: what was made is taken
 * away and what was replaced is put back. */
#ifndef INSTALLER_TRANSACTION_H
#define INSTALLER_TRANSACTION_H

#include <windows.h>

#include "contract.h"
#include "report.h"

typedef enum FileState {
    kPlanned,
    kWritten,   /* the bytes are in temp */
    kAside,     /* the file it replaces went to backup; temp is not in place */
    kCommitted  /* temp was renamed to target; backup holds what it replaced */
} FileState;

typedef struct PlannedFile {
    const WCHAR* label; /* the name as the installer holds it, for messages */
    WCHAR* target;      /* a full path in its usual form, as every path here */
    Blob data;          /* data == NULL: the updater could not read the file */
    WCHAR* temp;
    WCHAR* backup;
    FileState state;
    int generated; /* the uninstaller or its record: written after the rest */
} PlannedFile;

typedef struct Transaction {
    Report* report;  /* each action, and the first failure */
    PlannedFile* files;
    size_t fileCount;
    WCHAR** createdFolders; /* in the order they were made */
    size_t createdCount;
    unsigned long nameCounter; /* for our temporary names */
} Transaction;

/* Our temporary names, "tam" and 8 + 4 hex digits and ".tmp". */
enum { kTemporaryNameLength = 19 };

/* Room for capacity files; 0 when memory runs out (reported). */
int beginTransaction(Transaction* transaction, Report* report, size_t capacity);
/* The next file, to be written at target (malloc'd, taken over). */
PlannedFile* planFile(Transaction* transaction, const WCHAR* label, WCHAR* target, Blob data);

/* Makes a folder and the folders above it that are missing, recording
 * each one made, and only those. */
int makeFolders(Transaction* transaction, const WCHAR* folder);

/* Writes a file's data to a new temporary file beside its target, making
 * the folders it goes in. */
int writePlanned(Transaction* transaction, PlannedFile* file);

/* Makes a new file at path: 1, or 0 with the last error set and nothing
 * left at path (ERROR_FILE_EXISTS when a file was there). */
typedef int (*MakeFile)(const WCHAR* path, void* context);
/* Has make write the temporary file beside file's target. */
int writeWith(Transaction* transaction, PlannedFile* file, MakeFile make, void* context);

/* Renames a written file's temporary file to its target. */
int commitFile(Transaction* transaction, PlannedFile* file);
/* The same for each file written and not yet in place. */
int commitWritten(Transaction* transaction);

/* Takes away what the transaction made and puts back what it replaced,
 * newest first; what cannot be undone is added to the failure. */
void rollBackTransaction(Transaction* transaction);
/* After success: the replaced files' old copies go. */
/* Deletes the old copies of replaced files. One still in use (an old
 * plugin in a running host) cannot be deleted yet: it goes to the system's
 * temporary folder, never left in the install's, and Windows deletes it at
 * its next start; each is said, and named in *inUse (", "-separated, by the
 * file it was). Returns how many. */
size_t endTransaction(Transaction* transaction, Text* inUse);
void freeTransaction(Transaction* transaction);

/* No two planned files may land on one file, nor any on this program
 * itself, whatever the name it is reached by: the later would silently
 * overwrite the earlier. 0, with the failure reported, when one does. */
int checkTargets(const Transaction* transaction, Report* report);

#endif
