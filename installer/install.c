#include "install.h"

#include <stdlib.h>
#include <string.h>
#include <wchar.h>
#include <windows.h>

#include "destination.h"
#include "files.h"
#include "in_use.h"
#include "open_after.h"
#include "previous.h"
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
    PlannedFile* uninstaller; /* uninstall.exe, next to last of the files, or NULL */
    PlannedFile* record;      /* uninstall.ini, the last */
    UninstallRecord entry;    /* what the record says, for the uninstall entry */
    WCHAR* runAfter;
    int silent; /* /S: nothing is opened */
    PreviousRelease previous; /* unregistered before the new files went in */
    Text missing; /* names the installer lacks the file of, ", "-separated */
} Run;

static int addFile(Run* run, const WCHAR* label, NameRule rule, const WCHAR* what, Blob data) {
    WCHAR* target = placeIn(&run->report, run->folder, label, rule, what);
    if (target == NULL) return 0;
    planFile(&run->transaction, label, target, data);
    return 1;
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
    /* Planned with the rest, so that no extra file may land on them. An
     * installer an older updater wrote carries no uninstaller. */
    if (contract->uninstaller.data != NULL) {
        if (!addFile(run, kUninstallerName, kLastComponent, L"", contract->uninstaller)) return 0;
        run->uninstaller = &files[run->transaction.fileCount - 1];
        run->uninstaller->generated = 1;
    }
    if (!addFile(run, kRecordName, kLastComponent, L"", noData)) return 0;
    run->record = &files[run->transaction.fileCount - 1];
    run->record->generated = 1;
    if (!checkTargets(&run->transaction, &run->report)) return 0;

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

/* The uninstaller, written out as the updater made it: its bytes are
 * those it signed, which any rewrite here would break. */
static int writeUninstallerFile(Run* run) {
    return run->uninstaller == NULL || (writePlanned(&run->transaction, run->uninstaller) &&
                                        commitFile(&run->transaction, run->uninstaller));
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
    unsigned long long bytes = 0;
    Text why = {0};
    size_t i;
    /* Without an uninstaller the entry would run nothing. */
    if (run->uninstaller == NULL) {
        tellAction(run->report.ui, L"no uninstaller: this installer carries none");
        textAppend(news, L"\r\nIt left no uninstaller: this installer carries none, so the "
                         L"plugin's files are removed by hand.");
        return;
    }
    for (i = 0; i < run->transaction.fileCount; ++i) bytes += run->transaction.files[i].data.size;
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

static int unregisterPrevious(Run* run) {
    unregisterPreviousRelease(&run->previous, run->contract, run->record->target,
                              run->report.ui);
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
           writeUninstallerFile(run) && writeRecord(run);
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
    registerPreviousAgain(&run->previous, run->contract, run->report.ui, &run->report.failure);
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
    if (run->runAfter != NULL)
        openAfterInstall(run->report.ui, run->runAfter, run->folder, run->silent, &text);
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
    freePreviousRelease(&run->previous);
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
