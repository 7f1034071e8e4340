#include "install.h"

#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <windows.h>
#include <shellapi.h>

#include "text.h"

typedef enum FileState {
    kPlanned,
    kWritten,  /* the bytes are in temp */
    kCommitted /* temp was renamed to target; backup holds what it replaced */
} FileState;

typedef struct PlannedFile {
    char* label; /* the name as the installer holds it, for messages */
    char target[MAX_PATH];
    Blob data; /* data == NULL: the updater could not read the file */
    char temp[MAX_PATH];
    char backup[MAX_PATH];
    FileState state;
} PlannedFile;

typedef struct Run {
    InstallerUi* ui;
    const Contract* contract;
    char folder[MAX_PATH];
    PlannedFile* files;
    size_t fileCount;
    PlannedFile* plugin; /* among files; NULL when the installer names none */
    char runAfter[MAX_PATH];
    char** createdFolders; /* in the order they were made */
    size_t createdCount;
    Text missing; /* names the installer lacks the file of, ", "-separated */
    Text failure; /* the first failure: what the one error message says */
} Run;

static int isLeadByte(unsigned char byte) { return IsDBCSLeadByte(byte); }

static void action(Run* run, const char* format, ...) __attribute__((format(printf, 2, 3)));
static void action(Run* run, const char* format, ...) {
    Text line = {0};
    va_list arguments;
    va_start(arguments, format);
    textFormatList(&line, format, arguments);
    va_end(arguments);
    run->ui->action(run->ui, textChars(&line));
    textFree(&line);
}

/* Records what failed, once: the first failure is the one reported. */
static int fail(Run* run, const char* format, ...) __attribute__((format(printf, 2, 3)));
static int fail(Run* run, const char* format, ...) {
    if (run->failure.length == 0) {
        va_list arguments;
        va_start(arguments, format);
        textFormatList(&run->failure, format, arguments);
        va_end(arguments);
    }
    return 0;
}

/* The system's sentence for an error code, without its final full stop. */
static const char* systemText(DWORD code, char* out, DWORD size) {
    DWORD length = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, NULL,
                                  code, 0, out, size, NULL);
    while (length > 0 && strchr(" .\r\n", out[length - 1]) != NULL) --length;
    if (length == 0) snprintf(out, size, "error %lu", (unsigned long)code);
    else out[length] = 0;
    return out;
}

static const char* lastErrorText(char* out, DWORD size) {
    return systemText(GetLastError(), out, size);
}

/* folder + "\" + relative, refused when it does not fit the ANSI routines. */
static int joinPath(char* out, const char* folder, const char* relative) {
    size_t folderLength = strlen(folder);
    int needsSeparator = folderLength > 0 && folder[folderLength - 1] != '\\';
    if (folderLength + (size_t)needsSeparator + strlen(relative) >= MAX_PATH) return 0;
    strcpy(out, folder);
    if (needsSeparator) strcat(out, "\\");
    strcat(out, relative);
    return 1;
}

/* The length of a full path's root: "C:\" or "\\server\share\". */
static size_t rootLength(const char* path) {
    const char* p;
    int separators = 0;
    if (path[0] != 0 && path[1] == ':' && path[2] == '\\') return 3;
    if (path[0] != '\\' || path[1] != '\\') return 0;
    for (p = path + 2; *p != 0; p = CharNextA(p)) {
        if (*p == '\\' && ++separators == 2) return (size_t)(p - path) + 1;
    }
    return strlen(path);
}

/* The part of a path before its last '\' (stepping over two-byte
 * characters, whose second byte may be '\'). */
static void parentOf(const char* path, char* parent) {
    const char* last = NULL;
    const char* p;
    for (p = path; *p != 0; p = CharNextA(p))
        if (*p == '\\') last = p;
    if (last == NULL) {
        parent[0] = 0;
        return;
    }
    memcpy(parent, path, (size_t)(last - path));
    parent[last - path] = 0;
}

static int rememberFolder(Run* run, const char* folder) {
    char** grown = realloc(run->createdFolders, sizeof *grown * (run->createdCount + 1));
    char* copy = malloc(strlen(folder) + 1);
    if (grown != NULL) run->createdFolders = grown;
    if (grown == NULL || copy == NULL) {
        free(copy);
        return 0;
    }
    strcpy(copy, folder);
    run->createdFolders[run->createdCount++] = copy;
    return 1;
}

/* Makes a folder and the folders above it that are missing, remembering
 * each one made so that a failure can take it away again. */
static int ensureFolder(Run* run, const char* folder) {
    char partial[MAX_PATH];
    char reason[512];
    const char* p = folder + rootLength(folder);
    while (1) {
        int atEnd = *p == 0;
        if (atEnd || *p == '\\') {
            DWORD attributes;
            size_t length = (size_t)(p - folder);
            memcpy(partial, folder, length);
            partial[length] = 0;
            attributes = GetFileAttributesA(partial);
            if (attributes == INVALID_FILE_ATTRIBUTES) {
                if (!CreateDirectoryA(partial, NULL) && GetLastError() != ERROR_ALREADY_EXISTS)
                    return fail(run, "Could not create the folder %s: %s.", partial,
                                lastErrorText(reason, sizeof reason));
                if (!rememberFolder(run, partial)) {
                    RemoveDirectoryA(partial);
                    return fail(run, "Out of memory.");
                }
                action(run, "created folder: %s", partial);
            } else if ((attributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
                return fail(run, "Could not create the folder %s: a file of that name is in the way.",
                            partial);
            }
        }
        if (atEnd) return 1;
        p = CharNextA(p);
    }
}

static int addFile(Run* run, const char* label, const char* relative, Blob data) {
    PlannedFile* file = &run->files[run->fileCount];
    file->label = malloc(strlen(label) + 1);
    if (file->label == NULL) return fail(run, "Out of memory.");
    strcpy(file->label, label);
    ++run->fileCount;
    if (!joinPath(file->target, run->folder, relative))
        return fail(run, "The path for \"%s\" in %s is too long.", label, run->folder);
    file->data = data;
    return 1;
}

/* Works out every destination before anything is written, so a refused
 * name stops the install with nothing on the disk. */
static int plan(Run* run) {
    const Contract* contract = run->contract;
    TableCursor cursor = {contract->locationTable.data, contract->locationTable.size, 0};
    const char* line;
    size_t length, lines = 0, k = 0;
    char relative[MAX_PATH];
    NameResult result;

    while (nextTableLine(&cursor, &line, &length)) ++lines;
    run->files = calloc(lines + 1, sizeof *run->files);
    if (run->files == NULL) return fail(run, "Out of memory.");

    if (contract->pluginName[0] != 0) {
        result = installedName(contract->pluginName, kLastComponent, isLeadByte, relative,
                               sizeof relative);
        if (result != kNameOk)
            return fail(run, "The plugin's file name \"%s\" %s.", contract->pluginName,
                        nameResultText(result));
        if (!addFile(run, contract->pluginName, relative, contract->plugin)) return 0;
        run->plugin = &run->files[0];
    }

    cursor.at = 0;
    while (nextTableLine(&cursor, &line, &length)) {
        char* name = malloc(length + 1);
        int added;
        ++k;
        if (name == NULL) return fail(run, "Out of memory.");
        memcpy(name, line, length);
        name[length] = 0;
        result = installedName(name, kKeepFolders, isLeadByte, relative, sizeof relative);
        added = result == kNameOk ? addFile(run, name, relative, readExtraFile(k))
                                  : fail(run, "The file name \"%s\" %s.", name,
                                         nameResultText(result));
        free(name);
        if (!added) return 0;
    }

    if (contract->runAfterInstall[0] != 0) {
        result = installedName(contract->runAfterInstall, kKeepFolders, isLeadByte, relative,
                               sizeof relative);
        if (result != kNameOk)
            return fail(run, "The file to open after installing, \"%s\", %s.",
                        contract->runAfterInstall, nameResultText(result));
        if (!joinPath(run->runAfter, run->folder, relative))
            return fail(run, "The path for \"%s\" in %s is too long.", contract->runAfterInstall,
                        run->folder);
    }
    return 1;
}

/* Writes a file's bytes to a new temporary file beside its target. */
static int writeTemporary(Run* run, PlannedFile* file) {
    char folder[MAX_PATH];
    char reason[512];
    const char* bytes = file->data.data;
    DWORD left = file->data.size;
    HANDLE handle;
    int ok;

    parentOf(file->target, folder);
    if (!ensureFolder(run, folder)) return 0;
    if (!GetTempFileNameA(folder, "tam", 0, file->temp))
        return fail(run, "Could not write %s: %s.", file->target,
                    lastErrorText(reason, sizeof reason));
    file->state = kWritten; /* from here on the temporary file is ours to remove */
    handle = CreateFileA(file->temp, GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                         NULL);
    if (handle == INVALID_HANDLE_VALUE)
        return fail(run, "Could not write %s: %s.", file->target,
                    lastErrorText(reason, sizeof reason));
    ok = 1;
    while (ok && left > 0) {
        DWORD written = 0;
        ok = WriteFile(handle, bytes, left, &written, NULL) && written > 0;
        bytes += written;
        left -= written;
    }
    ok = ok && FlushFileBuffers(handle);
    if (!ok) lastErrorText(reason, sizeof reason);
    if (!CloseHandle(handle) && ok) {
        ok = 0;
        lastErrorText(reason, sizeof reason);
    }
    if (!ok) return fail(run, "Could not write %s: %s.", file->target, reason);
    return 1;
}

static int writeAll(Run* run) {
    size_t i;
    if (!ensureFolder(run, run->folder)) return 0;
    for (i = 0; i < run->fileCount; ++i) {
        PlannedFile* file = &run->files[i];
        if (file->data.data == NULL) {
            /* The updater could not read it: say so, install the rest. */
            action(run, "missing: %s: not in this installer, not installed", file->label);
            textAppend(&run->missing, run->missing.length > 0 ? ", " : "");
            textAppend(&run->missing, file->label);
        } else if (!writeTemporary(run, file)) {
            return 0;
        }
    }
    return 1;
}

/* Renames the temporary file to the target. A file already there is first
 * renamed aside, so that a failure later on can put it back. */
static int commit(Run* run, PlannedFile* file) {
    char folder[MAX_PATH];
    char reason[512];
    DWORD attributes = GetFileAttributesA(file->target);
    if (attributes != INVALID_FILE_ATTRIBUTES) {
        if (attributes & FILE_ATTRIBUTE_DIRECTORY)
            return fail(run, "Could not write %s: a folder of that name is in the way.",
                        file->target);
        parentOf(file->target, folder);
        if (!GetTempFileNameA(folder, "tam", 0, file->backup) ||
            !MoveFileExA(file->target, file->backup, MOVEFILE_REPLACE_EXISTING)) {
            lastErrorText(reason, sizeof reason);
            if (file->backup[0] != 0) DeleteFileA(file->backup);
            file->backup[0] = 0;
            return fail(run, "Could not replace %s: %s.", file->target, reason);
        }
    }
    if (!MoveFileExA(file->temp, file->target, MOVEFILE_REPLACE_EXISTING)) {
        lastErrorText(reason, sizeof reason);
        if (file->backup[0] != 0 && MoveFileExA(file->backup, file->target, 0))
            file->backup[0] = 0;
        return fail(run, "Could not write %s: %s.", file->target, reason);
    }
    file->state = kCommitted;
    action(run, "%s: %s (%lu bytes)", file->backup[0] != 0 ? "replaced" : "wrote", file->target,
           (unsigned long)file->data.size);
    return 1;
}

static int commitAll(Run* run) {
    size_t i;
    for (i = 0; i < run->fileCount; ++i)
        if (run->files[i].state == kWritten && !commit(run, &run->files[i])) return 0;
    return 1;
}

typedef HRESULT(STDAPICALLTYPE* RegisterServerFunction)(void);

/* A COM server registers itself: load the installed DLL and call its
 * DllRegisterServer, which writes its classes and ProgID. */
static int registerPlugin(Run* run) {
    const char* progId = run->contract->progId;
    const char* path;
    char reason[512];
    HMODULE module;
    FARPROC found;
    HRESULT result;

    if (run->plugin == NULL || run->plugin->state != kCommitted)
        return fail(run, "There is no plugin file to register as %s.", progId);
    path = run->plugin->target;
    /* The altered search path finds DLLs the plugin needs beside it. */
    module = LoadLibraryExA(path, NULL, LOAD_WITH_ALTERED_SEARCH_PATH);
    if (module == NULL)
        return fail(run, "Could not load %s to register it as %s: %s.", path, progId,
                    lastErrorText(reason, sizeof reason));
    found = GetProcAddress(module, "DllRegisterServer");
    if (found == NULL) {
        FreeLibrary(module);
        return fail(run, "Could not register %s as %s: it has no DllRegisterServer.", path,
                    progId);
    }
    result = ((RegisterServerFunction)(void (*)(void))found)();
    /* Released before anything else: a loaded DLL cannot be deleted. */
    FreeLibrary(module);
    if (FAILED(result))
        return fail(run, "Could not register %s as %s: DllRegisterServer failed (0x%08lX, %s).",
                    path, progId, (unsigned long)result,
                    systemText((DWORD)result, reason, sizeof reason));
    action(run, "registered: %s (%s)", path, progId);
    return 1;
}

/* Takes away what this run made and puts back what it replaced, newest
 * first; what cannot be undone is added to the failure message. */
static void rollBack(Run* run) {
    char reason[512];
    size_t i;
    for (i = run->fileCount; i-- > 0;) {
        PlannedFile* file = &run->files[i];
        if (file->state == kWritten) {
            DeleteFileA(file->temp);
        } else if (file->state == kCommitted && file->backup[0] != 0) {
            if (MoveFileExA(file->backup, file->target, MOVEFILE_REPLACE_EXISTING))
                action(run, "restored: %s", file->target);
            else
                textFormat(&run->failure, "\r\nCould not put back the earlier %s: %s.",
                           file->target, lastErrorText(reason, sizeof reason));
        } else if (file->state == kCommitted) {
            if (DeleteFileA(file->target))
                action(run, "removed: %s", file->target);
            else
                textFormat(&run->failure, "\r\nCould not remove %s: %s.", file->target,
                           lastErrorText(reason, sizeof reason));
        }
        file->state = kPlanned;
    }
    for (i = run->createdCount; i-- > 0;) {
        if (RemoveDirectoryA(run->createdFolders[i]))
            action(run, "removed folder: %s", run->createdFolders[i]);
        else
            textFormat(&run->failure, "\r\nCould not remove the folder %s: %s.",
                       run->createdFolders[i], lastErrorText(reason, sizeof reason));
    }
}

/* The replaced files' old copies go once the install has succeeded. One
 * that is still loaded (an old plugin in a running host) cannot be deleted
 * now; Windows removes it at the next start where the rights allow. */
static void dropBackups(Run* run) {
    size_t i;
    for (i = 0; i < run->fileCount; ++i) {
        const char* backup = run->files[i].backup;
        if (backup[0] != 0 && !DeleteFileA(backup))
            MoveFileExA(backup, NULL, MOVEFILE_DELAY_UNTIL_REBOOT);
    }
}

/* Opens the file named to run after the install, as a double click would.
 * The install stands whatever happens here; a failure is told in the last
 * message. */
static void openAfterInstall(Run* run, Text* news) {
    char reason[512];
    HINSTANCE result = ShellExecuteA(NULL, "open", run->runAfter, NULL, run->folder, SW_SHOWNORMAL);
    INT_PTR code = (INT_PTR)result;
    if (code > 32) {
        action(run, "opened: %s", run->runAfter);
        return;
    }
    if (code == SE_ERR_NOASSOC || code == SE_ERR_ASSOCINCOMPLETE)
        snprintf(reason, sizeof reason, "no program is set to open it");
    else
        systemText(code == 0 ? ERROR_NOT_ENOUGH_MEMORY : (DWORD)code, reason, sizeof reason);
    action(run, "could not open: %s: %s", run->runAfter, reason);
    textFormat(news, "\r\nCould not open %s: %s.", run->runAfter, reason);
}

static void freeRun(Run* run) {
    size_t i;
    for (i = 0; i < run->fileCount; ++i) free(run->files[i].label);
    free(run->files);
    for (i = 0; i < run->createdCount; ++i) free(run->createdFolders[i]);
    free(run->createdFolders);
    textFree(&run->missing);
    textFree(&run->failure);
}

/* "C:\x\" and "C:\x" are one folder; a root keeps its '\'. The last byte
 * may be the second half of a two-byte character rather than a '\'. */
static void dropTrailingSeparator(char* folder) {
    size_t length = strlen(folder);
    if (length > rootLength(folder) && folder[length - 1] == '\\' &&
        CharPrevA(folder, folder + length) == folder + length - 1)
        folder[length - 1] = 0;
}

/* The destination, asked starting in /D= or the current folder (the silent
 * mode takes that start as it is). Returns 0 when cancelled. */
static int chooseDestination(Run* run, const InstallerOptions* options) {
    char start[MAX_PATH];
    char chosen[MAX_PATH];
    char* filePart;
    Text prompt = {0};
    int ok;
    if (options->hasFolder)
        lstrcpynA(start, options->folder, MAX_PATH);
    else if (!GetCurrentDirectoryA(MAX_PATH, start))
        start[0] = 0;
    textFormat(&prompt, "Choose the folder to install \"%s\" into:", run->contract->name);
    ok = run->ui->chooseFolder(run->ui, run->contract->title, textChars(&prompt), start, chosen);
    textFree(&prompt);
    if (!ok) return 0;
    if (!GetFullPathNameA(chosen, MAX_PATH, run->folder, &filePart))
        lstrcpynA(run->folder, chosen, MAX_PATH);
    dropTrailingSeparator(run->folder);
    action(run, "folder: %s", run->folder);
    return 1;
}

InstallOutcome runInstall(InstallerUi* ui, const Contract* contract,
                          const InstallerOptions* options) {
    Run run;
    Text text = {0};
    InstallOutcome outcome;
    int ok, answer;

    memset(&run, 0, sizeof run);
    run.ui = ui;
    run.contract = contract;

    textFormat(&text, "Do you want to install the plugin \"%s\"?", contract->name);
    answer = ui->message(ui, kAskYesNo, contract->title, textChars(&text));
    textFree(&text);
    if (!answer) return kCancelled;
    if (contract->warning[0] != 0 && !ui->message(ui, kAskOkCancel, contract->title, contract->warning))
        return kCancelled;
    if (!chooseDestination(&run, options)) return kCancelled;

    ok = plan(&run) && writeAll(&run) && commitAll(&run) &&
         (contract->progId[0] == 0 || registerPlugin(&run));
    if (ok) {
        dropBackups(&run);
        textFormat(&text, "The plugin \"%s\" was installed in %s.", contract->name, run.folder);
        if (run.missing.length > 0)
            textFormat(&text, "\r\nNot in this installer, so not installed: %s.",
                       textChars(&run.missing));
        if (run.runAfter[0] != 0) openAfterInstall(&run, &text);
        ui->message(ui, kTellInfo, contract->title, textChars(&text));
        outcome = kInstalled;
    } else {
        rollBack(&run);
        textFormat(&text, "%s\r\nThe plugin was not installed.", textChars(&run.failure));
        ui->message(ui, kTellError, contract->title, textChars(&text));
        outcome = kFailed;
    }
    textFree(&text);
    freeRun(&run);
    return outcome;
}
