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

/* This program's own path, of any length. */
static WCHAR* ownPath(void) {
    DWORD size = MAX_PATH;
    while (size <= kLongPathMax + 1) {
        WCHAR* path = malloc(sizeof *path * size);
        DWORD length;
        if (path == NULL) break;
        length = GetModuleFileNameW(NULL, path, size);
        if (length > 0 && length < size) return path;
        free(path);
        if (length == 0) return NULL;
        size *= 2;
    }
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return NULL;
}

Registration runRegistration(const WCHAR* path, int unregister) {
    Registration result = {kServerNotStarted, 0, 0};
    SECURITY_ATTRIBUTES inheritable = {sizeof inheritable, NULL, TRUE};
    HANDLE readEnd, writeEnd;
    STARTUPINFOW startup;
    PROCESS_INFORMATION process;
    ChildReport report;
    DWORD got = 0, available = 0, limit = timeLimitSeconds();
    Text command = {0};
    WCHAR* self = ownPath();
    BOOL started = FALSE;

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
        if (WaitForSingleObject(process.hProcess, limit * 1000) == WAIT_TIMEOUT) {
            TerminateProcess(process.hProcess, ERROR_TIMEOUT);
            WaitForSingleObject(process.hProcess, 10000);
            result.outcome = kServerTimedOut;
            result.code = limit;
        } else {
            result.outcome = kServerEndedLoading;
            GetExitCodeProcess(process.hProcess, &result.code);
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

int registrationSucceeded(Registration registration, Text* why) {
    const WCHAR* entry = entryName(registration.unregister);
    DWORD code = registration.code;
    switch (registration.outcome) {
        case kServerReturned:
            if (SUCCEEDED((HRESULT)code)) return 1;
            textFormat(why, L"%ls failed (0x%08lX, ", entry, (unsigned long)code);
            textAppendSystemError(why, code);
            textAppend(why, L")");
            break;
        case kServerNotStarted:
            textAppend(why, L"it could not be started in a process of its own (");
            textAppendSystemError(why, code);
            textAppend(why, L")");
            break;
        case kServerNotLoaded:
            textAppend(why, L"it could not be loaded (");
            textAppendSystemError(why, code);
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
    }
    return 0;
}

/* A name without an extension gets ".dll" from LoadLibrary unless it ends
 * in a dot. The usual form of a path drops that dot again as Windows reads
 * it; the "\\?\" form, needed past MAX_PATH, would keep it. */
static HMODULE loadServer(const WCHAR* path) {
    const WCHAR* name = wcsrchr(path, '\\');
    size_t length = wcslen(path);
    int fits = length + 1 < MAX_PATH;
    WCHAR* load = fits ? malloc(sizeof *load * (length + 2)) : longForm(path);
    HMODULE module;
    DWORD error;
    if (load == NULL) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return NULL;
    }
    if (fits) {
        wcscpy(load, path);
        if (wcschr(name != NULL ? name : path, '.') == NULL) wcscat(load, L".");
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
