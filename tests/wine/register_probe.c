/* A stand-in COM server for the installer's tests: DllRegisterServer adds a
 * line "DllRegisterServer PATH" to the file named by REGISTER_PROBE_MARKER
 * (PATH: where the DLL was loaded from), and fails with E_FAIL when
 * REGISTER_PROBE_FAIL is set, as a server that cannot register does. */
#include <stdio.h>
#include <windows.h>

static HINSTANCE self;

__declspec(dllexport) HRESULT __stdcall DllRegisterServer(void) {
    char marker[MAX_PATH], path[MAX_PATH], fails[8];
    FILE* file;
    DWORD length = GetEnvironmentVariableA("REGISTER_PROBE_MARKER", marker, sizeof marker);
    if (length == 0 || length >= sizeof marker) return E_UNEXPECTED;
    if (GetModuleFileNameA(self, path, sizeof path) == 0) return E_UNEXPECTED;
    file = fopen(marker, "ab");
    if (file == NULL) return E_UNEXPECTED;
    fprintf(file, "DllRegisterServer %s\n", path);
    fclose(file);
    return GetEnvironmentVariableA("REGISTER_PROBE_FAIL", fails, sizeof fails) > 0 ? E_FAIL
                                                                                   : S_OK;
}

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved) {
    (void)reserved;
    if (reason == DLL_PROCESS_ATTACH) self = instance;
    return TRUE;
}
