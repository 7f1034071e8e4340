/* A tiny plugin DLL for the demo. It carries the registration half of a COM
 * server: DllRegisterServer writes its ProgID and class for the current
 * user (no administrator rights needed), DllUnregisterServer takes them
 * away. The installer calls DllRegisterServer when the install info names a
 * ProgID; `reg query HKCU\Software\Classes\DemoPlugin.Connect` shows it. */
#include <string.h>
#include <windows.h>

#define PROG_ID "DemoPlugin.Connect"
#define CLASS_ID "{6C1E3A52-9B0D-4E4B-8D1F-2A7C5B9E0F13}"

static HINSTANCE self;

__declspec(dllexport) int __stdcall PluginVersion(void) { return 1; }

static LONG setValue(const char* key, const char* name, const char* value) {
    HKEY handle;
    LONG result = RegCreateKeyExA(HKEY_CURRENT_USER, key, 0, NULL, 0, KEY_SET_VALUE, NULL, &handle,
                                  NULL);
    if (result != ERROR_SUCCESS) return result;
    result = RegSetValueExA(handle, name, 0, REG_SZ, (const BYTE*)value, (DWORD)strlen(value) + 1);
    RegCloseKey(handle);
    return result;
}

__declspec(dllexport) HRESULT __stdcall DllRegisterServer(void) {
    char path[MAX_PATH];
    LONG result;
    DWORD length = GetModuleFileNameA(self, path, sizeof path);
    if (length == 0 || length >= sizeof path) return E_FAIL;
    result = setValue("Software\\Classes\\" PROG_ID, NULL, "Demo plugin");
    if (result == ERROR_SUCCESS)
        result = setValue("Software\\Classes\\" PROG_ID "\\CLSID", NULL, CLASS_ID);
    if (result == ERROR_SUCCESS)
        result = setValue("Software\\Classes\\CLSID\\" CLASS_ID, NULL, "Demo plugin");
    if (result == ERROR_SUCCESS)
        result = setValue("Software\\Classes\\CLSID\\" CLASS_ID "\\InprocServer32", NULL, path);
    if (result == ERROR_SUCCESS)
        result = setValue("Software\\Classes\\CLSID\\" CLASS_ID "\\ProgID", NULL, PROG_ID);
    return HRESULT_FROM_WIN32(result);
}

__declspec(dllexport) HRESULT __stdcall DllUnregisterServer(void) {
    RegDeleteKeyA(HKEY_CURRENT_USER, "Software\\Classes\\" PROG_ID "\\CLSID");
    RegDeleteKeyA(HKEY_CURRENT_USER, "Software\\Classes\\" PROG_ID);
    RegDeleteKeyA(HKEY_CURRENT_USER, "Software\\Classes\\CLSID\\" CLASS_ID "\\ProgID");
    RegDeleteKeyA(HKEY_CURRENT_USER, "Software\\Classes\\CLSID\\" CLASS_ID "\\InprocServer32");
    RegDeleteKeyA(HKEY_CURRENT_USER, "Software\\Classes\\CLSID\\" CLASS_ID);
    return S_OK;
}

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved) {
    (void)reserved;
    if (reason == DLL_PROCESS_ATTACH) self = instance;
    return TRUE;
}
