/* A COM server registers itself in a process of its own: a child process
 * loads the DLL and calls its DllRegisterServer (or DllUnregisterServer),
 * under a time limit, and reports through a pipe what the call returned.
 * For a DLL of this program's architecture the child is this program,
 * started again with an internal switch. A DLL of the other architecture
 * cannot be loaded here: this program carries a small registration helper
 * of that architecture, which speaks the same protocol; it is written to
 * the temporary folder and started as the child. Either way a registration
 * counts as done only when the function itself returned success in the
 * process that called it. Whatever the DLL does there (crash, end the
 * process, never return), the installer lives on to say so and to undo the
 * install. */
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
    kHelperNotWritten  /* code: the Win32 error of writing the helper out */
} RegistrationOutcome;

typedef struct Registration {
    RegistrationOutcome outcome;
    DWORD code;
    int unregister; /* DllUnregisterServer was called, not DllRegisterServer */
} Registration;

/* Who calls the DLL's functions. */
typedef struct Registrar {
    /* 0: this program's child; else the machine type of the registration
     * helper that does (peMachine). */
    WORD helperMachine;
    /* The helper, once written to the temporary folder for this run
     * (owned: freeRegistrar deletes it), or NULL. */
    WCHAR* helper;
    /* The program started as this program's child, not owned: NULL for
     * this one. */
    const WCHAR* child;
} Registrar;

/* TAMSEL_INSTALLER_TEST_HELPER=1 (for tests) sends a DLL of this program's
 * own architecture through the helper's route too, with this program as
 * the helper: the route's code runs where no Windows of the other
 * architecture can. */

/* The registrar for a DLL of the PE machine type machine (peMachine), on
 * this Windows: 1 with *registrar set (freeRegistrar), or 0 with why it
 * cannot be registered here in *refusal, a whole sentence. */
int chooseRegistrar(WORD machine, Registrar* registrar, Text* refusal);
void freeRegistrar(Registrar* registrar);

/* How the record names the registrar, "helper 8664" for the x86-64 helper
 * (malloc'd), or NULL for this program's child; and the registrar a record
 * names. An older record's path of the system's regsvr32.exe served the
 * other architecture, whose helper serves it now. */
WCHAR* recordedRegistrar(const Registrar* registrar);
Registrar registrarOfRecord(const WCHAR* recorded);

/* Whether this Windows is 64-bit, whatever this program is. */
int windowsIs64Bit(void);

/* The machine type's name, as the lines say it ("x86-64"), or NULL. */
const WCHAR* machineName(WORD machine);

/* Calls DllRegisterServer (unregister 0) or DllUnregisterServer of the DLL
 * at path (a full path) in a child process, writing the helper out first
 * where the registrar takes one. The time limit is 120 seconds, or
 * TAMSEL_INSTALLER_REGISTER_SECONDS when that is set. */
Registration runRegistration(Registrar* registrar, const WCHAR* path, int unregister);

/* Whether it succeeded; else appends what happened to the DLL at path, in a
 * few words. */
int registrationSucceeded(const Registrar* registrar, Registration registration,
                          const WCHAR* path, Text* why);

/* The protocol between the two sides. The child is started as
 *   "PROGRAM" /tamsel-registration-child R|U PIPE PATH
 * (R registers, U unregisters; PIPE is the inherited write end's handle
 * value, the same in every process of either architecture). It writes
 * kServerEnded once the DLL is loaded and the call begins, then how it
 * went. A child that ends without the second ended (or crashed) in the
 * call; one without either, while loading. */
extern const WCHAR kRegistrationChildSwitch[];
typedef struct ChildReport {
    DWORD magic; /* kReportMagic */
    DWORD outcome; /* a RegistrationOutcome up to kServerEnded */
    DWORD code;
} ChildReport;
enum { kReportMagic = 0x52534D54 };

/* The child's side: when arguments (after the program's name) hold the
 * internal switch, does the call and returns 1 with the process's exit code
 * in *exitCode. The registration helper is this function and little else. */
int runRegistrationChild(const WCHAR* arguments, int* exitCode);

/* The search for DLLs, first thing in the process: only the system folder,
 * never the folder this program was started from (a downloads folder may
 * hold a planted DLL). */
void restrictDllSearch(void);

#endif
