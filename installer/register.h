/* A COM server registers itself in a process of its own: this program,
 * started again with an internal switch, loads the DLL and calls its
 * DllRegisterServer (or DllUnregisterServer), under a time limit. A DLL of
 * the other architecture cannot be loaded here: the system's registration
 * program of its architecture (regsvr32.exe) does the same call for it.
 * Whatever the DLL does there (crash, end the process, never return), the
 * installer lives on to say so and to undo the install. */
#ifndef INSTALLER_REGISTER_H
#define INSTALLER_REGISTER_H

#include <windows.h>

#include "text.h"

typedef enum RegistrationOutcome {
    kServerReturned,   /* code: the function's HRESULT */
    kServerNotStarted, /* code: the Win32 error of starting the process */
    kServerNotLoaded,  /* code: the Win32 error of LoadLibraryEx */
    kServerNoEntry,    /* the DLL does not export the function */
    kServerEnded,      /* code: the exit code of a process that ended (or crashed) in it */
    kServerEndedLoading, /* the same while the DLL was being loaded (its DllMain) */
    kServerTimedOut,   /* code: the time limit in seconds */
    kProgramEnded      /* code: the exit code of the system's registration program */
} RegistrationOutcome;

typedef struct Registration {
    RegistrationOutcome outcome;
    DWORD code;
    int unregister; /* DllUnregisterServer was called, not DllRegisterServer */
} Registration;

/* Who calls the DLL's functions. */
typedef struct Registrar {
    /* NULL: a child process of this program; else the full path of the
     * system's regsvr32.exe of the DLL's architecture. */
    WCHAR* program;
    /* The program started as the child, not owned: NULL for this one. */
    WCHAR* child;
} Registrar;

/* The registrar for a DLL of the PE machine type machine (peMachine), on
 * this Windows: 1 with *registrar set (freeRegistrar), or 0 with why it
 * cannot be registered here in *refusal, a whole sentence. */
int chooseRegistrar(WORD machine, Registrar* registrar, Text* refusal);
void freeRegistrar(Registrar* registrar);

/* The command line that runs the system's registration program on path
 * (its "/s" for silent, "/u" to unregister). */
void registrarCommand(const Registrar* registrar, const WCHAR* path, int unregister,
                      Text* command);

/* Calls DllRegisterServer (unregister 0) or DllUnregisterServer of the DLL
 * at path (a full path) in a child process or through the system's program.
 * The time limit is 120 seconds, or TAMSEL_INSTALLER_REGISTER_SECONDS when
 * that is set. */
Registration runRegistration(const Registrar* registrar, const WCHAR* path, int unregister);

/* Whether it succeeded; else appends what happened to the DLL at path, in a
 * few words. */
int registrationSucceeded(const Registrar* registrar, Registration registration,
                          const WCHAR* path, Text* why);

/* The child's side: when arguments (after the program's name) hold the
 * internal switch, does the call and returns 1 with the process's exit code
 * in *exitCode. */
int runRegistrationChild(const WCHAR* arguments, int* exitCode);

/* The search for DLLs, first thing in the process: only the system folder,
 * never the folder this program was started from (a downloads folder may
 * hold a planted DLL). */
void restrictDllSearch(void);

#endif
