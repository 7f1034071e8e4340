#include "register.h"

#include <ole2.h>
#include <stdlib.h>
#include <string.h>
#include <wchar.h>

#include "files.h"

/* Internal: never shown, and no user would type it. */
static const WCHAR kChildSwitch[] = L"/tamsel-registration-child";

/* What the child writes into the pipe: kServerEnded once the DLL is loaded
 * and the call begins, then how it went. A child that ends without the
 * second ended (or crashed) in the call; one without either, while loading. */
typedef struct ChildReport {
    DWORD magic;
    DWORD outcome;
    DWORD code;
} ChildReport;
enum { kReportMagic = 0x52534D54, kDefaultSeconds = 120 };

typedef BOOL(WINAPI* SetDefaultDllDirectoriesFunction)(DWORD flags);

void restrictDllSearch(void) {
    /* Looked up: Windows 7 has it only with its update KB2533623. Without
     * it, at least the current folder leaves the search. */
    FARPROC found = GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "SetDefaultDllDirectories");
    SetDefaultDllDirectoriesFunction set =
        (SetDefaultDllDirectoriesFunction)(void (*)(void))found;
    if (set == NULL || !set(LOAD_LIBRARY_SEARCH_SYSTEM32)) SetDllDirectoryW(L"");
}

static const WCHAR* entryName(int unregister) {
    return unregister ? L"DllUnregisterServer" : L"DllRegisterServer";
}

static DWORD timeLimitSeconds(void) {
    WCHAR value[16];
    DWORD length = GetEnvironmentVariableW(L"TAMSEL_INSTALLER_REGISTER_SECONDS", value, 16);
    unsigned long seconds = length > 0 && length < 16 ? wcstoul(value, NULL, 10) : 0;
    return seconds > 0 && seconds < 86400 ? (DWORD)seconds : kDefaultSeconds;
}

/* The DLL's path as LoadLibrary must be given it (malloc'd). A name without
 * an extension gets ".dll" from LoadLibrary unless it ends in a dot. The
 * usual form of a path drops that dot again as Windows reads it; the "\\?\"
 * form, needed past MAX_PATH, would keep it. */
static WCHAR* loadablePath(const WCHAR* path) {
    const WCHAR* name = wcsrchr(path, '\\');
    size_t length = wcslen(path);
    int fits = length + 1 < MAX_PATH;
    WCHAR* load = fits ? malloc(sizeof *load * (length + 2)) : longForm(path);
    if (load != NULL && fits) {
        wcscpy(load, path);
        if (wcschr(name != NULL ? name : path, '.') == NULL) wcscat(load, L".");
    }
    return load;
}

static HMODULE loadServer(const WCHAR* path) {
    WCHAR* load = loadablePath(path);
    HMODULE module;
    DWORD error;
    if (load == NULL) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return NULL;
    }
    /* The DLL's own folder first, for DLLs of its own beside it, then the
     * default folders; never the folder this program was started from. */
    module = LoadLibraryExW(load, NULL,
                            LOAD_LIBRARY_SEARCH_DLL_LOAD_DIR | LOAD_LIBRARY_SEARCH_DEFAULT_DIRS);
    /* Windows 7 without KB2533623 knows no LOAD_LIBRARY_SEARCH_ flags. */
    if (module == NULL && GetLastError() == ERROR_INVALID_PARAMETER)
        module = LoadLibraryExW(load, NULL, LOAD_WITH_ALTERED_SEARCH_PATH);
    error = GetLastError();
    free(load);
    SetLastError(error);
    return module;
}

/* Waits for a registering process within the time limit: the time limit
 * ends it. 1 when it ended by itself, with its exit code in *result. */
static int endedWithin(HANDLE process, DWORD limit, Registration* result) {
    if (WaitForSingleObject(process, limit * 1000) == WAIT_TIMEOUT) {
        TerminateProcess(process, ERROR_TIMEOUT);
        WaitForSingleObject(process, 10000);
        result->outcome = kServerTimedOut;
        result->code = limit;
        return 0;
    }
    GetExitCodeProcess(process, &result->code);
    return 1;
}

/* The system's regsvr32.exe: exit code 0 when the call succeeded. */
static Registration runSystemRegistrar(const Registrar* registrar, const WCHAR* path,
                                       int unregister) {
    Registration result = {kServerNotStarted, 0, 0};
    STARTUPINFOW startup;
    PROCESS_INFORMATION process;
    Text command = {0};
    WCHAR folder[MAX_PATH];
    UINT length = GetSystemWindowsDirectoryW(folder, MAX_PATH), mode;
    BOOL started = FALSE;
    result.unregister = unregister;
    registrarCommand(registrar, path, unregister, &command);
    ZeroMemory(&startup, sizeof startup);
    startup.cb = sizeof startup;
    /* Inherited by regsvr32: a crash ends it without a dialog. */
    mode = SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX | SEM_NOOPENFILEERRORBOX);
    if (command.outOfMemory)
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    else
        /* Started in the Windows folder: the folder this program was
         * started from stays out of the DLL search there too. */
        started = CreateProcessW(registrar->program, command.chars, NULL, NULL, FALSE, 0, NULL,
                                 length > 0 && length < MAX_PATH ? folder : NULL, &startup,
                                 &process);
    SetErrorMode(mode);
    if (!started) {
        result.code = GetLastError();
    } else {
        CloseHandle(process.hThread);
        if (endedWithin(process.hProcess, timeLimitSeconds(), &result))
            result.outcome = result.code == 0 ? kServerReturned : kProgramEnded;
        CloseHandle(process.hProcess);
    }
    textFree(&command);
    return result;
}

void registrarCommand(const Registrar* registrar, const WCHAR* path, int unregister,
                      Text* command) {
    WCHAR* load = loadablePath(path);
    if (load == NULL) {
        command->outOfMemory = 1;
        return;
    }
    textFormat(command, L"\"%ls\" %ls\"%ls\"", registrar->program, unregister ? L"/u /s " : L"/s ",
               load);
    free(load);
}

/* The names said in refusals. */
static const WCHAR* machineName(WORD machine) {
    switch (machine) {
        case 0xAA64: return L"ARM64";
        case IMAGE_FILE_MACHINE_ARMNT: return L"32-bit ARM";
        case IMAGE_FILE_MACHINE_IA64: return L"Itanium";
        default: return NULL;
    }
}

typedef BOOL(WINAPI* IsWow64ProcessFunction)(HANDLE process, BOOL* wow64);

/* A 64-bit program runs on 64-bit Windows only; a 32-bit one asks whether
 * it runs under WOW64 (looked up: Windows XP before SP2 lacks it). */
static int windowsIs64Bit(void) {
    BOOL wow64 = FALSE;
    FARPROC found;
    IsWow64ProcessFunction isWow64;
    if (sizeof(void*) == 8) return 1;
    found = GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "IsWow64Process");
    isWow64 = (IsWow64ProcessFunction)(void (*)(void))found;
    return isWow64 != NULL && isWow64(GetCurrentProcess(), &wow64) && wow64;
}

int chooseRegistrar(WORD machine, Registrar* registrar, Text* refusal) {
    WORD own = sizeof(void*) == 8 ? IMAGE_FILE_MACHINE_AMD64 : IMAGE_FILE_MACHINE_I386;
    const WCHAR* name = machineName(machine);
    WCHAR folder[MAX_PATH];
    UINT length;
    Text program = {0};
    registrar->program = registrar->child = NULL;
    if (machine == own) return 1;
    if (machine == 0) {
        textAppend(refusal, L"The plugin file is no DLL (it has no PE header), so it cannot be "
                            L"registered.");
        return 0;
    }
    if (machine != IMAGE_FILE_MACHINE_I386 && machine != IMAGE_FILE_MACHINE_AMD64) {
        if (name != NULL)
            textFormat(refusal, L"This plugin is an %ls DLL; this installer registers 32-bit "
                                L"and 64-bit DLLs for Intel and AMD processors only.", name);
        else
            textFormat(refusal, L"This plugin is a DLL for machine type 0x%04X; this installer "
                                L"registers 32-bit and 64-bit DLLs for Intel and AMD processors "
                                L"only.", (unsigned)machine);
        return 0;
    }
    if (machine == IMAGE_FILE_MACHINE_AMD64 && !windowsIs64Bit()) {
        textAppend(refusal, L"This plugin is a 64-bit DLL and needs 64-bit Windows.");
        return 0;
    }
    /* The other architecture's System32: a 32-bit program reaches the
     * 64-bit one as Sysnative (its System32 is redirected to SysWOW64); a
     * 64-bit program reaches the 32-bit one as SysWOW64. */
    length = GetSystemWindowsDirectoryW(folder, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) {
        textAppend(refusal, L"The Windows folder, where the system's registration program is, "
                            L"could not be found: ");
        textAppendSystemError(refusal, GetLastError(), L"it");
        textAppend(refusal, L".");
        return 0;
    }
    textFormat(&program, L"%ls\\%ls\\regsvr32.exe", folder,
               own == IMAGE_FILE_MACHINE_I386 ? L"Sysnative" : L"SysWOW64");
    if ((registrar->program = textTake(&program)) == NULL) {
        textAppend(refusal, L"Out of memory.");
        return 0;
    }
    return 1;
}

void freeRegistrar(Registrar* registrar) {
    free(registrar->program);
    registrar->program = NULL;
}

Registration runRegistration(const Registrar* registrar, const WCHAR* path, int unregister) {
    Registration result = {kServerNotStarted, 0, 0};
    SECURITY_ATTRIBUTES inheritable = {sizeof inheritable, NULL, TRUE};
    HANDLE readEnd, writeEnd;
    STARTUPINFOW startup;
    PROCESS_INFORMATION process;
    ChildReport report;
    DWORD got = 0, available = 0, limit = timeLimitSeconds();
    Text command = {0};
    WCHAR* self = registrar->child != NULL ? textCopy(registrar->child) : pathOfThisProgram();
    BOOL started = FALSE;

    if (registrar->program != NULL) {
        free(self);
        return runSystemRegistrar(registrar, path, unregister);
    }
    result.unregister = unregister;
    if (self == NULL || !CreatePipe(&readEnd, &writeEnd, &inheritable, 0)) {
        result.code = GetLastError();
        free(self);
        return result;
    }
    SetHandleInformation(readEnd, HANDLE_FLAG_INHERIT, 0);
    /* The pipe's handle has the same value in the child, which inherits it. */
    textFormat(&command, L"\"%ls\" %ls %ls %llu %ls", self, kChildSwitch,
               unregister ? L"U" : L"R", (unsigned long long)(ULONG_PTR)writeEnd, path);
    ZeroMemory(&startup, sizeof startup);
    startup.cb = sizeof startup;
    if (command.outOfMemory)
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    else
        started = CreateProcessW(self, command.chars, NULL, NULL, TRUE, 0, NULL, NULL, &startup,
                                 &process);
    if (!started) result.code = GetLastError();
    CloseHandle(writeEnd);
    if (started) {
        CloseHandle(process.hThread);
        if (endedWithin(process.hProcess, limit, &result)) {
            result.outcome = kServerEndedLoading;
            while (PeekNamedPipe(readEnd, NULL, 0, NULL, &available, NULL) &&
                   available >= sizeof report &&
                   ReadFile(readEnd, &report, sizeof report, &got, NULL) &&
                   got == sizeof report && report.magic == kReportMagic &&
                   report.outcome <= kServerEnded) {
                result.outcome = (RegistrationOutcome)report.outcome;
                if (report.outcome != kServerEnded) result.code = report.code;
            }
        }
        CloseHandle(process.hProcess);
    }
    CloseHandle(readEnd);
    textFree(&command);
    free(self);
    return result;
}

/* regsvr32's exit codes; an exception code is a crash in it. */
static void describeProgramEnd(const WCHAR* program, const WCHAR* entry, DWORD code, Text* why) {
    if (code == 3)
        textFormat(why, L"%ls could not load it (exit code 3)", program);
    else if (code == 4)
        textFormat(why, L"it has no %ls (%ls: exit code 4)", entry, program);
    else if (code == 5)
        textFormat(why, L"%ls failed (%ls: exit code 5)", entry, program);
    else if ((code & 0xC0000000u) == 0xC0000000u)
        textFormat(why, L"it crashed in %ls (exception 0x%08lX)", program, (unsigned long)code);
    else
        textFormat(why, L"%ls ended with exit code %lu", program, (unsigned long)code);
}

int registrationSucceeded(const Registrar* registrar, Registration registration,
                          const WCHAR* path, Text* why) {
    const WCHAR* entry = entryName(registration.unregister);
    DWORD code = registration.code;
    switch (registration.outcome) {
        case kServerReturned:
            if (SUCCEEDED((HRESULT)code)) return 1;
            textFormat(why, L"%ls failed (0x%08lX, ", entry, (unsigned long)code);
            textAppendSystemError(why, code, path);
            textAppend(why, L")");
            break;
        case kServerNotStarted:
            if (registrar->program != NULL) {
                textAppend(why, L"the system's registration program could not be started as ");
                registrarCommand(registrar, path, registration.unregister, why);
                textAppend(why, L" (");
            } else
                textAppend(why, L"it could not be started in a process of its own (");
            textAppendSystemError(why, code,
                                  registrar->program != NULL ? registrar->program : path);
            textAppend(why, L")");
            break;
        case kServerNotLoaded:
            textAppend(why, L"it could not be loaded (");
            textAppendSystemError(why, code, path);
            textAppend(why, L")");
            break;
        case kServerNoEntry:
            textFormat(why, L"it has no %ls", entry);
            break;
        case kServerEnded:
        case kServerEndedLoading: {
            /* Exception codes (0xC0000005 for an access violation) have
             * their two top bits set; anything else was an exit code. */
            int crashed = (code & 0xC0000000u) == 0xC0000000u;
            textAppend(why, crashed ? L"it crashed " : L"it ended the program ");
            textFormat(why,
                       registration.outcome == kServerEnded ? L"in %ls" : L"while being loaded",
                       entry);
            textFormat(why, crashed ? L" (exception 0x%08lX)" : L" (exit code %lu)",
                       (unsigned long)code);
            break;
        }
        case kServerTimedOut:
            textFormat(why, L"%ls did not return within %lu seconds", entry, (unsigned long)code);
            break;
        case kProgramEnded:
            describeProgramEnd(registrar->program, entry, code, why);
            break;
    }
    return 0;
}

static LONG WINAPI endOnCrash(EXCEPTION_POINTERS* exception) {
    (void)exception;
    /* No crash dialog: the process ends with the exception's code, which
     * the installer reports. */
    return EXCEPTION_EXECUTE_HANDLER;
}

typedef HRESULT(STDAPICALLTYPE* ServerFunction)(void);

int runRegistrationChild(const WCHAR* arguments, int* exitCode) {
    size_t switchLength = wcslen(kChildSwitch);
    ChildReport report = {kReportMagic, kServerNoEntry, 0};
    const WCHAR* p = arguments;
    WCHAR* end;
    HANDLE pipe;
    HMODULE module;
    FARPROC found;
    DWORD written;
    int unregister;
    if (wcsncmp(p, kChildSwitch, switchLength) != 0 || p[switchLength] != ' ') return 0;
    p += switchLength + 1;
    unregister = *p == 'U';
    pipe = (HANDLE)(ULONG_PTR)wcstoull(p + 2, &end, 10);
    p = *end == ' ' ? end + 1 : end;
    *exitCode = 0;

    SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX | SEM_NOOPENFILEERRORBOX);
    SetUnhandledExceptionFilter(endOnCrash);
    /* A server's registration may want COM on its thread. */
    OleInitialize(NULL);
    module = loadServer(p);
    if (module == NULL) {
        report.outcome = kServerNotLoaded;
        report.code = GetLastError();
    } else if ((found = GetProcAddress(module, unregister ? "DllUnregisterServer"
                                                          : "DllRegisterServer")) != NULL) {
        report.outcome = kServerEnded;
        WriteFile(pipe, &report, sizeof report, &written, NULL);
        report.outcome = kServerReturned;
        report.code = (DWORD)((ServerFunction)(void (*)(void))found)();
    }
    WriteFile(pipe, &report, sizeof report, &written, NULL);
    /* Ends here, without the DLL's detach code: nothing it does after the
     * call can change what was reported. */
    TerminateProcess(GetCurrentProcess(), 0);
    return 1;
}
