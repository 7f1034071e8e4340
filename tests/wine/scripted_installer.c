/* The installer's run with a scripted seam in place of its windows, for the
 * answers the silent mode never gives:
 *
 *   scripted_installer.exe ANSWERS FOLDER
 *
 * ANSWERS has one letter per question, in the order asked: y for Yes or OK,
 * n for No or Cancel; the folder picker takes a letter too (y chooses
 * FOLDER, n cancels). Every question, with its answer, and every action is
 * printed as a line in UTF-8; the exit code is the installer's. It reads
 * the resources the updater wrote into it, as installer.exe does. Its copy
 * left as uninstall.exe runs the uninstaller under the same script (FOLDER
 * unused).
 *
 * Failures the disk will not give on demand, for the rollback:
 * TAMSEL_INSTALLER_FAIL=OPERATION:NAME fails every call of that file
 * operation (files.h) on a path whose last part is NAME with "access
 * denied" (entry:KEY: writing the uninstall entry KEY);
 * TAMSEL_INSTALLER_RACE=NAME has another program make the folder NAME just
 * before the installer makes it; TAMSEL_INSTALLER_IN_USE=NAME:PROGRAM has
 * PROGRAM hold the file NAME until the first Retry. */
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <wchar.h>
#include <windows.h>
#include <shellapi.h>

#include "contract.h"
#include "files.h"
#include "in_use.h"
#include "install.h"
#include "register.h"
#include "text.h"
#include "uninstall.h"

static const wchar_t* answers = L"";
static wchar_t failure[64], raced[MAX_PATH];
static const wchar_t* failedName = L"";
static const wchar_t* chosenFolder = L"";

/* The next answer; a script that runs out answers No. */
static int nextAnswer(void) {
    int yes = *answers == 'y';
    if (*answers != 0) ++answers;
    return yes;
}

static void printLine(const Text* line) {
    int size = WideCharToMultiByte(CP_UTF8, 0, textChars(line), -1, NULL, 0, NULL, NULL);
    char* utf8 = size > 0 ? malloc((size_t)size) : NULL;
    if (utf8 != NULL && WideCharToMultiByte(CP_UTF8, 0, textChars(line), -1, utf8, size, NULL, NULL))
        printf("%s\n", utf8);
    free(utf8);
    fflush(stdout);
}

static int scriptedMessage(InstallerUi* ui, MessageKind kind, const wchar_t* title,
                           const wchar_t* text) {
    int answer = kind == kAskYesNo || kind == kAskOkCancel || kind == kAskRetryContinue
                     ? nextAnswer()
                     : 1;
    Text line = {0};
    (void)ui;
    messageLine(&line, kind, title, text, answer);
    printLine(&line);
    textFree(&line);
    return answer;
}

static int scriptedChooseFolder(InstallerUi* ui, const wchar_t* title, const wchar_t* prompt,
                                const wchar_t* start, wchar_t** folder) {
    int answer = nextAnswer();
    Text line = {0};
    (void)ui;
    textFormat(&line, L"folder picker: %ls: %ls (starts in %ls) -> %ls", title, prompt, start,
               answer ? chosenFolder : L"Cancel");
    printLine(&line);
    textFree(&line);
    if (answer) *folder = textCopy(chosenFolder);
    return answer;
}

static void scriptedAction(InstallerUi* ui, const wchar_t* text) {
    Text line = {0};
    (void)ui;
    textAppend(&line, text);
    printLine(&line);
    textFree(&line);
}

static int lastPartIs(const wchar_t* path, const wchar_t* name) {
    const wchar_t* last = wcsrchr(path, '\\');
    return name[0] != 0 && wcscmp(last != NULL ? last + 1 : path, name) == 0;
}

static int scriptedFault(const wchar_t* operation, const wchar_t* path) {
    if (wcscmp(operation, L"createFolder") == 0 && lastPartIs(path, raced))
        CreateDirectoryW(path, NULL);
    if (wcscmp(operation, failure) != 0 || !lastPartIs(path, failedName)) return 0;
    SetLastError(ERROR_ACCESS_DENIED);
    return 1;
}

/* TAMSEL_INSTALLER_IN_USE=NAME:PROGRAM: the Restart Manager's answer, as
 * the tests want it: PROGRAM holds the file NAME, until the first Retry. */
static wchar_t inUse[64];
static const wchar_t* holder = L"";

static size_t scriptedInUse(const wchar_t* const* paths, size_t count, Text* names) {
    size_t i;
    for (i = 0; i < count; ++i)
        if (holder[0] != 0 && lastPartIs(paths[i], inUse)) {
            textAppend(names, holder);
            holder = L""; /* closed when the user retries */
            return 1;
        }
    return 0;
}

static void readFaults(void) {
    wchar_t* colon;
    if (GetEnvironmentVariableW(L"TAMSEL_INSTALLER_IN_USE", inUse, 64) >= 64) inUse[0] = 0;
    if ((colon = wcschr(inUse, ':')) != NULL) {
        *colon = 0;
        holder = colon + 1;
    }
    inUseProbe = scriptedInUse;
    if (GetEnvironmentVariableW(L"TAMSEL_INSTALLER_FAIL", failure, 64) >= 64) failure[0] = 0;
    if ((colon = wcschr(failure, ':')) != NULL) {
        *colon = 0;
        failedName = colon + 1;
    }
    if (GetEnvironmentVariableW(L"TAMSEL_INSTALLER_RACE", raced, MAX_PATH) >= MAX_PATH)
        raced[0] = 0;
    pathFault = scriptedFault;
}

int main(void) {
    InstallerUi ui = {scriptedMessage, scriptedChooseFolder, scriptedAction};
    InstallerOptions options;
    Contract contract;
    int outcome, count;
    wchar_t** argv;
    const wchar_t* line = GetCommandLineW();
    restrictDllSearch();
    /* Registration runs in a copy of this program, as in installer.exe. */
    if (runRegistrationChild(skipProgramName(line), &outcome)) return outcome;
    if (runRemovalHelper(skipProgramName(line), &outcome)) return outcome;
    argv = CommandLineToArgvW(line, &count);
    if (argv == NULL || count != 3) {
        fprintf(stderr, "usage: scripted_installer ANSWERS FOLDER\n");
        return 3;
    }
    readFaults();
    answers = argv[1];
    chosenFolder = argv[2];
    memset(&options, 0, sizeof options);
    if (!readContract(&contract)) return 3;
    outcome =
        isUninstaller() ? runUninstall(&ui, &contract) : runInstall(&ui, &contract, &options);
    freeContract(&contract);
    return outcome;
}
