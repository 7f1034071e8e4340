/* installer.exe: installs the plugin that the updater wrote into this
 * program's resources.
 *
 *   installer.exe               asks, then installs into a chosen folder
 *   installer.exe /S /D=folder  silent: no windows, every answer Yes, one
 *                               line on standard output per message and
 *                               action
 *   uninstall.exe [/S]          the copy the install leaves: removes it
 *
 * Exit code 0 when installed, 1 when it failed, 2 when the user cancelled. */
#include <windows.h>
#include <ole2.h>

#include "contract.h"
#include "files.h"
#include "install.h"
#include "names.h"
#include "register.h"
#include "text.h"
#include "ui.h"
#include "uninstall.h"

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
    if (argumentsResult != kArgumentsOk) {
        Text problem = {0};
        if (argumentsResult == kArgumentsNoFolder)
            textAppend(&problem, L"The option /D= needs a folder after it.");
        else
            textFormat(&problem,
                       L"Unknown option %.*ls. The options are /S (silent) and, last, /D=folder.",
                       (int)options.unknownLength, options.unknown);
        ui->message(ui, kTellError, contract.title, textChars(&problem));
        textFree(&problem);
        freeContract(&contract);
        return kFailed;
    }
    /* The folder picker's new style and ShellExecuteEx want COM on this
     * thread, in a single-threaded apartment. */
    ole = OleInitialize(NULL);
    /* The copy left as uninstall.exe holds the texts, not the payload. */
    outcome = isUninstaller() ? runUninstall(ui, &contract) : runInstall(ui, &contract, &options);
    if (SUCCEEDED(ole)) OleUninitialize();
    freeContract(&contract);
    return outcome;
}
