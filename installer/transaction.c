#include "transaction.h"

#include <stdlib.h>
#include <wchar.h>

#include "files.h"

int beginTransaction(Transaction* transaction, Report* report, size_t capacity) {
    transaction->report = report;
    transaction->files = calloc(capacity, sizeof *transaction->files);
    return transaction->files != NULL || reportOutOfMemory(report);
}

PlannedFile* planFile(Transaction* transaction, const WCHAR* label, WCHAR* target, Blob data) {
    PlannedFile* file = &transaction->files[transaction->fileCount++];
    file->label = label;
    file->target = target;
    file->data = data;
    return file;
}

/* A name of our own beside path that is not there yet (malloc'd), for a
 * temporary file or for the file a new one replaces. */
static WCHAR* freeNameBeside(Transaction* transaction, const WCHAR* path) {
    WCHAR* folder = parentOf(path);
    WCHAR* beside;
    Text name = {0};
    if (folder == NULL) return NULL;
    textFormat(&name, L"tam%08lx%04lx.tmp", (unsigned long)GetCurrentProcessId(),
               ++transaction->nameCounter & 0xFFFF);
    beside = name.outOfMemory ? NULL : joinPath(folder, textChars(&name));
    free(folder);
    textFree(&name);
    return beside;
}

/* Has make make a file at a free name beside file's target, kept in *name:
 * a name taken meanwhile (ERROR_FILE_EXISTS, or alsoTaken) gives way to the
 * next, up to 100. A failure is reported as failure's format with the
 * target. */
static int atFreeName(Transaction* transaction, PlannedFile* file, WCHAR** name,
                      DWORD alsoTaken, MakeFile make, void* context, const WCHAR* failure) {
    DWORD error = 0;
    int attempt;
    for (attempt = 0; attempt < 100; ++attempt) {
        free(*name);
        if ((*name = freeNameBeside(transaction, file->target)) == NULL)
            return reportOutOfMemory(transaction->report);
        if (make(*name, context)) return 1;
        error = GetLastError();
        if (error != ERROR_FILE_EXISTS && error != alsoTaken) break;
    }
    return reportFailureWith(transaction->report, error, file->target, failure, file->target);
}

static int rememberFolder(Transaction* transaction, const WCHAR* folder) {
    WCHAR** grown = realloc(transaction->createdFolders,
                            sizeof *grown * (transaction->createdCount + 1));
    WCHAR* copy = textCopy(folder);
    if (grown != NULL) transaction->createdFolders = grown;
    if (grown == NULL || copy == NULL) {
        free(copy);
        return 0;
    }
    transaction->createdFolders[transaction->createdCount++] = copy;
    return 1;
}

/* Makes the one folder unless it is there, recording it. */
static int makeFolder(Transaction* transaction, const WCHAR* folder) {
    Report* report = transaction->report;
    DWORD attributes = pathAttributes(folder);
    DWORD error = GetLastError();
    if (attributes == INVALID_FILE_ATTRIBUTES && isNotFound(error)) {
        if (pathCreateFolder(folder)) {
            if (!rememberFolder(transaction, folder)) {
                pathRemoveFolder(folder);
                return reportOutOfMemory(report);
            }
            tellAction(report->ui, L"created folder: %ls", folder);
        } else if ((error = GetLastError()) != ERROR_ALREADY_EXISTS) {
            /* (ERROR_ALREADY_EXISTS: made meanwhile by someone else, not ours.) */
            return reportFailureWith(report, error, folder, L"Could not create the folder %ls: ",
                                     folder);
        }
    } else if (attributes == INVALID_FILE_ATTRIBUTES) {
        return reportFailureWith(report, error, folder, L"Could not look at %ls: ", folder);
    } else if ((attributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
        return reportFailure(
            report, L"Could not create the folder %ls: a file of that name is in the way.",
            folder);
    }
    return 1;
}

int makeFolders(Transaction* transaction, const WCHAR* folder) {
    WCHAR* partial = textCopy(folder);
    size_t at = rootLength(folder), length = wcslen(folder);
    int ok = partial != NULL || reportOutOfMemory(transaction->report);
    for (; ok && at <= length; ++at) {
        if (at > 0 && (folder[at] == '\\' || folder[at] == 0) && folder[at - 1] != '\\') {
            partial[at] = 0;
            ok = makeFolder(transaction, partial);
            partial[at] = folder[at];
        }
    }
    free(partial);
    return ok;
}

static int createNew(const WCHAR* path, void* handle) {
    *(HANDLE*)handle = pathCreateNew(path);
    return *(HANDLE*)handle != INVALID_HANDLE_VALUE;
}

/* Writes the data through handle, and closes it. */
static int writeData(Transaction* transaction, const PlannedFile* file, HANDLE handle) {
    const char* bytes = file->data.data;
    DWORD left = file->data.size, error = 0;
    int ok = 1;
    while (ok && left > 0) {
        DWORD written = 0;
        ok = WriteFile(handle, bytes, left, &written, NULL) && written > 0;
        bytes += written;
        left -= written;
    }
    ok = ok && FlushFileBuffers(handle);
    if (!ok) error = GetLastError();
    if (!CloseHandle(handle) && ok) {
        ok = 0;
        error = GetLastError();
    }
    if (!ok)
        return reportFailureWith(transaction->report, error, file->target,
                                 L"Could not write %ls: ", file->target);
    return 1;
}

int writePlanned(Transaction* transaction, PlannedFile* file) {
    HANDLE handle = INVALID_HANDLE_VALUE;
    WCHAR* folder = parentOf(file->target);
    int ok;
    if (folder == NULL) return reportOutOfMemory(transaction->report);
    ok = makeFolders(transaction, folder);
    free(folder);
    if (!ok || !atFreeName(transaction, file, &file->temp, ERROR_FILE_EXISTS, createNew, &handle,
                           L"Could not write %ls: "))
        return 0;
    file->state = kWritten; /* from here on the temporary file is ours to remove */
    return writeData(transaction, file, handle);
}

int writeWith(Transaction* transaction, PlannedFile* file, MakeFile make, void* context) {
    if (!atFreeName(transaction, file, &file->temp, ERROR_FILE_EXISTS, make, context,
                    L"Could not write %ls: "))
        return 0;
    file->state = kWritten;
    return 1;
}

static int moveTargetTo(const WCHAR* path, void* file) {
    return pathMove(((PlannedFile*)file)->target, path, 0);
}

/* Renames the file at target to a free name beside it: the backup. */
static int moveAside(Transaction* transaction, PlannedFile* file) {
    if (atFreeName(transaction, file, &file->backup, ERROR_ALREADY_EXISTS, moveTargetTo, file,
                   L"Could not replace %ls: "))
        return 1;
    free(file->backup);
    file->backup = NULL;
    return 0;
}

/* A file already at the target is first renamed aside, so that a failure
 * later on can put it back. */
int commitFile(Transaction* transaction, PlannedFile* file) {
    Report* report = transaction->report;
    DWORD attributes = pathAttributes(file->target);
    DWORD error = GetLastError();
    if (attributes == INVALID_FILE_ATTRIBUTES && !isNotFound(error))
        return reportFailureWith(report, error, file->target, L"Could not look at %ls: ",
                                 file->target);
    if (attributes != INVALID_FILE_ATTRIBUTES) {
        if (attributes & FILE_ATTRIBUTE_DIRECTORY)
            return reportFailure(report,
                                 L"Could not write %ls: a folder of that name is in the way.",
                                 file->target);
        if (!moveAside(transaction, file)) return 0;
        file->state = kAside;
    }
    if (!pathMove(file->temp, file->target, MOVEFILE_REPLACE_EXISTING))
        return reportFailureWith(report, GetLastError(), file->target, L"Could not write %ls: ",
                                 file->target);
    file->state = kCommitted;
    if (file->generated) /* their sizes say nothing */
        tellAction(report->ui, L"%ls: %ls", file->backup != NULL ? L"replaced" : L"wrote",
                   file->target);
    else
        tellAction(report->ui, L"%ls: %ls (%lu bytes)",
                   file->backup != NULL ? L"replaced" : L"wrote", file->target,
                   (unsigned long)file->data.size);
    return 1;
}

int commitWritten(Transaction* transaction) {
    size_t i;
    for (i = 0; i < transaction->fileCount; ++i)
        if (transaction->files[i].state == kWritten &&
            !commitFile(transaction, &transaction->files[i]))
            return 0;
    return 1;
}

/* Puts a replaced file back; when that fails, says where it is. */
static void restore(Transaction* transaction, PlannedFile* file) {
    if (pathMove(file->backup, file->target, MOVEFILE_REPLACE_EXISTING)) {
        tellAction(transaction->report->ui, L"restored: %ls", file->target);
        free(file->backup);
        file->backup = NULL;
        return;
    }
    reportUndoFailure(transaction->report, GetLastError(), file->target,
                      L"\r\nCould not put back the earlier %ls, which is kept as %ls: ",
                      file->target, file->backup);
}

static void undoFile(Transaction* transaction, PlannedFile* file) {
    if (file->state == kWritten || file->state == kAside) pathDelete(file->temp);
    if (file->state == kAside || (file->state == kCommitted && file->backup != NULL)) {
        restore(transaction, file);
    } else if (file->state == kCommitted) {
        if (pathDelete(file->target))
            tellAction(transaction->report->ui, L"removed: %ls", file->target);
        else
            reportUndoFailure(transaction->report, GetLastError(), file->target,
                              L"\r\nCould not remove %ls: ", file->target);
    }
    file->state = kPlanned;
}

void rollBackTransaction(Transaction* transaction) {
    size_t i;
    for (i = transaction->fileCount; i-- > 0;) undoFile(transaction, &transaction->files[i]);
    for (i = transaction->createdCount; i-- > 0;) {
        const WCHAR* folder = transaction->createdFolders[i];
        if (pathRemoveFolder(folder))
            tellAction(transaction->report->ui, L"removed folder: %ls", folder);
        else
            reportUndoFailure(transaction->report, GetLastError(), folder,
                              L"\r\nCould not remove the folder %ls: ", folder);
    }
}

/* The old copy at backup, which is in use, into the temporary folder when
 * it is on the same volume (a rename; a file in use cannot be copied away),
 * and deleted when Windows restarts. 0 when not even that can be asked
 * (no rights): it then waits beside its file. */
static int deleteAtRestart(const WCHAR* backup) {
    WCHAR folder[MAX_PATH + 1], name[MAX_PATH + 1];
    DWORD length = GetTempPathW(MAX_PATH + 1, folder);
    if (length > 0 && length <= MAX_PATH && GetTempFileNameW(folder, L"tam", 0, name) != 0) {
        if (pathMove(backup, name, MOVEFILE_REPLACE_EXISTING))
            return pathMove(name, NULL, MOVEFILE_DELAY_UNTIL_REBOOT);
        DeleteFileW(name);
    }
    return pathMove(backup, NULL, MOVEFILE_DELAY_UNTIL_REBOOT);
}

/* A read-only old copy loses that attribute first. */
size_t endTransaction(Transaction* transaction, Text* inUse) {
    size_t i, count = 0;
    for (i = 0; i < transaction->fileCount; ++i) {
        const PlannedFile* file = &transaction->files[i];
        if (file->backup == NULL) continue;
        pathSetAttributes(file->backup, FILE_ATTRIBUTE_NORMAL);
        if (pathDelete(file->backup)) continue;
        deleteAtRestart(file->backup);
        tellAction(transaction->report->ui, L"in use, deleted at the next restart: the old %ls",
                   file->target);
        textFormat(inUse, count++ > 0 ? L", %ls" : L"%ls", file->target);
    }
    return count;
}

void freeTransaction(Transaction* transaction) {
    size_t i;
    for (i = 0; i < transaction->fileCount; ++i) {
        free(transaction->files[i].target);
        free(transaction->files[i].temp);
        free(transaction->files[i].backup);
    }
    free(transaction->files);
    for (i = 0; i < transaction->createdCount; ++i) free(transaction->createdFolders[i]);
    free(transaction->createdFolders);
}

/* No two files of the install may land on one file, nor any on this
 * program itself (whatever the name it is reached by): the later would
 * silently overwrite the earlier. */
int checkTargets(const Transaction* transaction, Report* report) {
    const PlannedFile* files = transaction->files;
    size_t count = transaction->fileCount;
    const WCHAR** targets = malloc(sizeof *targets * (count + 1));
    WCHAR* self = malloc(sizeof *self * (kLongPathMax + 1));
    DWORD selfLength = self != NULL ? GetModuleFileNameW(NULL, self, kLongPathMax + 1) : 0;
    FileIdentity selfIdentity, identity;
    int knowSelf =
        selfLength > 0 && selfLength <= kLongPathMax && pathIdentity(self, &selfIdentity);
    size_t i, first, second;
    int ok = 1;
    if (targets == NULL || self == NULL) {
        free(targets);
        free(self);
        return reportOutOfMemory(report);
    }
    for (i = 0; i < count; ++i) targets[i] = files[i].target;
    if (findSameNames(targets, count, sameNameIgnoringCase, &first, &second))
        ok = reportFailure(report, L"The file names \"%ls\" and \"%ls\" both land on %ls.",
                           files[first].label, files[second].label, files[first].target);
    for (i = 0; ok && knowSelf && i < count; ++i) {
        if (pathIdentity(targets[i], &identity) && identity.volume == selfIdentity.volume &&
            identity.indexHigh == selfIdentity.indexHigh &&
            identity.indexLow == selfIdentity.indexLow)
            ok = reportFailure(report,
                               L"The file name \"%ls\" would replace this installer itself (%ls).",
                               files[i].label, self);
    }
    free(self);
    free(targets);
    return ok;
}
