/* A tiny plugin DLL for the demo: the updater only carries its bytes. */
#include <windows.h>

__declspec(dllexport) int __stdcall PluginVersion(void) { return 1; }

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved) {
    (void)instance;
    (void)reason;
    (void)reserved;
    return TRUE;
}
