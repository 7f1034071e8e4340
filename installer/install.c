#include "install.h"

#include <stdlib.h>
#include <string.h>
#include <wchar.h>
#include <windows.h>
#include <shellapi.h>

#include "destination.h"
#include "files.h"
#include "in_use.h"
#include "register.h"
#include "report.h"
#include "text.h"
#include "transaction.h"
#include "uninstall.h"

typedef struct Run {
    Report report; /* its ui asks the questions too */
    const Contract* contract;
    WCHAR* folder;
    Transaction transaction;
    PlannedFile* plugin; /* the first of the transaction's files */
    Registrar registrar; /* who registers the plugin, with a ProgID */
    int registered;      /* and it did: a failure after it unregisters */
    PlannedFile* uninstaller; /* uninstall.exe, the next to last of the files */
    PlannedFile* record;      /* uninstall.ini, the last */
    UninstallRecord entry;    /* what the record says, for the uninstall entry */
    WCHAR* runAfter;
    int silent; /* /S: nothing is opened */
    /* The previous release in this folder, unregistered before the new
     * one's files went in: registered again if the install fails. */
    WCHAR* previousServer;
    Registrar previousRegistrar;
    Text missing; /* names the installer lacks the file of, ", "-separated */
} Run;

static int addFile(Run* run, const WCHAR* label, NameRule rule, const WCHAR* what, Blob data) {
    WCHAR* target = placeIn(&run->report, run->folder, label, rule, what);
    if (target == NULL) return 0;
    planFile(&run->transaction, label, target, data);
    return 1;
}

/* No two files of the install may land on one file, nor any on this
 * program itself (whatever the name it is reached by): the later would
 * silently overwrite the earlier. */
static int checkDestinations(Run* run) {
    const PlannedFile* files = run->transaction.files;
    size_t count = run->transaction.fileCount;
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
        return reportOutOfMemory(&run->report);
    }
    for (i = 0; i < count; ++i) targets[i] = files[i].target;
    if (findSameNames(targets, count, sameNameIgnoringCase, &first, &second))
        ok = reportFailure(&run->report, L"The file names \"%ls\" and \"%ls\" both land on %ls.",
                           files[first].label, files[second].label, files[first].target);
    for (i = 0; ok && knowSelf && i < count; ++i) {
        if (pathIdentity(targets[i], &identity) && identity.volume == selfIdentity.volume &&
            identity.indexHigh == selfIdentity.indexHigh &&
            identity.indexLow == selfIdentity.indexLow)
            ok = reportFailure(&run->report,
                               L"The file name \"%ls\" would replace this installer itself (%ls).",
                               files[i].label, self);
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
    PlannedFile* files;
    size_t k;

    if (!beginTransaction(&run->transaction, &run->report, contract->extraCount + 3)) return 0;
    files = run->transaction.files;
    if (!addFile(run, contract->pluginName, kLastComponent, L"The plugin's file name",
                 contract->plugin))
        return 0;
    run->plugin = &files[0];
    for (k = 1; k <= contract->extraCount; ++k) {
        const WCHAR* name = contract->extraNames[k - 1];
        if (name[0] == 0)
            return reportFailure(&run->report,
                                 L"Line %lu of the installer's extra-file list is empty; the "
                                 L"installer is damaged.",
                                 (unsigned long)k);
        if (!addFile(run, name, kKeepFolders, L"The file name", readExtraFile(k))) return 0;
    }
    /* Planned with the rest, so that no extra file may land on them. */
    if (!addFile(run, kUninstallerName, kLastComponent, L"", noData) ||
        !addFile(run, kRecordName, kLastComponent, L"", noData))
        return 0;
    run->uninstaller = &files[run->transaction.fileCount - 2];
    run->record = &files[run->transaction.fileCount - 1];
    run->uninstaller->generated = run->record->generated = 1;
    if (!checkDestinations(run)) return 0;

    if (contract->runAfterInstall[0] != 0) {
        run->runAfter = placeIn(&run->report, run->folder, contract->runAfterInstall,
                                kKeepFolders, L"The file to open after installing,");
        if (run->runAfter == NULL) return 0;
    }
    return 1;
}

static int writeAll(Run* run) {
    Transaction* transaction = &run->transaction;
    size_t i;
    if (!makeFolders(transaction, run->folder)) return 0;
    for (i = 0; i < transaction->fileCount; ++i) {
        PlannedFile* file = &transaction->files[i];
        if (file->generated) continue;
        if (file->data.data == NULL) {
            /* The updater could not read it: say so, install the rest. */
            tellAction(run->report.ui, L"missing: %ls: not in this installer, not installed",
                       file->label);
            textAppend(&run->missing, run->missing.length > 0 ? L", " : L"");
            textAppend(&run->missing, file->label);
        } else if (!writePlanned(transaction, file)) {
            return 0;
        }
    }
    return 1;
}

/* A COM server registers itself, in a process of its own. A failure there
 * may have left half its registry keys: its DllUnregisterServer, where it
 * has one, takes them away before the files go. */
static int registerPlugin(Run* run) {
    const WCHAR* progId = run->contract->progId;
    const WCHAR* path = run->plugin->target;
    Registrar* registrar = &run->registrar;
    Registration registration = runRegistration(registrar, path, 0);
    Text why = {0};

    if (registrationSucceeded(registrar, registration, path, &why)) {
        /* The helper is named: it is another program than this one. */
        if (registrar->helperMachine != 0)
            tellAction(run->report.ui, L"registered: %ls (%ls) through the %ls registration helper",
                       path, progId, machineName(registrar->helperMachine));
        else
            tellAction(run->report.ui, L"registered: %ls (%ls)", path, progId);
        run->registered = 1;
        return 1;
    }
    reportFailure(&run->report, L"Could not register %ls as %ls: %ls.", path, progId,
                  textChars(&why));
    /* Unregistered wherever the DLL's code ran: it may have written half. */
    if (registration.outcome == kServerReturned || registration.outcome == kServerEnded ||
        registration.outcome == kServerEndedLoading || registration.outcome == kServerTimedOut) {
        Registration undo = runRegistration(registrar, path, 1);
        textFree(&why);
        if (registrationSucceeded(registrar, undo, path, &why))
            tellAction(run->report.ui, L"unregistered: %ls", path);
        else if (undo.outcome != kServerNoEntry)
            textFormat(&run->report.failure, L"\r\nCould not unregister it either: %ls.",
                       textChars(&why));
    }
    textFree(&why);
    return 0;
}

static int makeUninstaller(const WCHAR* path, void* run) {
    return writeUninstaller(path, ((Run*)run)->contract);
}

/* The uninstaller: a copy of this program without the payload. */
static int writeUninstallerCopy(Run* run) {
    return writeWith(&run->transaction, run->uninstaller, makeUninstaller, run) &&
           commitFile(&run->transaction, run->uninstaller);
}

/* The record names the files this run wrote new and the folders it made,
 * merged with the record of an earlier install in the same folder: a file
 * that was there before the first install is replaced, never named, and so
 * never deleted by the uninstaller. */
static int writeRecord(Run* run) {
    const Transaction* transaction = &run->transaction;
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
    entry->registrar = recordedRegistrar(&run->registrar);
    ok = ok && entry->key != NULL && (!run->registered || entry->server != NULL) &&
         (run->registrar.helperMachine == 0 || entry->registrar != NULL);
    for (i = 0; ok && i < transaction->fileCount; ++i) {
        const PlannedFile* file = &transaction->files[i];
        if (!file->generated && file->state == kCommitted && file->backup == NULL)
            ok = pathListAdd(&entry->files, file->target);
    }
    for (i = 0; ok && i < transaction->createdCount; ++i)
        ok = pathListAdd(&entry->folders, transaction->createdFolders[i]);
    if (!ok || (text = recordText(entry, &length)) == NULL) return reportOutOfMemory(&run->report);
    run->record->data.data = (const char*)text;
    run->record->data.size = (DWORD)(length * sizeof *text);
    ok = writePlanned(&run->transaction, run->record) &&
         commitFile(&run->transaction, run->record);
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
    for (i = 0; i < run->transaction.fileCount; ++i) bytes += run->transaction.files[i].data.size;
    if (full != NULL && GetFileAttributesExW(full, GetFileExInfoStandard, &data))
        bytes += data.nFileSizeLow;
    free(full);
    if (writeUninstallEntry(&run->entry, run->contract->name, run->folder,
                            run->uninstaller->target, (DWORD)((bytes + 1023) / 1024), &why)) {
        /* On 64-bit Windows the 32-bit view is a key of its own. */
        int wow = windowsIs64Bit() && (run->entry.view == KEY_WOW64_32KEY ||
                                       (run->entry.view == 0 && sizeof(void*) == 4));
        tellAction(run->report.ui,
                   L"uninstall entry: HKEY_LOCAL_MACHINE\\Software\\%lsMicrosoft\\Windows\\"
                   L"CurrentVersion\\Uninstall\\%ls",
                   wow ? L"Wow6432Node\\" : L"", run->entry.key);
    } else {
        tellAction(run->report.ui, L"no uninstall entry: %ls", textChars(&why));
        textFormat(news, L"\r\nThe uninstall entry is missing: could not write %ls.",
                   textChars(&why));
    }
    textFree(&why);
}

/* A release of this plugin registered in this folder before, as its record
 * says, is unregistered the way it was registered, while its file is still
 * in place: what the new release registers is then all there is. Where
 * that fails, the new registration writes over it. */
static int unregisterPrevious(Run* run) {
    UninstallRecord previous;
    WCHAR* key = uninstallKey(run->contract);
    Text why = {0};
    int wanted = run->contract->progId[0] != 0;
    int read = wanted && readRecord(run->record->target, &previous);
    if (read && key != NULL && previous.key != NULL && previous.server != NULL &&
        wcscmp(previous.key, key) == 0 &&
        pathAttributes(previous.server) != INVALID_FILE_ATTRIBUTES) {
        Registrar registrar = registrarOfRecord(previous.registrar);
        Registration undo = runRegistration(&registrar, previous.server, 1);
        if (registrationSucceeded(&registrar, undo, previous.server, &why)) {
            tellAction(run->report.ui, L"unregistered the previous release: %ls", previous.server);
            run->previousServer = previous.server;
            previous.server = NULL;
            run->previousRegistrar = registrar;
        } else {
            tellAction(run->report.ui, L"could not unregister the previous release: %ls: %ls",
                       previous.server, textChars(&why));
            freeRegistrar(&registrar);
        }
    }
    if (wanted) freeRecord(&previous); /* a record read in part too */
    textFree(&why);
    free(key);
    return 1;
}

/* The files this install replaces that running programs hold: their
 * programs are named, and windowed, the user may close them first. */
static int closeHolders(Run* run) {
    const Transaction* transaction = &run->transaction;
    const WCHAR** present = malloc(sizeof *present * (transaction->fileCount + 1));
    size_t i, count = 0;
    if (present == NULL) return reportOutOfMemory(&run->report);
    for (i = 0; i < transaction->fileCount; ++i)
        if (pathAttributes(transaction->files[i].target) != INVALID_FILE_ATTRIBUTES)
            present[count++] = transaction->files[i].target;
    askToCloseHolders(run->report.ui, run->contract->title, present, count,
                      L"install replaces");
    free(present);
    return 1;
}

/* The steps of an install, in order; the first to fail stops the rest. */
static int install(Run* run) {
    return plan(run) && writeAll(run) && closeHolders(run) && unregisterPrevious(run) &&
           commitWritten(&run->transaction) &&
           (run->contract->progId[0] == 0 || registerPlugin(run)) &&
           writeUninstallerCopy(run) && writeRecord(run);
}

/* Takes away what the install made and puts back what it replaced, the
 * registration first; what cannot be undone is added to the failure. */
static void rollBack(Run* run) {
    if (run->registered) {
        const WCHAR* path = run->plugin->target;
        Registration undo = runRegistration(&run->registrar, path, 1);
        Text why = {0};
        if (registrationSucceeded(&run->registrar, undo, path, &why))
            tellAction(run->report.ui, L"unregistered: %ls", path);
        else
            textFormat(&run->report.failure, L"\r\nCould not unregister %ls: %ls.", path,
                       textChars(&why));
        textFree(&why);
    }
    rollBackTransaction(&run->transaction);
    /* Its files are back: so is the previous release's registration. */
    if (run->previousServer != NULL) {
        const WCHAR* path = run->previousServer;
        Registration again = runRegistration(&run->previousRegistrar, path, 0);
        Text why = {0};
        if (registrationSucceeded(&run->previousRegistrar, again, path, &why))
            tellAction(run->report.ui, L"registered again: %ls (%ls)", path,
                       run->contract->progId);
        else
            textFormat(&run->report.failure,
                       L"\r\nCould not register the previous release %ls again: %ls.", path,
                       textChars(&why));
        textFree(&why);
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
    /* A silent run opens no window, the file's program's neither. */
    if (run->silent) {
        tellAction(run->report.ui, L"not opened (silent): %ls", run->runAfter);
        return;
    }
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
        tellAction(run->report.ui, L"opened: %ls", run->runAfter);
        return;
    }
    describeOpenFailure(GetLastError(), (INT_PTR)info.hInstApp, run->runAfter, &why);
    tellAction(run->report.ui, L"could not open: %ls: %ls", run->runAfter, textChars(&why));
    textFormat(news, L"\r\nCould not open %ls: %ls.", run->runAfter, textChars(&why));
    textFree(&why);
}

/* After the install: the old copies go, the entry is written, the file
 * named is opened, and the last message says how it all went. */
static InstallOutcome finishInstall(Run* run) {
    const Contract* contract = run->contract;
    Text text = {0}, inUse = {0};
    size_t held = endTransaction(&run->transaction, &inUse);
    textFormat(&text, L"The plugin \"%ls\" was installed in %ls.", contract->name, run->folder);
    writeEntry(run, &text);
    if (run->missing.length > 0)
        textFormat(&text, L"\r\nNot in this installer, so not installed: %ls.",
                   textChars(&run->missing));
    if (run->runAfter != NULL) openAfterInstall(run, &text);
    /* A host that holds the old plugin goes on using it until it restarts. */
    if (held > 0)
        textFormat(&text,
                   L"\r\nA running program still uses the previous %ls, and goes on using it "
                   L"until it restarts; the old copy is deleted when Windows restarts. Restart "
                   L"Windows to finish.",
                   textChars(&inUse));
    run->report.ui->message(run->report.ui, kTellInfo, contract->title, textChars(&text));
    textFree(&text);
    textFree(&inUse);
    return held > 0 ? kRestartNeeded : kInstalled;
}

static void freeRun(Run* run) {
    freeTransaction(&run->transaction);
    free(run->folder);
    free(run->runAfter);
    freeRegistrar(&run->registrar);
    freeRegistrar(&run->previousRegistrar);
    free(run->previousServer);
    freeRecord(&run->entry);
    textFree(&run->missing);
    textFree(&run->report.failure);
}

static void tellFailure(Run* run) {
    Text text = {0};
    textFormat(&text, L"%ls\r\nThe plugin was not installed.", textChars(&run->report.failure));
    run->report.ui->message(run->report.ui, kTellError, run->contract->title, textChars(&text));
    textFree(&text);
}

/* Says why this installer cannot install, where it cannot: 0 then. */
static int checkInstallable(Run* run) {
    InstallerUi* ui = run->report.ui;
    const Contract* contract = run->contract;
    Text refusal = {0};
    if (!contract->updated) {
        ui->message(ui, kTellError, contract->title,
                    L"This installer holds no plugin yet: the updater has not written one "
                    L"into it.");
        return 0;
    }
    /* The updater writes an installer without a plugin name, or without the
     * plugin's bytes when it could not read the file (and warns): there is
     * nothing to install, and extra files alone would be no plugin. */
    if (contract->pluginName[0] == 0 || contract->plugin.data == NULL) {
        ui->message(ui, kTellError, contract->title, L"This installer holds no plugin file.");
        return 0;
    }
    /* A plugin to register must be one that this Windows can load, through
     * this program or the system's registration program. */
    if (contract->progId[0] != 0 &&
        !chooseRegistrar(peMachine(contract->plugin), &run->registrar, &refusal)) {
        ui->message(ui, kTellError, contract->title, textChars(&refusal));
        textFree(&refusal);
        return 0;
    }
    return 1;
}

/* Whether to install: Yes to the question, and OK to the Warning where the
 * updater wrote one. */
static int confirmed(const Run* run) {
    InstallerUi* ui = run->report.ui;
    const Contract* contract = run->contract;
    Text question = {0};
    int answer;
    textFormat(&question, L"Do you want to install the plugin \"%ls\"?", contract->name);
    answer = ui->message(ui, kAskYesNo, contract->title, textChars(&question));
    textFree(&question);
    return answer && (contract->warning[0] == 0 ||
                      ui->message(ui, kAskOkCancel, contract->title, contract->warning));
}

InstallOutcome runInstall(InstallerUi* ui, const Contract* contract,
                          const InstallerOptions* options) {
    Run run;
    InstallOutcome outcome = kInstalled;
    int failed;

    memset(&run, 0, sizeof run);
    run.report.ui = ui;
    run.contract = contract;
    run.silent = options->silent;
    if (!checkInstallable(&run)) return kFailed;
    if (!confirmed(&run)) {
        freeRun(&run);
        return kCancelled;
    }
    run.folder = chooseDestination(&run.report, contract, options, &failed);
    if (run.folder == NULL) {
        outcome = failed ? kFailed : kCancelled;
        if (failed) tellFailure(&run);
    } else if (install(&run)) {
        outcome = finishInstall(&run);
    } else {
        rollBack(&run);
        tellFailure(&run);
        outcome = kFailed;
    }
    freeRun(&run);
    return outcome;
}
