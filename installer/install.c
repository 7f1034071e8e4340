#include "install.h"

#include <stdarg.h>
#include <stdlib.h>
#include <string.h>
#include <wchar.h>
#include <windows.h>
#include <shellapi.h>

#include "files.h"
#include "register.h"
#include "text.h"
#include "uninstall.h"

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

typedef struct Run {
    InstallerUi* ui;
    const Contract* contract;
    WCHAR* folder;
    PlannedFile* files;
    size_t fileCount;
    PlannedFile* plugin; /* the first of files */
    Registrar registrar; /* who registers the plugin, with a ProgID */
    int registered;      /* and it did: a failure after it unregisters */
    PlannedFile* uninstaller; /* uninstall.exe, the next to last of files */
    PlannedFile* record;      /* uninstall.ini, the last */
    UninstallRecord entry;    /* what the record says, for the uninstall entry */
    WCHAR* runAfter;
    WCHAR** createdFolders; /* in the order they were made */
    size_t createdCount;
    unsigned long nameCounter; /* for our temporary names */
    Text missing; /* names the installer lacks the file of, ", "-separated */
    Text failure; /* the first failure: what the one error message says */
} Run;

/* Our temporary names, "tam" and 8 + 4 hex digits and ".tmp". */
enum { kTemporaryNameLength = 19 };

static void action(Run* run, const WCHAR* format, ...) {
    Text line = {0};
    va_list arguments;
    va_start(arguments, format);
    textFormatList(&line, format, arguments);
    va_end(arguments);
    run->ui->action(run->ui, textChars(&line));
    textFree(&line);
}

/* Records what failed, once: the first failure is the one reported. */
static int fail(Run* run, const WCHAR* format, ...) {
    if (run->failure.length == 0) {
        va_list arguments;
        va_start(arguments, format);
        textFormatList(&run->failure, format, arguments);
        va_end(arguments);
    }
    return 0;
}

/* The same, ending in the system's sentence for code (about subject) and a
 * full stop. */
static int failWith(Run* run, DWORD code, const WCHAR* subject, const WCHAR* format, ...) {
    if (run->failure.length == 0) {
        va_list arguments;
        va_start(arguments, format);
        textFormatList(&run->failure, format, arguments);
        va_end(arguments);
        textAppendSystemError(&run->failure, code, subject);
        textAppend(&run->failure, L".");
    }
    return 0;
}

static int outOfMemory(Run* run) { return fail(run, L"Out of memory."); }

static int isNotFound(DWORD error) {
    return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
}

/* folder + "\" + relative (malloc'd). */
static WCHAR* joinPath(const WCHAR* folder, const WCHAR* relative) {
    Text path = {0};
    size_t length = wcslen(folder);
    textAppend(&path, folder);
    if (length == 0 || folder[length - 1] != '\\') textAppend(&path, L"\\");
    textAppend(&path, relative);
    return textTake(&path);
}

/* The length of a full path's root: "C:\" or "\\server\share\". */
static size_t rootLength(const WCHAR* path) {
    const WCHAR* p;
    int separators = 0;
    if (path[0] != 0 && path[1] == ':' && path[2] == '\\') return 3;
    if (path[0] != '\\' || path[1] != '\\') return 0;
    for (p = path + 2; *p != 0; ++p)
        if (*p == '\\' && ++separators == 2) return (size_t)(p - path) + 1;
    return wcslen(path);
}

/* The part of a path before its last '\' (malloc'd); a root keeps its
 * '\' ("D:\x" is in "D:\", not in "D:", which is D's current folder). */
static WCHAR* parentOf(const WCHAR* path) {
    const WCHAR* last = wcsrchr(path, '\\');
    size_t length = last != NULL ? (size_t)(last - path) : 0;
    WCHAR* parent;
    if (last != NULL && length < rootLength(path)) ++length;
    parent = malloc(sizeof *parent * (length + 1));
    if (parent == NULL) return NULL;
    memcpy(parent, path, sizeof *parent * length);
    parent[length] = 0;
    return parent;
}

/* A name of our own beside path that is not there yet (malloc'd), for a
 * temporary file or for the file a new one replaces. */
static WCHAR* freeNameBeside(Run* run, const WCHAR* path) {
    WCHAR* folder = parentOf(path);
    WCHAR* beside;
    Text name = {0};
    if (folder == NULL) return NULL;
    textFormat(&name, L"tam%08lx%04lx.tmp", (unsigned long)GetCurrentProcessId(),
               ++run->nameCounter & 0xFFFF);
    beside = name.outOfMemory ? NULL : joinPath(folder, textChars(&name));
    free(folder);
    textFree(&name);
    return beside;
}

static int rememberFolder(Run* run, const WCHAR* folder) {
    WCHAR** grown = realloc(run->createdFolders, sizeof *grown * (run->createdCount + 1));
    WCHAR* copy = textCopy(folder);
    if (grown != NULL) run->createdFolders = grown;
    if (grown == NULL || copy == NULL) {
        free(copy);
        return 0;
    }
    run->createdFolders[run->createdCount++] = copy;
    return 1;
}

/* Makes a folder and the folders above it that are missing, remembering
 * each one this run made, and only those, so that a failure can take them
 * away again. */
static int ensureFolder(Run* run, const WCHAR* folder) {
    WCHAR* partial = textCopy(folder);
    size_t at = rootLength(folder), length = wcslen(folder);
    int ok = partial != NULL || outOfMemory(run);
    while (ok && at <= length) {
        if (at > 0 && (folder[at] == '\\' || folder[at] == 0) && folder[at - 1] != '\\') {
            DWORD attributes, error;
            partial[at] = 0;
            attributes = pathAttributes(partial);
            error = GetLastError();
            if (attributes == INVALID_FILE_ATTRIBUTES && isNotFound(error)) {
                if (pathCreateFolder(partial)) {
                    if (!rememberFolder(run, partial)) {
                        pathRemoveFolder(partial);
                        ok = outOfMemory(run);
                    } else {
                        action(run, L"created folder: %ls", partial);
                    }
                } else if ((error = GetLastError()) != ERROR_ALREADY_EXISTS) {
                    /* (ERROR_ALREADY_EXISTS: made meanwhile by someone else, not ours.) */
                    ok = failWith(run, error, partial, L"Could not create the folder %ls: ",
                                  partial);
                }
            } else if (attributes == INVALID_FILE_ATTRIBUTES) {
                ok = failWith(run, error, partial, L"Could not look at %ls: ", partial);
            } else if ((attributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
                ok = fail(run,
                          L"Could not create the folder %ls: a file of that name is in the way.",
                          partial);
            }
            partial[at] = folder[at];
        }
        ++at;
    }
    free(partial);
    return ok;
}

/* Where the destination's files go must fit Windows: every component of
 * at most 255 characters, every path (its temporary names beside it
 * included) within the longest "\\?\" path. */
static int checkPathLength(Run* run, const WCHAR* path, const WCHAR* label) {
    const WCHAR* p = path + rootLength(path);
    while (*p != 0) {
        size_t component = wcscspn(p, L"\\");
        if (component > kComponentMax)
            return fail(run, L"The path for \"%ls\" has a part longer than %d characters: %ls.",
                        label, kComponentMax, path);
        p += component;
        if (*p == '\\') ++p;
    }
    if (longFormLength(path) + kTemporaryNameLength > kLongPathMax)
        return fail(run, L"The path for \"%ls\" in %ls is too long.", label, run->folder);
    return 1;
}

/* The place of a name in the destination (malloc'd), or NULL after a
 * failure was recorded. what: how the message names it. */
static WCHAR* placeOf(Run* run, const WCHAR* name, NameRule rule, const WCHAR* what) {
    WCHAR* relative = malloc(sizeof *relative * (wcslen(name) + 1));
    WCHAR* target = NULL;
    NameResult result;
    if (relative == NULL) {
        outOfMemory(run);
        return NULL;
    }
    result = installedName(name, rule, sameNameIgnoringCase, relative);
    if (result != kNameOk) {
        fail(run, L"%ls \"%ls\" %ls.", what, name, nameResultText(result));
    } else if ((target = joinPath(run->folder, relative)) == NULL) {
        outOfMemory(run);
    } else if (!checkPathLength(run, target, name)) {
        free(target);
        target = NULL;
    }
    free(relative);
    return target;
}

static int addFile(Run* run, const WCHAR* label, NameRule rule, const WCHAR* what, Blob data) {
    PlannedFile* file = &run->files[run->fileCount];
    file->label = label;
    file->data = data;
    file->target = placeOf(run, label, rule, what);
    if (file->target == NULL) return 0;
    ++run->fileCount;
    return 1;
}

/* No two files of the install may land on one file, nor any on this
 * program itself (whatever the name it is reached by): the later would
 * silently overwrite the earlier. */
static int checkDestinations(Run* run) {
    const WCHAR** targets = malloc(sizeof *targets * (run->fileCount + 1));
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
        return outOfMemory(run);
    }
    for (i = 0; i < run->fileCount; ++i) targets[i] = run->files[i].target;
    if (findSameNames(targets, run->fileCount, sameNameIgnoringCase, &first, &second))
        ok = fail(run, L"The file names \"%ls\" and \"%ls\" both land on %ls.",
                  run->files[first].label, run->files[second].label, run->files[first].target);
    for (i = 0; ok && knowSelf && i < run->fileCount; ++i) {
        if (pathIdentity(targets[i], &identity) && identity.volume == selfIdentity.volume &&
            identity.indexHigh == selfIdentity.indexHigh &&
            identity.indexLow == selfIdentity.indexLow)
            ok = fail(run, L"The file name \"%ls\" would replace this installer itself (%ls).",
                      run->files[i].label, self);
    }
    free(self);
    free(targets);
    return ok;
}

/* Works out every destination, and checks every name and length, before
 * anything is written: a refusal stops the install with nothing on the disk. */
static int plan(Run* run) {
    const Contract* contract = run->contract;
    const Blob noData = {NULL, 0};
    size_t k;

    run->files = calloc(contract->extraCount + 3, sizeof *run->files);
    if (run->files == NULL) return outOfMemory(run);

    if (!addFile(run, contract->pluginName, kLastComponent, L"The plugin's file name",
                 contract->plugin))
        return 0;
    run->plugin = &run->files[0];
    for (k = 1; k <= contract->extraCount; ++k) {
        const WCHAR* name = contract->extraNames[k - 1];
        if (name[0] == 0)
            return fail(run, L"Line %lu of the installer's extra-file list is empty; the "
                             L"installer is damaged.",
                        (unsigned long)k);
        if (!addFile(run, name, kKeepFolders, L"The file name", readExtraFile(k))) return 0;
    }
    /* Planned with the rest, so that no extra file may land on them. */
    if (!addFile(run, kUninstallerName, kLastComponent, L"", noData) ||
        !addFile(run, kRecordName, kLastComponent, L"", noData))
        return 0;
    run->uninstaller = &run->files[run->fileCount - 2];
    run->record = &run->files[run->fileCount - 1];
    run->uninstaller->generated = run->record->generated = 1;
    if (!checkDestinations(run)) return 0;

    if (contract->runAfterInstall[0] != 0) {
        run->runAfter = placeOf(run, contract->runAfterInstall, kKeepFolders,
                                L"The file to open after installing,");
        if (run->runAfter == NULL) return 0;
    }
    return 1;
}

/* Writes a file's bytes to a new temporary file beside its target. */
static int writeTemporary(Run* run, PlannedFile* file) {
    const char* bytes = file->data.data;
    DWORD left = file->data.size, error = 0;
    HANDLE handle = INVALID_HANDLE_VALUE;
    WCHAR* folder = parentOf(file->target);
    int ok, attempt;

    if (folder == NULL) return outOfMemory(run);
    ok = ensureFolder(run, folder);
    free(folder);
    if (!ok) return 0;
    for (attempt = 0; attempt < 100 && handle == INVALID_HANDLE_VALUE; ++attempt) {
        free(file->temp);
        if ((file->temp = freeNameBeside(run, file->target)) == NULL) return outOfMemory(run);
        handle = pathCreateNew(file->temp);
        if (handle == INVALID_HANDLE_VALUE && (error = GetLastError()) != ERROR_FILE_EXISTS)
            break;
    }
    if (handle == INVALID_HANDLE_VALUE)
        return failWith(run, error, file->target, L"Could not write %ls: ", file->target);
    file->state = kWritten; /* from here on the temporary file is ours to remove */
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
    if (!ok) return failWith(run, error, file->target, L"Could not write %ls: ", file->target);
    return 1;
}

static int writeAll(Run* run) {
    size_t i;
    if (!ensureFolder(run, run->folder)) return 0;
    for (i = 0; i < run->fileCount; ++i) {
        PlannedFile* file = &run->files[i];
        if (file->generated) continue;
        if (file->data.data == NULL) {
            /* The updater could not read it: say so, install the rest. */
            action(run, L"missing: %ls: not in this installer, not installed", file->label);
            textAppend(&run->missing, run->missing.length > 0 ? L", " : L"");
            textAppend(&run->missing, file->label);
        } else if (!writeTemporary(run, file)) {
            return 0;
        }
    }
    return 1;
}

/* Renames the file at target to a free name beside it: the backup. */
static int moveAside(Run* run, PlannedFile* file) {
    DWORD error = 0;
    int attempt;
    for (attempt = 0; attempt < 100; ++attempt) {
        free(file->backup);
        if ((file->backup = freeNameBeside(run, file->target)) == NULL) return outOfMemory(run);
        if (pathMove(file->target, file->backup, 0)) return 1;
        error = GetLastError();
        if (error != ERROR_ALREADY_EXISTS && error != ERROR_FILE_EXISTS) break;
    }
    free(file->backup);
    file->backup = NULL;
    return failWith(run, error, file->target, L"Could not replace %ls: ", file->target);
}

/* Renames the temporary file to the target. A file already there is first
 * renamed aside, so that a failure later on can put it back. */
static int commit(Run* run, PlannedFile* file) {
    DWORD attributes = pathAttributes(file->target);
    DWORD error = GetLastError();
    if (attributes == INVALID_FILE_ATTRIBUTES && !isNotFound(error))
        return failWith(run, error, file->target, L"Could not look at %ls: ", file->target);
    if (attributes != INVALID_FILE_ATTRIBUTES) {
        if (attributes & FILE_ATTRIBUTE_DIRECTORY)
            return fail(run, L"Could not write %ls: a folder of that name is in the way.",
                        file->target);
        if (!moveAside(run, file)) return 0;
        file->state = kAside;
    }
    if (!pathMove(file->temp, file->target, MOVEFILE_REPLACE_EXISTING))
        return failWith(run, GetLastError(), file->target, L"Could not write %ls: ",
                        file->target);
    file->state = kCommitted;
    if (file->generated) /* their sizes say nothing */
        action(run, L"%ls: %ls", file->backup != NULL ? L"replaced" : L"wrote", file->target);
    else
        action(run, L"%ls: %ls (%lu bytes)", file->backup != NULL ? L"replaced" : L"wrote",
               file->target, (unsigned long)file->data.size);
    return 1;
}

static int commitAll(Run* run) {
    size_t i;
    for (i = 0; i < run->fileCount; ++i)
        if (run->files[i].state == kWritten && !commit(run, &run->files[i])) return 0;
    return 1;
}

/* A COM server registers itself, in a process of its own. A failure there
 * may have left half its registry keys: its DllUnregisterServer, where it
 * has one, takes them away before the files go. */
static int registerPlugin(Run* run) {
    const WCHAR* progId = run->contract->progId;
    const WCHAR* path = run->plugin->target;
    const Registrar* registrar = &run->registrar;
    Registration registration = runRegistration(registrar, path, 0);
    Text why = {0}, through = {0};

    /* The system's program is named with its command line, as it ran. */
    if (registrar->program != NULL) {
        textAppend(&through, L" with ");
        registrarCommand(registrar, path, 0, &through);
    }
    if (registrationSucceeded(registrar, registration, path, &why)) {
        action(run, L"registered: %ls (%ls)%ls", path, progId, textChars(&through));
        textFree(&through);
        run->registered = 1;
        return 1;
    }
    textFree(&through);
    fail(run, L"Could not register %ls as %ls: %ls.", path, progId, textChars(&why));
    /* Unregistered wherever the DLL's code ran: it may have written half. */
    if (registration.outcome == kServerReturned || registration.outcome == kServerEnded ||
        registration.outcome == kServerEndedLoading || registration.outcome == kServerTimedOut ||
        (registration.outcome == kProgramEnded && registration.code != 3 &&
         registration.code != 4)) {
        Registration undo = runRegistration(registrar, path, 1);
        textFree(&why);
        if (registrationSucceeded(registrar, undo, path, &why))
            action(run, L"unregistered: %ls", path);
        else if (undo.outcome != kServerNoEntry &&
                 !(undo.outcome == kProgramEnded && undo.code == 4))
            textFormat(&run->failure, L"\r\nCould not unregister it either: %ls.", textChars(&why));
    }
    textFree(&why);
    return 0;
}

/* The uninstaller: a copy of this program without the payload. */
static int writeUninstallerCopy(Run* run) {
    PlannedFile* copy = run->uninstaller;
    DWORD error = 0;
    int attempt, written = 0;
    for (attempt = 0; attempt < 100 && !written; ++attempt) {
        free(copy->temp);
        if ((copy->temp = freeNameBeside(run, copy->target)) == NULL) return outOfMemory(run);
        written = writeUninstaller(copy->temp, run->contract);
        if (!written && (error = GetLastError()) != ERROR_FILE_EXISTS) break;
    }
    if (!written) return failWith(run, error, copy->target, L"Could not write %ls: ", copy->target);
    copy->state = kWritten;
    return commit(run, copy);
}

/* The record names the files this run wrote new and the folders it made,
 * merged with the record of an earlier install in the same folder: a file
 * that was there before the first install is replaced, never named, and so
 * never deleted by the uninstaller. */
static int writeRecord(Run* run) {
    UninstallRecord* entry = &run->entry;
    WCHAR* text;
    size_t i, length;
    int ok = readRecord(run->record->target, entry);
    free(entry->key);
    free(entry->server);
    free(entry->registrar);
    entry->key = uninstallKey(run->contract);
    entry->view = registryViewOf(peMachine(run->contract->plugin));
    entry->server = run->registered ? textCopy(run->plugin->target) : NULL;
    entry->registrar = run->registrar.program != NULL ? textCopy(run->registrar.program) : NULL;
    ok = ok && entry->key != NULL && (!run->registered || entry->server != NULL) &&
         (run->registrar.program == NULL || entry->registrar != NULL);
    for (i = 0; ok && i < run->fileCount; ++i) {
        PlannedFile* file = &run->files[i];
        if (!file->generated && file->state == kCommitted && file->backup == NULL)
            ok = pathListAdd(&entry->files, file->target);
    }
    for (i = 0; ok && i < run->createdCount; ++i)
        ok = pathListAdd(&entry->folders, run->createdFolders[i]);
    if (!ok || (text = recordText(entry, &length)) == NULL) return outOfMemory(run);
    run->record->data.data = (const char*)text;
    run->record->data.size = (DWORD)(length * sizeof *text);
    ok = writeTemporary(run, run->record) && commit(run, run->record);
    free(text);
    run->record->data.data = NULL;
    return ok;
}

/* The entry under Settings > Apps. The install stands without it; the
 * last message says it is missing, and why. */
static void writeEntry(Run* run, Text* news) {
    WIN32_FILE_ATTRIBUTE_DATA data;
    WCHAR* full = longForm(run->uninstaller->target);
    unsigned long long bytes = 0;
    Text why = {0};
    size_t i;
    for (i = 0; i < run->fileCount; ++i) bytes += run->files[i].data.size;
    if (full != NULL && GetFileAttributesExW(full, GetFileExInfoStandard, &data))
        bytes += data.nFileSizeLow;
    free(full);
    if (writeUninstallEntry(&run->entry, run->contract->name, run->folder,
                            run->uninstaller->target, (DWORD)((bytes + 1023) / 1024), &why)) {
        action(run, L"uninstall entry: HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Windows\\"
                    L"CurrentVersion\\Uninstall\\%ls", run->entry.key);
    } else {
        action(run, L"no uninstall entry: %ls", textChars(&why));
        textFormat(news, L"\r\nThe uninstall entry is missing: could not write %ls.",
                   textChars(&why));
    }
    textFree(&why);
}

/* Puts a replaced file back; when that fails, says where it is. */
static void restore(Run* run, PlannedFile* file) {
    if (pathMove(file->backup, file->target, MOVEFILE_REPLACE_EXISTING)) {
        action(run, L"restored: %ls", file->target);
        free(file->backup);
        file->backup = NULL;
        return;
    }
    textFormat(&run->failure, L"\r\nCould not put back the earlier %ls, which is kept as %ls: ",
               file->target, file->backup);
    textAppendSystemError(&run->failure, GetLastError(), file->target);
    textAppend(&run->failure, L".");
}

/* Takes away what this run made and puts back what it replaced, newest
 * first; what cannot be undone is added to the failure message. */
static void rollBack(Run* run) {
    size_t i;
    if (run->registered) {
        Registration undo = runRegistration(&run->registrar, run->plugin->target, 1);
        Text why = {0};
        if (registrationSucceeded(&run->registrar, undo, run->plugin->target, &why))
            action(run, L"unregistered: %ls", run->plugin->target);
        else
            textFormat(&run->failure, L"\r\nCould not unregister %ls: %ls.", run->plugin->target,
                       textChars(&why));
        textFree(&why);
    }
    for (i = run->fileCount; i-- > 0;) {
        PlannedFile* file = &run->files[i];
        if (file->state == kWritten || file->state == kAside) pathDelete(file->temp);
        if (file->state == kAside || (file->state == kCommitted && file->backup != NULL)) {
            restore(run, file);
        } else if (file->state == kCommitted) {
            if (pathDelete(file->target)) {
                action(run, L"removed: %ls", file->target);
            } else {
                textFormat(&run->failure, L"\r\nCould not remove %ls: ", file->target);
                textAppendSystemError(&run->failure, GetLastError(), file->target);
                textAppend(&run->failure, L".");
            }
        }
        file->state = kPlanned;
    }
    for (i = run->createdCount; i-- > 0;) {
        if (pathRemoveFolder(run->createdFolders[i])) {
            action(run, L"removed folder: %ls", run->createdFolders[i]);
        } else {
            textFormat(&run->failure, L"\r\nCould not remove the folder %ls: ",
                       run->createdFolders[i]);
            textAppendSystemError(&run->failure, GetLastError(), run->createdFolders[i]);
            textAppend(&run->failure, L".");
        }
    }
}

/* The replaced files' old copies go once the install has succeeded; a
 * read-only one loses that attribute first. One that is still loaded (an
 * old plugin in a running host) cannot be deleted now; Windows removes it
 * at the next start where the rights allow. */
static void dropBackups(Run* run) {
    size_t i;
    for (i = 0; i < run->fileCount; ++i) {
        const WCHAR* backup = run->files[i].backup;
        if (backup == NULL) continue;
        pathSetAttributes(backup, FILE_ATTRIBUTE_NORMAL);
        if (!pathDelete(backup)) pathMove(backup, NULL, MOVEFILE_DELAY_UNTIL_REBOOT);
    }
}

/* ShellExecuteEx leaves a code of its own in hInstApp: the SE_ERR_* codes
 * from 26 up are no Win32 codes and are said as what they mean; those below
 * (2, 3, 5, 8, 11) mean what the Win32 code of that number means. The last
 * error is taken only where hInstApp says nothing of its own: the shell may
 * leave the error of an attempt it made on the way. */
static void describeOpenFailure(DWORD error, INT_PTR shellCode, const WCHAR* path, Text* why) {
    switch (shellCode) {
        case SE_ERR_NOASSOC:
        case SE_ERR_ASSOCINCOMPLETE:
            textAppend(why, L"no program is set to open it");
            return;
        case SE_ERR_DDETIMEOUT:
        case SE_ERR_DDEFAIL:
        case SE_ERR_DDEBUSY:
            textAppend(why, L"the program that opens it did not answer");
            return;
        case SE_ERR_SHARE: error = ERROR_SHARING_VIOLATION; break;
        case SE_ERR_DLLNOTFOUND: error = ERROR_DLL_NOT_FOUND; break;
        default:
            if (shellCode > 0 && shellCode < 32) error = (DWORD)shellCode;
            break;
    }
    if (error == ERROR_NO_ASSOCIATION)
        textAppend(why, L"no program is set to open it");
    else if (error != ERROR_SUCCESS)
        textAppendSystemError(why, error, path);
    else
        textAppend(why, L"the shell gave no reason");
}

/* Opens the file named to run after the install, as a double click would.
 * The install stands whatever happens here; a failure is told in the last
 * message. */
static void openAfterInstall(Run* run, Text* news) {
    SHELLEXECUTEINFOW info;
    Text why = {0};
    ZeroMemory(&info, sizeof info);
    info.cbSize = sizeof info;
    /* NOASYNC: the program ends soon after, which must not cut the start
     * short. FLAG_NO_UI: a failure is said in the last message, once. */
    info.fMask = SEE_MASK_NOASYNC | SEE_MASK_FLAG_NO_UI;
    info.lpVerb = L"open";
    info.lpFile = run->runAfter;
    info.lpDirectory = run->folder;
    info.nShow = SW_SHOWNORMAL;
    SetLastError(ERROR_SUCCESS);
    if (ShellExecuteExW(&info)) {
        action(run, L"opened: %ls", run->runAfter);
        return;
    }
    describeOpenFailure(GetLastError(), (INT_PTR)info.hInstApp, run->runAfter, &why);
    action(run, L"could not open: %ls: %ls", run->runAfter, textChars(&why));
    textFormat(news, L"\r\nCould not open %ls: %ls.", run->runAfter, textChars(&why));
    textFree(&why);
}

static void freeRun(Run* run) {
    size_t i;
    for (i = 0; i < run->fileCount; ++i) {
        free(run->files[i].target);
        free(run->files[i].temp);
        free(run->files[i].backup);
    }
    free(run->files);
    for (i = 0; i < run->createdCount; ++i) free(run->createdFolders[i]);
    free(run->createdFolders);
    free(run->folder);
    free(run->runAfter);
    freeRegistrar(&run->registrar);
    freeRecord(&run->entry);
    textFree(&run->missing);
    textFree(&run->failure);
}

static int isDriveLetter(const WCHAR* path) {
    return ((path[0] >= 'A' && path[0] <= 'Z') || (path[0] >= 'a' && path[0] <= 'z')) &&
           path[1] == ':';
}

/* A full path in its usual form (malloc'd): GetFullPathName's result, with
 * a "\\?\" form given back as the usual one and without a trailing '\'
 * ("C:\x\" and "C:\x" are one folder; a root keeps its '\'). A drive
 * alone ("D:", "\\?\D:") is its root: to GetFullPathName it would be the
 * drive's current folder, which no one means by a destination. */
static WCHAR* fullPath(const WCHAR* path) {
    const WCHAR* drive = wcsncmp(path, L"\\\\?\\", 4) == 0 ? path + 4 : path;
    WCHAR root[4] = {drive[0], ':', '\\', 0};
    DWORD size, length;
    WCHAR* full;
    if (isDriveLetter(drive) && drive[2] == 0) path = root;
    size = GetFullPathNameW(path, 0, NULL, NULL);
    full = size > 0 ? malloc(sizeof *full * size) : NULL;
    length = full != NULL ? GetFullPathNameW(path, size, full, NULL) : 0;
    if (length == 0 || length >= size) {
        free(full);
        return NULL;
    }
    if (wcsncmp(full, L"\\\\?\\UNC\\", 8) == 0) {
        memmove(full + 2, full + 8, sizeof *full * (length - 8 + 1));
        length -= 6;
    } else if (wcsncmp(full, L"\\\\?\\", 4) == 0) {
        memmove(full, full + 4, sizeof *full * (length - 4 + 1));
        length -= 4;
    }
    if (length > rootLength(full) && full[length - 1] == '\\') full[length - 1] = 0;
    return full;
}

/* The current folder, of any length (malloc'd). */
static WCHAR* currentFolder(void) {
    DWORD size = GetCurrentDirectoryW(0, NULL);
    WCHAR* folder = size > 0 ? malloc(sizeof *folder * size) : NULL;
    DWORD length = folder != NULL ? GetCurrentDirectoryW(size, folder) : 0;
    if (length == 0 || length >= size) {
        free(folder);
        return textCopy(L"");
    }
    return folder;
}

/* The value of an environment variable (malloc'd), or NULL when it is not
 * set or memory ran out. */
static WCHAR* environmentValue(const WCHAR* name) {
    DWORD size = GetEnvironmentVariableW(name, NULL, 0);
    WCHAR* value = size > 0 ? malloc(sizeof *value * size) : NULL;
    DWORD length = value != NULL ? GetEnvironmentVariableW(name, value, size) : 0;
    if (length == 0 || length >= size) {
        free(value);
        return NULL;
    }
    return value;
}

/* The Program Files folder of the plugin's architecture (malloc'd), or NULL.
 * In a 32-bit process on 64-bit Windows, ProgramFiles is the x86 one and
 * only ProgramW6432 names the other; on 32-bit Windows neither of the first
 * choices is set. A plugin that is no PE file of either gets the program's
 * own. */
static WCHAR* programFilesFor(Blob plugin) {
    static const WCHAR* const kChoices[][2] = {{L"ProgramW6432", L"ProgramFiles"},
                                               {L"ProgramFiles(x86)", L"ProgramFiles"},
                                               {L"ProgramFiles", L"ProgramFiles"}};
    WORD machine = peMachine(plugin);
    const WCHAR* const* names = kChoices[machine == IMAGE_FILE_MACHINE_AMD64  ? 0
                                        : machine == IMAGE_FILE_MACHINE_I386 ? 1
                                                                              : 2];
    WCHAR* folder = environmentValue(names[0]);
    return folder != NULL ? folder : environmentValue(names[1]);
}

/* name as one folder name, as Windows keeps it, into out; 0 when it cannot
 * be one. Separators, and a colon that installedName would read as a
 * drive, would make it a path. */
static int asFolderName(const WCHAR* name, WCHAR* out) {
    return wcspbrk(name, L"\\/:") == NULL &&
           installedName(name, kLastComponent, sameNameIgnoringCase, out) == kNameOk;
}

/* Where the picker starts (malloc'd): the Program Files folder of the
 * plugin's architecture, in a sub-folder named by the Name or, where that
 * is no folder name, by the plugin file without its extension. Without a
 * Program Files folder, the current folder. */
static WCHAR* startFolder(const Contract* contract) {
    size_t room = wcslen(contract->name) + wcslen(contract->pluginName) + 1;
    WCHAR* programFiles = programFilesFor(contract->plugin);
    WCHAR* plugin = malloc(sizeof *plugin * room);
    WCHAR* name = malloc(sizeof *name * room);
    WCHAR* start = NULL;
    if (programFiles != NULL && plugin != NULL && name != NULL) {
        int named = asFolderName(contract->name, name);
        if (!named &&
            installedName(contract->pluginName, kLastComponent, sameNameIgnoringCase, plugin) ==
                kNameOk) {
            WCHAR* extension = wcsrchr(plugin, '.');
            if (extension != NULL && extension != plugin) *extension = 0;
            named = asFolderName(plugin, name);
        }
        start = named ? joinPath(programFiles, name) : textCopy(programFiles);
    } else if (plugin != NULL && name != NULL) {
        start = currentFolder();
    }
    free(programFiles);
    free(plugin);
    free(name);
    return start;
}

/* No component of a destination may be a name Windows reserves: a folder
 * "nul" (or "com1.txt") can be made through "\\?\", but ordinary programs
 * can neither open nor delete it, and GetFullPathName turns such a last
 * component into the device itself. Each component is held to the rule for
 * file names, before the path is made full. */
static int checkFolderNames(Run* run, const WCHAR* folder) {
    const WCHAR* p = folder;
    WCHAR* part = malloc(sizeof *part * (wcslen(folder) + 1));
    WCHAR* kept = malloc(sizeof *kept * (wcslen(folder) + 1));
    int ok = (part != NULL && kept != NULL) || outOfMemory(run);
    if (wcsncmp(p, L"\\\\?\\UNC\\", 8) == 0)
        p += 8;
    else if (wcsncmp(p, L"\\\\?\\", 4) == 0 || wcsncmp(p, L"\\\\.\\", 4) == 0)
        p += 4;
    if (isDriveLetter(p)) p += 2;
    while (ok && *p != 0) {
        size_t length = wcscspn(p, L"\\/");
        int dots = (length == 1 || length == 2) && p[0] == '.' && p[length - 1] == '.';
        if (length > 0 && !dots) {
            memcpy(part, p, sizeof *part * length);
            part[length] = 0;
            if (installedName(part, kLastComponent, sameNameIgnoringCase, kept) == kNameInvalid)
                ok = fail(run, L"The folder %ls cannot be used: \"%ls\" is not a folder name "
                               L"Windows can hold.",
                          folder, part);
        }
        p += length;
        if (*p != 0) ++p;
    }
    free(part);
    free(kept);
    return ok;
}

/* The destination, asked starting in /D=, else (windowed) in Program Files
 * or (silent) in the current folder; the silent mode takes that start as it
 * is. Returns 0 when cancelled or failed (*failed says which). */
static int chooseDestination(Run* run, const InstallerOptions* options, int* failed) {
    WCHAR* start;
    WCHAR* chosen = NULL;
    Text prompt = {0};
    int ok;
    *failed = 0;
    if (options->folder != NULL) {
        start = malloc(sizeof *start * (options->folderLength + 1));
        if (start != NULL) {
            memcpy(start, options->folder, sizeof *start * options->folderLength);
            start[options->folderLength] = 0;
        }
    } else if (options->silent) {
        start = currentFolder();
    } else {
        start = startFolder(run->contract);
    }
    textFormat(&prompt, L"Choose the folder to install \"%ls\" into:", run->contract->name);
    ok = start != NULL && !prompt.outOfMemory &&
         run->ui->chooseFolder(run->ui, run->contract->title, textChars(&prompt), start, &chosen);
    textFree(&prompt);
    if (start == NULL || (ok && chosen == NULL)) {
        free(start);
        *failed = 1;
        return outOfMemory(run);
    }
    free(start);
    if (!ok) return 0;
    if (!checkFolderNames(run, chosen)) {
        *failed = 1;
        free(chosen);
        return 0;
    }
    run->folder = fullPath(chosen);
    if (run->folder == NULL || rootLength(run->folder) == 0) {
        *failed = 1;
        fail(run, L"The folder %ls is no full path Windows can use.", chosen);
        free(chosen);
        return 0;
    }
    free(chosen);
    action(run, L"folder: %ls", run->folder);
    if (!checkPathLength(run, run->folder, run->folder)) {
        *failed = 1;
        return 0;
    }
    return 1;
}

static void tellFailure(Run* run) {
    Text text = {0};
    textFormat(&text, L"%ls\r\nThe plugin was not installed.", textChars(&run->failure));
    run->ui->message(run->ui, kTellError, run->contract->title, textChars(&text));
    textFree(&text);
}

InstallOutcome runInstall(InstallerUi* ui, const Contract* contract,
                          const InstallerOptions* options) {
    Run run;
    Text text = {0};
    InstallOutcome outcome;
    int ok, answer, failed;

    memset(&run, 0, sizeof run);
    run.ui = ui;
    run.contract = contract;

    if (!contract->updated) {
        ui->message(ui, kTellError, contract->title,
                    L"This installer holds no plugin yet: the updater has not written one "
                    L"into it.");
        return kFailed;
    }
    /* The updater writes an installer without a plugin name, or without the
     * plugin's bytes when it could not read the file (and warns): there is
     * nothing to install, and extra files alone would be no plugin. */
    if (contract->pluginName[0] == 0 || contract->plugin.data == NULL) {
        ui->message(ui, kTellError, contract->title, L"This installer holds no plugin file.");
        return kFailed;
    }
    /* A plugin to register must be one that this Windows can load, through
     * this program or the system's registration program. */
    if (contract->progId[0] != 0 &&
        !chooseRegistrar(peMachine(contract->plugin), &run.registrar, &text)) {
        ui->message(ui, kTellError, contract->title, textChars(&text));
        textFree(&text);
        return kFailed;
    }
    textFormat(&text, L"Do you want to install the plugin \"%ls\"?", contract->name);
    answer = ui->message(ui, kAskYesNo, contract->title, textChars(&text));
    textFree(&text);
    if (!answer ||
        (contract->warning[0] != 0 &&
         !ui->message(ui, kAskOkCancel, contract->title, contract->warning))) {
        freeRun(&run);
        return kCancelled;
    }
    if (!chooseDestination(&run, options, &failed)) {
        if (failed) tellFailure(&run);
        freeRun(&run);
        return failed ? kFailed : kCancelled;
    }

    ok = plan(&run) && writeAll(&run) && commitAll(&run) &&
         (contract->progId[0] == 0 || registerPlugin(&run)) && writeUninstallerCopy(&run) &&
         writeRecord(&run);
    if (ok) {
        dropBackups(&run);
        textFormat(&text, L"The plugin \"%ls\" was installed in %ls.", contract->name, run.folder);
        writeEntry(&run, &text);
        if (run.missing.length > 0)
            textFormat(&text, L"\r\nNot in this installer, so not installed: %ls.",
                       textChars(&run.missing));
        if (run.runAfter != NULL) openAfterInstall(&run, &text);
        ui->message(ui, kTellInfo, contract->title, textChars(&text));
        outcome = kInstalled;
    } else {
        rollBack(&run);
        tellFailure(&run);
        outcome = kFailed;
    }
    textFree(&text);
    freeRun(&run);
    return outcome;
}
