#include "register.h"

#include <stdlib.h>
#include <string.h>
#include <wchar.h>

#include "common/architecture.h"
#include "files.h"

enum { kDefaultSeconds = 120 };

/* The registration helper of the other architecture, linked into this
 * program's image (helper.S): its bytes, as a file. */
extern const unsigned char registrationHelper[];
extern const unsigned long registrationHelperSize;

static const WORD kOwnMachine = sizeof(void*) == 8 ? kMachineAmd64 : kMachineI386;

static const WCHAR* entryName(int unregister) {
    return unregister ? L"DllUnregisterServer" : L"DllRegisterServer";
}

static DWORD timeLimitSeconds(void) {
    WCHAR value[16];
    DWORD length = GetEnvironmentVariableW(L"TAMSEL_INSTALLER_REGISTER_SECONDS", value, 16);
    unsigned long seconds = length > 0 && length < 16 ? wcstoul(value, NULL, 10) : 0;
    return seconds > 0 && seconds < 86400 ? (DWORD)seconds : kDefaultSeconds;
}

static int helperForOwnArchitecture(void) {
    WCHAR value[4];
    DWORD length = GetEnvironmentVariableW(L"TAMSEL_INSTALLER_TEST_HELPER", value, 4);
    return length == 1 && value[0] == '1';
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

/* ASCII text of the shared rules as UTF-16, cut to fit. */
static void widen(const char* ascii, WCHAR* out, size_t size) {
    size_t i;
    for (i = 0; ascii != NULL && ascii[i] != 0 && i + 1 < size; ++i) out[i] = (WCHAR)ascii[i];
    out[i] = 0;
}

const WCHAR* machineName(WORD machine) {
    /* Widened once per machine type; the names are few and never change. */
    static struct {
        WORD machine;
        WCHAR name[16];
    } widened[8];
    static size_t count;
    const char* name = machineTypeName(machine);
    size_t i;
    if (name == NULL) return NULL;
    for (i = 0; i < count; ++i)
        if (widened[i].machine == machine) return widened[i].name;
    if (count == sizeof widened / sizeof *widened) return NULL;
    widened[count].machine = machine;
    widen(name, widened[count].name, 16);
    return widened[count++].name;
}

typedef BOOL(WINAPI* IsWow64ProcessFunction)(HANDLE process, BOOL* wow64);

/* A 64-bit program runs on 64-bit Windows only; a 32-bit one asks whether
 * it runs under WOW64 (looked up: Windows XP before SP2 lacks it). */
int windowsIs64Bit(void) {
    BOOL wow64 = FALSE;
    FARPROC found;
    IsWow64ProcessFunction isWow64;
    if (sizeof(void*) == 8) return 1;
    found = GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "IsWow64Process");
    isWow64 = (IsWow64ProcessFunction)(void (*)(void))found;
    return isWow64 != NULL && isWow64(GetCurrentProcess(), &wow64) && wow64;
}

int chooseRegistrar(WORD machine, Registrar* registrar, Text* refusal) {
    RouteChoice choice =
        chooseRoute(machine, kOwnMachine, windowsIs64Bit() ? kWindows64 : kWindows32);
    char ascii[192];
    WCHAR reason[192], plugin[64];
    memset(registrar, 0, sizeof *registrar);
    if (choice.route == kRouteOwnProcess) {
        if (helperForOwnArchitecture()) registrar->helperMachine = machine;
        return 1;
    }
    if (choice.route == kRouteHelper) {
        registrar->helperMachine = choice.helperMachine;
        return 1;
    }
    describeRoute(choice, ascii, sizeof ascii);
    widen(ascii, reason, sizeof reason / sizeof *reason);
    if (choice.reason == kReasonNoPeFile) {
        textFormat(refusal, L"The plugin file is no DLL (%ls), so it cannot be registered.",
                   reason);
    } else {
        describeMachine(machine, "DLL", ascii, sizeof ascii);
        widen(ascii, plugin, sizeof plugin / sizeof *plugin);
        textFormat(refusal, L"This plugin is %ls; %ls.", plugin, reason);
    }
    return 0;
}

void freeRegistrar(Registrar* registrar) {
    if (registrar->helper != NULL && !DeleteFileW(registrar->helper))
        MoveFileExW(registrar->helper, NULL, MOVEFILE_DELAY_UNTIL_REBOOT);
    free(registrar->helper);
    registrar->helper = NULL;
}

WCHAR* recordedRegistrar(const Registrar* registrar) {
    Text text = {0};
    if (registrar->helperMachine == 0) return NULL;
    textFormat(&text, L"helper %04X", (unsigned)registrar->helperMachine);
    return textTake(&text);
}

Registrar registrarOfRecord(const WCHAR* recorded) {
    Registrar registrar = {0, NULL, NULL};
    if (recorded == NULL || recorded[0] == 0) return registrar;
    if (wcsncmp(recorded, L"helper ", 7) == 0)
        registrar.helperMachine = (WORD)wcstoul(recorded + 7, NULL, 16);
    if (!hasRegistrationHelper(registrar.helperMachine))
        registrar.helperMachine = otherMachine(kOwnMachine);
    return registrar;
}

static int writeAll(HANDLE file, const unsigned char* bytes, size_t size) {
    DWORD written;
    while (size > 0) {
        DWORD chunk = size > 0x100000 ? 0x100000 : (DWORD)size;
        if (!WriteFile(file, bytes, chunk, &written, NULL) || written != chunk) return 0;
        bytes += chunk;
        size -= chunk;
    }
    return 1;
}

/* The helper's bytes into a new file of the temporary folder: the one this
 * program carries, or, for its own architecture, this program itself. */
static DWORD writeHelper(Registrar* registrar) {
    WCHAR folder[MAX_PATH + 1], name[MAX_PATH + 1];
    DWORD length = GetTempPathW(MAX_PATH + 1, folder), error = 0;
    HANDLE file;
    WCHAR* self;
    if (length == 0 || length > MAX_PATH || GetTempFileNameW(folder, L"tam", 0, name) == 0)
        return GetLastError() != 0 ? GetLastError() : ERROR_PATH_NOT_FOUND;
    if (chooseRoute(registrar->helperMachine, kOwnMachine, kWindowsUnknown).route ==
        kRouteOwnProcess) { /* the test route: this program serves as the helper */
        WCHAR* from = (self = pathOfThisProgram()) != NULL ? longForm(self) : NULL;
        if (from == NULL || !CopyFileW(from, name, FALSE))
            error = from == NULL ? ERROR_NOT_ENOUGH_MEMORY : GetLastError();
        free(from);
        free(self);
    } else if (registrationHelperSize == 0) {
        error = ERROR_FILE_NOT_FOUND; /* an installer built without one */
    } else {
        file = CreateFileW(name, GENERIC_WRITE, 0, NULL, TRUNCATE_EXISTING,
                           FILE_ATTRIBUTE_NORMAL, NULL);
        if (file == INVALID_HANDLE_VALUE ||
            !writeAll(file, registrationHelper, registrationHelperSize))
            error = GetLastError();
        if (file != INVALID_HANDLE_VALUE && !CloseHandle(file) && error == 0)
            error = GetLastError();
    }
    if (error == 0 && (registrar->helper = textCopy(name)) == NULL)
        error = ERROR_NOT_ENOUGH_MEMORY;
    if (error != 0) DeleteFileW(name);
    return error;
}

/* Reads the child's reports once it has ended: the last one holds. */
static void readReports(HANDLE pipe, Registration* result) {
    ChildReport report;
    DWORD got = 0, available = 0;
    result->outcome = kServerEndedLoading;
    while (PeekNamedPipe(pipe, NULL, 0, NULL, &available, NULL) && available >= sizeof report &&
           ReadFile(pipe, &report, sizeof report, &got, NULL) && got == sizeof report &&
           report.magic == kReportMagic && report.outcome <= kServerEnded) {
        result->outcome = (RegistrationOutcome)report.outcome;
        if (report.outcome != kServerEnded) result->code = report.code;
    }
}

/* Starts program as the child for the DLL at path, and waits for it. */
static void runChild(const WCHAR* program, const WCHAR* path, int unregister,
                     Registration* result) {
    SECURITY_ATTRIBUTES inheritable = {sizeof inheritable, NULL, TRUE};
    HANDLE readEnd, writeEnd;
    STARTUPINFOW startup;
    PROCESS_INFORMATION process;
    Text command = {0};
    BOOL started = FALSE;
    if (!CreatePipe(&readEnd, &writeEnd, &inheritable, 0)) {
        result->code = GetLastError();
        return;
    }
    SetHandleInformation(readEnd, HANDLE_FLAG_INHERIT, 0);
    /* The pipe's handle has the same value in the child, which inherits it. */
    textFormat(&command, L"\"%ls\" %ls %ls %llu %ls", program, kRegistrationChildSwitch,
               unregister ? L"U" : L"R", (unsigned long long)(ULONG_PTR)writeEnd, path);
    ZeroMemory(&startup, sizeof startup);
    startup.cb = sizeof startup;
    if (command.outOfMemory)
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    else
        started = CreateProcessW(program, command.chars, NULL, NULL, TRUE, 0, NULL, NULL,
                                 &startup, &process);
    if (!started) result->code = GetLastError();
    CloseHandle(writeEnd);
    if (started) {
        CloseHandle(process.hThread);
        if (endedWithin(process.hProcess, timeLimitSeconds(), result))
            readReports(readEnd, result);
        CloseHandle(process.hProcess);
    }
    CloseHandle(readEnd);
    textFree(&command);
}

Registration runRegistration(Registrar* registrar, const WCHAR* path, int unregister) {
    Registration result = {kServerNotStarted, 0, unregister};
    WCHAR* self = NULL;
    const WCHAR* program = registrar->child;
    if (registrar->helperMachine != 0) {
        if (registrar->helper == NULL && (result.code = writeHelper(registrar)) != 0) {
            result.outcome = kHelperNotWritten;
            return result;
        }
        program = registrar->helper;
    } else if (program == NULL && (program = self = pathOfThisProgram()) == NULL) {
        result.code = GetLastError();
        return result;
    }
    runChild(program, path, unregister, &result);
    free(self);
    return result;
}

int registrationSucceeded(const Registrar* registrar, Registration registration,
                          const WCHAR* path, Text* why) {
    const WCHAR* entry = entryName(registration.unregister);
    const WCHAR* helper = machineName(registrar->helperMachine);
    DWORD code = registration.code;
    switch (registration.outcome) {
        case kServerReturned:
            if (SUCCEEDED((HRESULT)code)) return 1;
            textFormat(why, L"%ls failed (0x%08lX, ", entry, (unsigned long)code);
            textAppendSystemError(why, code, path);
            textAppend(why, L")");
            break;
        case kHelperNotWritten:
            textFormat(why, L"the %ls registration helper could not be written to the "
                            L"temporary folder (", helper);
            textAppendSystemError(why, code, L"it");
            textAppend(why, L")");
            break;
        case kServerNotStarted:
            if (helper != NULL)
                textFormat(why, L"the %ls registration helper could not be started (", helper);
            else
                textAppend(why, L"it could not be started in a process of its own (");
            textAppendSystemError(why, code, registrar->helper != NULL ? registrar->helper : path);
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
    }
    return 0;
}
