/* The registration helper: a program of the other architecture that the
 * installer carries (helper.S) and starts to register a DLL it cannot load
 * itself. It is the child side of the installer's own registration, and
 * nothing else: started without the internal switch, it does nothing. */
#include <windows.h>

#include "names.h"
#include "register.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE previous, LPSTR commandLine, int show) {
    int exitCode = 2;
    (void)instance;
    (void)previous;
    (void)commandLine; /* ANSI: the wide line is read instead */
    (void)show;
    restrictDllSearch();
    runRegistrationChild(skipProgramName(GetCommandLineW()), &exitCode);
    return exitCode;
}
