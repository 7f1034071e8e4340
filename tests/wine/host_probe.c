/* A stand-in for the host program that holds a plugin: it loads the DLL
 * named first, writes the file named second once it holds it, and holds it
 * until that file is deleted (at most two minutes).
 *
 *   host_probe.exe PLUGIN.dll MARKER */
#include <stdio.h>
#include <windows.h>

int wmain(int argc, wchar_t** argv) {
    FILE* marker;
    int tenths;
    if (argc != 3 || LoadLibraryW(argv[1]) == NULL) return 1;
    if ((marker = _wfopen(argv[2], L"wb")) == NULL) return 1;
    fputs("holding\n", marker);
    fclose(marker);
    for (tenths = 0; tenths < 1200 && GetFileAttributesW(argv[2]) != INVALID_FILE_ATTRIBUTES;
         ++tenths)
        Sleep(100);
    return 0;
}
