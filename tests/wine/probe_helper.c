/* A DLL of the plugin's own, installed beside it: the plugin built with
 * PROBE_HELPER imports it. */
__declspec(dllexport) const char* probeHelperWord(void) { return "with-helper"; }
