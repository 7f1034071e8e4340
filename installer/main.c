/* installer.exe: installs the plugin that the updater wrote into this
 * program's resources.
 *
 *   installer.exe               asks, then installs into a chosen folder
 *   installer.exe /S /D=folder  silent: no windows, every answer Yes, one
 *                               line on standard output per message and
 *                               action
 *   /LOG=file                   those lines into file too, in either mode
 *   /?                          the usage
 *   uninstall.exe [/S]          the copy the install leaves: removes it
 *
 * Exit code 0 when installed, 1 when it failed, 2 when the user cancelled,
 * 3010 when installed and a file in use goes when Windows restarts. */
#include <windows.h>
#include <ole2.h>
#include <stdlib.h>
#include <string.h>

#include "contract.h"
#include "files.h"
#include "install.h"
#include "names.h"
#include "register.h"
#include "text.h"
#include "ui.h"
#include "uninstall.h"

/* The usage, for /?: in a box, or with /S as lines on standard output. */
static void showUsage(InstallerUi* ui, const WCHAR* title, int silent) {
    static const WCHAR* const kInstaller[] = {
        L"Usage: %ls [/S] [/LOG=file] [/D=folder]",
        L"/S  silent: no windows; every question is answered Yes, and each message and step "
        L"is one line on standard output, in UTF-8.",
        L"/LOG=file  writes those lines into file as well, windowed or silent.",
        L"/D=folder  the folder to install into, a full path; it comes last and may hold "
        L"spaces.",
        L"/?  this text.",
        L"Exit codes: 0 installed, 1 failed (nothing left behind), 2 declined, 3010 installed "
        L"and a restart of Windows needed.", NULL};
    static const WCHAR* const kUninstaller[] = {
        L"Usage: %ls [/S] [/LOG=file]",
        L"/S  silent: no windows; the question is answered Yes, and each message and step is "
        L"one line on standard output, in UTF-8.",
        L"/LOG=file  writes those lines into file as well, windowed or silent.",
        L"/?  this text.",
        L"Exit codes: 0 removed, 1 not all removed (the last message names what is left; "
        L"run it again), 2 declined, 3010 removed, the rest when Windows restarts.", NULL};
    const WCHAR* const* lines = isUninstaller() ? kUninstaller : kInstaller;
    WCHAR* self = pathOfThisProgram();
    const WCHAR* name = self != NULL && wcsrchr(self, '\\') != NULL ? wcsrchr(self, '\\') + 1
                        : isUninstaller()                             ? L"uninstall.exe"
                                                                      : L"installer.exe";
    Text text = {0};
    size_t i;
    for (i = 0; lines[i] != NULL; ++i) {
        Text line = {0};
        textFormat(&line, lines[i], name);
        if (silent) ui->action(ui, textChars(&line));
        textFormat(&text, i == 0 ? L"%ls" : L"\r\n%ls", textChars(&line));
        textFree(&line);
    }
    if (!silent) ui->message(ui, kTellInfo, title, textChars(&text));
    textFree(&text);
    free(self);
}

/* The usage asked for, or an option that cannot be taken: 1 with the exit
 * code in *exitCode; 0 to go on. */
static int answeredArguments(InstallerUi* ui, const Contract* contract,
                             const InstallerOptions* options, ArgumentsResult result,
                             int* exitCode) {
    Text problem = {0};
    if (options->help) {
        showUsage(ui, contract->title, options->silent);
        *exitCode = 0;
        return 1;
    }
    if (result == kArgumentsOk) return 0;
    if (result == kArgumentsNoFolder)
        textAppend(&problem, L"The option /D= needs a folder after it.");
    else if (result == kArgumentsNoLogFile)
        textAppend(&problem, L"The option /LOG= needs a file after it.");
    else
        textFormat(&problem,
                   L"Unknown option %.*ls. The options are /S (silent), /LOG=file, /? (the "
                   L"usage) and, last, /D=folder.",
                   (int)options->unknownLength, options->unknown);
    ui->message(ui, kTellError, contract->title, textChars(&problem));
    textFree(&problem);
    *exitCode = kFailed;
    return 1;
}

/* With /LOG=file, the seam that also writes the run's lines there; NULL
 * after saying why the file cannot be made. */
static InstallerUi* withLog(InstallerUi* ui, const Contract* contract,
                            const InstallerOptions* options) {
    WCHAR* path;
    unsigned long error = 0;
    InstallerUi* logged;
    Text problem = {0};
    if (options->log == NULL) return ui;
    path = malloc(sizeof *path * (options->logLength + 1));
    if (path == NULL) {
        ui->message(ui, kTellError, contract->title, L"Out of memory.");
        return NULL;
    }
    memcpy(path, options->log, sizeof *path * options->logLength);
    path[options->logLength] = 0;
    if ((logged = loggingUi(ui, path, &error)) == NULL) {
        textFormat(&problem, L"Could not write the log file %ls: ", path);
        textAppendSystemError(&problem, error, path);
        textAppend(&problem, L".");
        ui->message(ui, kTellError, contract->title, textChars(&problem));
        textFree(&problem);
    }
    free(path);
    return logged;
}

int WINAPI WinMain(HINSTANCE instance, HINSTANCE previous, LPSTR commandLine, int show) {
    InstallerOptions options;
    ArgumentsResult argumentsResult;
    const WCHAR* arguments;
    Contract contract;
    InstallerUi* ui;
    InstallOutcome outcome;
    int exitCode;
    HRESULT ole;
    (void)instance;
    (void)previous;
    (void)commandLine; /* ANSI: the wide line is read instead */
    (void)show;

    restrictDllSearch();
    arguments = skipProgramName(GetCommandLineW());
    if (runRegistrationChild(arguments, &exitCode)) return exitCode;
    if (runRemovalHelper(arguments, &exitCode)) return exitCode;
    argumentsResult = parseArguments(arguments, sameNameIgnoringCase, &options);
    ui = options.silent ? silentUi() : windowsUi();
    if (!readContract(&contract)) {
        ui->message(ui, kTellError, L"Plugin installer", L"Out of memory.");
        return kFailed;
    }
    if (answeredArguments(ui, &contract, &options, argumentsResult, &exitCode)) {
        freeContract(&contract);
        return exitCode;
    }
    if ((ui = withLog(ui, &contract, &options)) == NULL) {
        freeContract(&contract);
        return kFailed;
    }
    /* The folder picker's new style and ShellExecuteEx want COM on this
     * thread, in a single-threaded apartment. */
    ole = OleInitialize(NULL);
    /* The copy left as uninstall.exe holds the texts, not the payload. */
    outcome = isUninstaller() ? runUninstall(ui, &contract) : runInstall(ui, &contract, &options);
    if (SUCCEEDED(ole)) OleUninitialize();
    closeLog(ui);
    freeContract(&contract);
    return outcome;
}
