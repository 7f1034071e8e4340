/* A stand-in for the file the installer opens after installing: adds a line
 * "opened PATH ARGUMENTS" to the file named by OPEN_PROBE_MARKER (PATH: this
 * program; ARGUMENTS: its command line after its name, where the file that
 * an association opened with it shows). */
#include <stdio.h>
#include <windows.h>

int WINAPI WinMain(HINSTANCE instance, HINSTANCE previous, LPSTR arguments, int show) {
    char marker[MAX_PATH], path[MAX_PATH];
    FILE* file;
    DWORD length = GetEnvironmentVariableA("OPEN_PROBE_MARKER", marker, sizeof marker);
    (void)instance;
    (void)previous;
    (void)show;
    if (length == 0 || length >= sizeof marker) return 1;
    if (GetModuleFileNameA(NULL, path, sizeof path) == 0) return 1;
    file = fopen(marker, "ab");
    if (file == NULL) return 1;
    fprintf(file, "opened %s %s\n", path, arguments);
    fclose(file);
    return 0;
}
