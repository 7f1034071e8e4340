/* The uninstaller's run, from its question to its last message. */
#include "uninstall.h"

#include <stdlib.h>
#include <string.h>
#include <wchar.h>

#include "files.h"
#include "in_use.h"
#include "register.h"
#include "report.h"

const WCHAR kUninstallerName[] = L"uninstall.exe";

int isUninstaller(void) {
    return FindResourceExW(NULL, MAKEINTRESOURCEW(10), TAMSEL_WIDE(TAMSEL_UNINSTALLER_MARK),
                           MAKELANGID(LANG_NEUTRAL, SUBLANG_NEUTRAL)) != NULL;
}

static int isWithin(const WCHAR* path, const WCHAR* folder) {
    size_t length = wcslen(folder);
    return wcslen(path) >= length && sameNameIgnoringCase(path, folder, length) &&
           (path[length] == 0 || path[length] == '\\' ||
            (length > 0 && folder[length - 1] == '\\'));
}

static int longerFirst(const void* a, const void* b) {
    size_t left = wcslen(*(WCHAR* const*)a), right = wcslen(*(WCHAR* const*)b);
    return left < right ? 1 : left > right ? -1 : 0;
}

/* Says what could not be removed: path, and why. */
static void notRemoved(Text* problems, const WCHAR* path, DWORD error) {
    textFormat(problems, L"\r\n%ls: ", path);
    if (error == ERROR_DIR_NOT_EMPTY)
        textAppend(problems, L"it holds files the install did not make");
    else
        textAppendSystemError(problems, error, path);
}

/* The uninstaller's run: what it found, and what it could not remove. */
typedef struct Removal {
    InstallerUi* ui;
    const Contract* contract;
    UninstallRecord record;
    WCHAR* self;       /* this program, uninstall.exe */
    WCHAR* folder;     /* the folder it is in: the install's */
    WCHAR* recordPath; /* uninstall.ini beside it */
    WCHAR* copy;       /* this program's temporary copy, or NULL */
    DWORD copyError;   /* why there is none */
    PathList later;    /* the folders that go once this program has ended */
    Text problems;     /* what could not be removed, a line each */
    EntryOwner owner;  /* whose the uninstall entry is */
    PathList atRestart; /* in use: Windows deletes them when it restarts */
    size_t left;       /* files neither deleted nor left for a restart */
    WCHAR* elsewhere;  /* the folder of the install that owns it, when another does */
} Removal;

/* Reads the record beside this program; says why not when it cannot. */
static int findRecord(Removal* removal) {
    InstallerUi* ui = removal->ui;
    Text text = {0};
    removal->self = pathOfThisProgram();
    /* A drive's root keeps its backslash (D:\), as the install named it. */
    removal->folder = removal->self != NULL ? parentOf(removal->self) : NULL;
    if (removal->folder != NULL) removal->recordPath = joinPath(removal->folder, kRecordName);
    if (removal->recordPath == NULL || !readRecord(removal->recordPath, &removal->record)) {
        ui->message(ui, kTellError, removal->contract->title, L"Out of memory.");
        return 0;
    }
    if (removal->record.key != NULL) return 1;
    textFormat(&text, L"The record of what was installed, %ls, is missing or damaged: "
                      L"nothing was removed.", removal->recordPath);
    ui->message(ui, kTellError, removal->contract->title, textChars(&text));
    textFree(&text);
    return 0;
}

static int confirmRemoval(const Removal* removal) {
    InstallerUi* ui = removal->ui;
    Text question = {0};
    int answer;
    textFormat(&question, L"Remove the plugin \"%ls\" from %ls?", removal->contract->name,
               removal->folder);
    answer = ui->message(ui, kAskYesNo, removal->contract->title, textChars(&question));
    textFree(&question);
    return answer;
}

/* The same way it was registered: this program's child (its temporary
 * copy) for its own architecture, the registration helper for the other. */
static void unregisterServer(Removal* removal) {
    const WCHAR* server = removal->record.server;
    Registrar registrar = registrarOfRecord(removal->record.registrar);
    Registration undo;
    Text why = {0};
    /* Without its file (a run before this one took it) there is nothing
     * to unregister with. */
    if (server == NULL ||
        (pathAttributes(server) == INVALID_FILE_ATTRIBUTES && isNotFound(GetLastError())))
        return;
    /* The registration names the install that registered last: the one the
     * entry names. An orphan's unregistering would break that install. */
    if (removal->owner == kOtherEntry) {
        tellAction(removal->ui, L"not unregistered: %ls: the uninstall entry names the install in %ls",
                   server, removal->elsewhere != NULL ? removal->elsewhere : L"another folder");
        return;
    }
    registrar.child = removal->copy;
    undo = runRegistration(&registrar, server, 1);
    if (registrationSucceeded(&registrar, undo, server, &why))
        tellAction(removal->ui, L"unregistered: %ls", server);
    else
        textFormat(&removal->problems, L"\r\nthe registration of %ls: %ls", server,
                   textChars(&why));
    textFree(&why);
    freeRegistrar(&registrar);
}

/* Deletes the files the record names, read-only ones too, then the record. */
/* A file in use (a plugin a running program holds) cannot be deleted now:
 * Windows deletes it when it restarts. */
static int removeAtRestart(Removal* removal, const WCHAR* path, DWORD error) {
    if ((error != ERROR_ACCESS_DENIED && error != ERROR_SHARING_VIOLATION) ||
        !pathMove(path, NULL, MOVEFILE_DELAY_UNTIL_REBOOT))
        return 0;
    tellAction(removal->ui, L"in use, removed at the next restart: %ls", path);
    if (!pathListAdd(&removal->atRestart, path)) textAppend(&removal->problems, L"\r\nOut of memory.");
    return 1;
}

static int holdsFileForRestart(const Removal* removal, const WCHAR* folder) {
    size_t i;
    for (i = 0; i < removal->atRestart.count; ++i)
        if (isWithin(removal->atRestart.paths[i], folder)) return 1;
    return 0;
}

/* Deletes the files the record names, read-only ones too. */
static void removeFiles(Removal* removal) {
    size_t i;
    for (i = 0; i < removal->record.files.count; ++i) {
        const WCHAR* file = removal->record.files.paths[i];
        DWORD attributes = pathAttributes(file), error;
        if (attributes == INVALID_FILE_ATTRIBUTES && isNotFound(GetLastError())) continue;
        if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY))
            pathSetAttributes(file, attributes & ~(DWORD)FILE_ATTRIBUTE_READONLY);
        if (pathDelete(file)) {
            tellAction(removal->ui, L"removed: %ls", file);
        } else if (!removeAtRestart(removal, file, error = GetLastError())) {
            notRemoved(&removal->problems, file, error);
            ++removal->left;
        }
    }
}

/* The record goes last of the files: while a file it names is left, it
 * stays, with this program and the entry, so the uninstall can run again. */
static void removeRecord(Removal* removal) {
    if (pathDelete(removal->recordPath) || GetLastError() == ERROR_FILE_NOT_FOUND)
        tellAction(removal->ui, L"removed: %ls", removal->recordPath);
    else
        notRemoved(&removal->problems, removal->recordPath, GetLastError());
}

/* The deepest first; this program's own folder and those above it go once
 * it has ended. */
static void removeFolders(Removal* removal) {
    PathList* folders = &removal->record.folders;
    DWORD error;
    size_t i;
    qsort(folders->paths, folders->count, sizeof *folders->paths, longerFirst);
    for (i = 0; i < folders->count; ++i) {
        const WCHAR* made = folders->paths[i];
        if (holdsFileForRestart(removal, made)) {
            /* After the files in it, at the same restart. */
            if (pathMove(made, NULL, MOVEFILE_DELAY_UNTIL_REBOOT))
                tellAction(removal->ui, L"removed at the next restart: %ls", made);
            else
                notRemoved(&removal->problems, made, GetLastError());
        } else if (isWithin(removal->self, made)) {
            if (!pathListAdd(&removal->later, made))
                textAppend(&removal->problems, L"\r\nOut of memory.");
        } else if (pathRemoveFolder(made)) {
            tellAction(removal->ui, L"removed folder: %ls", made);
        } else if (!isNotFound(error = GetLastError())) {
            notRemoved(&removal->problems, made, error);
        }
    }
}

/* This program and the folders left for later, through its temporary
 * copy, once it has ended. */
static void removeSelfLater(Removal* removal) {
    DWORD error = 0;
    size_t i;
    if (removal->copy != NULL &&
        startRemovalHelper(removal->copy, removal->self, &removal->later, &error)) {
        Text text = {0};
        textFormat(&text, L"removed once this program has ended: %ls", removal->self);
        for (i = 0; i < removal->later.count; ++i)
            textFormat(&text, L", %ls", removal->later.paths[i]);
        removal->ui->action(removal->ui, textChars(&text));
        textFree(&text);
    } else {
        if (removal->copy != NULL) DeleteFileW(removal->copy);
        notRemoved(&removal->problems, removal->self,
                   removal->copy != NULL ? error : removal->copyError);
    }
}

/* Everything the record names, in order: the registration, the files, the
 * entry, the folders, this program last. */
static void removeAll(Removal* removal) {
    const UninstallRecord* record = &removal->record;
    removal->copy = temporaryCopy(removal->self, &removal->copyError);
    removal->owner = entryOwner(record, removal->self, &removal->elsewhere);
    askToCloseHolders(removal->ui, removal->contract->title,
                      (const WCHAR* const*)record->files.paths, record->files.count,
                      L"uninstall removes");
    unregisterServer(removal);
    removeFiles(removal);
    if (removal->left > 0) {
        /* Never an installed file without a way to remove it. */
        if (removal->copy != NULL) DeleteFileW(removal->copy);
        textAppend(&removal->problems,
                   L"\r\nThe uninstall entry, uninstall.exe and its record stay: close the "
                   L"programs that use these files and run the uninstall again.");
        return;
    }
    removeRecord(removal);
    if (removal->owner == kOurEntry) removeUninstallEntry(record, removal->ui, &removal->problems);
    removeFolders(removal);
    removeSelfLater(removal);
}

/* The last message: removed, or what could not be. */
static InstallOutcome tellRemoved(const Removal* removal) {
    const Contract* contract = removal->contract;
    InstallerUi* ui = removal->ui;
    Text text = {0};
    InstallOutcome outcome = kInstalled;
    if (removal->problems.length == 0) {
        textFormat(&text, L"The plugin \"%ls\" was removed from %ls.", contract->name,
                   removal->folder);
        if (removal->owner == kOtherEntry && removal->record.server != NULL)
            textFormat(&text,
                       L"\r\nIts registration belongs to the install in %ls, which the "
                       L"uninstall entry names, and stays.",
                       removal->elsewhere != NULL ? removal->elsewhere : L"another folder");
        if (removal->atRestart.count > 0) {
            size_t i;
            textAppend(&text, L"\r\nIn use by a running program, so removed when Windows "
                              L"restarts:");
            for (i = 0; i < removal->atRestart.count; ++i)
                textFormat(&text, L" %ls%ls", removal->atRestart.paths[i],
                           i + 1 < removal->atRestart.count ? L"," : L".");
            textAppend(&text, L" Restart Windows to finish.");
            outcome = kRestartNeeded;
        }
        ui->message(ui, kTellInfo, contract->title, textChars(&text));
    } else {
        textFormat(&text, L"The plugin \"%ls\" was removed from %ls, except for:%ls",
                   contract->name, removal->folder, textChars(&removal->problems));
        ui->message(ui, kTellError, contract->title, textChars(&text));
        outcome = kFailed;
    }
    textFree(&text);
    return outcome;
}

InstallOutcome runUninstall(InstallerUi* ui, const Contract* contract) {
    Removal removal;
    InstallOutcome outcome = kFailed;
    memset(&removal, 0, sizeof removal);
    removal.ui = ui;
    removal.contract = contract;
    if (findRecord(&removal)) {
        if (confirmRemoval(&removal)) {
            removeAll(&removal);
            outcome = tellRemoved(&removal);
        } else {
            outcome = kCancelled;
        }
    }
    textFree(&removal.problems);
    pathListFree(&removal.later);
    pathListFree(&removal.atRestart);
    freeRecord(&removal.record);
    free(removal.self);
    free(removal.copy);
    free(removal.folder);
    free(removal.recordPath);
    free(removal.elsewhere);
    return outcome;
}
