/* A stand-in COM server for the installer's tests: DllRegisterServer and
 * DllUnregisterServer each add a line "NAME PATH" to the file named by
 * REGISTER_PROBE_MARKER (PATH: where the DLL was loaded from). With
 * REGISTER_PROBE_FAIL set, DllRegisterServer misbehaves as a broken server
 * would: "crash" dereferences NULL, "exit" ends the process with exit code
 * 0, "hang" never returns, anything else fails with E_FAIL. With
 * REGISTER_PROBE_LOAD=NAME, it then loads the DLL NAME by bare name, as
 * a server would load a system DLL, and records "LoadLibrary-found" or
 * "LoadLibrary-not-found" with its PATH. Built with
 * PROBE_HELPER it also calls a function of probe_helper.dll, which must be
 * found beside it. */
#include <stdio.h>
#include <string.h>
#include <windows.h>

#ifdef PROBE_HELPER
__declspec(dllimport) const char* probeHelperWord(void);
#endif

static HINSTANCE self;

static HRESULT record(const char* name) {
    char marker[MAX_PATH], path[MAX_PATH];
    FILE* file;
    DWORD length = GetEnvironmentVariableA("REGISTER_PROBE_MARKER", marker, sizeof marker);
    if (length == 0 || length >= sizeof marker) return E_UNEXPECTED;
    if (GetModuleFileNameA(self, path, sizeof path) == 0) return E_UNEXPECTED;
    file = fopen(marker, "ab");
    if (file == NULL) return E_UNEXPECTED;
#ifdef PROBE_HELPER
    fprintf(file, "%s %s %s\n", name, path, probeHelperWord());
#else
    fprintf(file, "%s %s\n", name, path);
#endif
    fclose(file);
    return S_OK;
}

__declspec(dllexport) HRESULT __stdcall DllRegisterServer(void) {
    char fails[8] = "", load[MAX_PATH];
    HRESULT recorded = record("DllRegisterServer");
    DWORD length = GetEnvironmentVariableA("REGISTER_PROBE_LOAD", load, sizeof load);
    if (length > 0 && length < sizeof load)
        record(LoadLibraryA(load) != NULL ? "LoadLibrary-found" : "LoadLibrary-not-found");
    if (GetEnvironmentVariableA("REGISTER_PROBE_FAIL", fails, sizeof fails) == 0) return recorded;
    if (strcmp(fails, "crash") == 0) *(volatile int*)NULL = 1;
    if (strcmp(fails, "exit") == 0) ExitProcess(0);
    if (strcmp(fails, "hang") == 0)
        for (;;) Sleep(1000);
    return E_FAIL;
}

__declspec(dllexport) HRESULT __stdcall DllUnregisterServer(void) {
    return record("DllUnregisterServer");
}

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved) {
    (void)reserved;
    if (reason == DLL_PROCESS_ATTACH) self = instance;
    return TRUE;
}
