/* installer.exe: installs the plugin that the updater wrote into this
 * program's resources.
 *
 *   installer.exe               asks, then installs into a chosen folder
 *   installer.exe /S /D=folder  silent: no windows, every answer Yes, one
 *                               line on standard output per message and
 *                               action
 *
 * Exit code 0 when installed, 1 when it failed, 2 when the user cancelled. */
#include <windows.h>
#include <ole2.h>

#include "contract.h"
#include "install.h"
#include "names.h"
#include "text.h"
#include "ui.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE previous, LPSTR arguments, int show) {
    InstallerOptions options;
    char problem[300];
    Contract contract;
    InstallerUi* ui;
    InstallOutcome outcome;
    int argumentsOk;
    HRESULT ole;
    (void)instance;
    (void)previous;
    (void)arguments; /* the C runtime's cut of the line; we read the whole line */
    (void)show;

    argumentsOk =
        parseArguments(skipProgramName(GetCommandLineA()), &options, problem, sizeof problem);
    ui = options.silent ? silentUi() : windowsUi();
    if (!readContract(&contract)) {
        ui->message(ui, kTellError, "Plugin installer", "Out of memory.");
        return kFailed;
    }
    if (!argumentsOk) {
        ui->message(ui, kTellError, contract.title, problem);
        freeContract(&contract);
        return kFailed;
    }
    /* The folder picker's new style, ShellExecute and the plugin's own
     * registration all want COM on this thread, in a single-threaded
     * apartment. */
    ole = OleInitialize(NULL);
    outcome = runInstall(ui, &contract, &options);
    if (SUCCEEDED(ole)) OleUninitialize();
    freeContract(&contract);
    return outcome;
}
