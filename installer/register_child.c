/* The child's side of a registration: this program started with the
 * internal switch, or the registration helper of the other architecture,
 * which is this file and little else. It loads the DLL, calls the one
 * function and reports through the pipe what it returned. */
#include <ole2.h>
#include <stdlib.h>
#include <string.h>
#include <wchar.h>

#include "files.h"
#include "register.h"

/* Internal: never shown, and no user would type it. */
const WCHAR kRegistrationChildSwitch[] = L"/tamsel-registration-child";

typedef BOOL(WINAPI* SetDefaultDllDirectoriesFunction)(DWORD flags);

void restrictDllSearch(void) {
    /* Looked up: Windows 7 has it only with its update KB2533623. Without
     * it, at least the current folder leaves the search. */
    FARPROC found = GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "SetDefaultDllDirectories");
    SetDefaultDllDirectoriesFunction set =
        (SetDefaultDllDirectoriesFunction)(void (*)(void))found;
    if (set == NULL || !set(LOAD_LIBRARY_SEARCH_SYSTEM32)) SetDllDirectoryW(L"");
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

static LONG WINAPI endOnCrash(EXCEPTION_POINTERS* exception) {
    (void)exception;
    /* No crash dialog: the process ends with the exception's code, which
     * the installer reports. */
    return EXCEPTION_EXECUTE_HANDLER;
}

typedef HRESULT(STDAPICALLTYPE* ServerFunction)(void);

int runRegistrationChild(const WCHAR* arguments, int* exitCode) {
    size_t switchLength = wcslen(kRegistrationChildSwitch);
    ChildReport report = {kReportMagic, kServerNoEntry, 0};
    const WCHAR* p = arguments;
    WCHAR* end;
    HANDLE pipe;
    HMODULE module;
    FARPROC found;
    DWORD written;
    int unregister;
    if (wcsncmp(p, kRegistrationChildSwitch, switchLength) != 0 || p[switchLength] != ' ') return 0;
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
