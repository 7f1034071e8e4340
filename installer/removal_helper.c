/* A running program cannot delete its own file: a copy of uninstall.exe in
 * the temporary folder, started with an internal switch, waits for it to
 * end, then deletes it and the recorded folders around it. */
#include "removal_helper.h"

#include <stdlib.h>
#include <wchar.h>
#include <shellapi.h>

#include "files.h"
#include "text.h"

static const WCHAR kRemovalSwitch[] = L"/tamsel-remove-after";

/* A copy of this program in the temporary folder (malloc'd), or NULL with
 * *error: it calls the plugin's DllUnregisterServer (CreateProcess takes no
 * program past MAX_PATH, where this one may be) and, once this program has
 * ended, removes it. */
WCHAR* temporaryCopy(const WCHAR* self, DWORD* error) {
    WCHAR folder[MAX_PATH + 1], copy[MAX_PATH + 1];
    WCHAR* from = longForm(self);
    DWORD length = GetTempPathW(MAX_PATH + 1, folder);
    int ok = from != NULL && length > 0 && length <= MAX_PATH &&
             GetTempFileNameW(folder, L"tam", 0, copy) != 0;
    if (ok && !CopyFileW(from, copy, FALSE)) {
        *error = GetLastError();
        DeleteFileW(copy);
        free(from);
        return NULL;
    }
    *error = from == NULL ? ERROR_NOT_ENOUGH_MEMORY : GetLastError();
    free(from);
    return ok ? textCopy(copy) : NULL;
}

/* Starts the copy that removes this program's file and the folders around
 * it once it has ended. */
int startRemovalHelper(const WCHAR* copy, const WCHAR* self, const PathList* folders,
                              DWORD* error) {
    Text command = {0};
    HANDLE waitFor = NULL;
    STARTUPINFOW startup;
    PROCESS_INFORMATION process;
    BOOL started = FALSE;
    WCHAR folder[MAX_PATH + 1];
    UINT length = GetSystemWindowsDirectoryW(folder, MAX_PATH + 1);
    size_t i;
    if (!DuplicateHandle(GetCurrentProcess(), GetCurrentProcess(), GetCurrentProcess(),
                         &waitFor, SYNCHRONIZE, TRUE, 0)) {
        *error = GetLastError();
        return 0;
    }
    textFormat(&command, L"\"%ls\" %ls %llu \"%ls\"", copy, kRemovalSwitch,
               (unsigned long long)(ULONG_PTR)waitFor, self);
    for (i = 0; i < folders->count; ++i) textFormat(&command, L" \"%ls\"", folders->paths[i]);
    ZeroMemory(&startup, sizeof startup);
    startup.cb = sizeof startup;
    if (!command.outOfMemory)
        /* Not in the current folder, which may be one it is to remove. */
        started = CreateProcessW(copy, command.chars, NULL, NULL, TRUE, 0, NULL,
                                 length > 0 && length <= MAX_PATH ? folder : NULL, &startup,
                                 &process);
    *error = command.outOfMemory ? ERROR_NOT_ENOUGH_MEMORY : GetLastError();
    CloseHandle(waitFor);
    textFree(&command);
    if (!started) return 0;
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return 1;
}

int runRemovalHelper(const WCHAR* arguments, int* exitCode) {
    size_t switchLength = wcslen(kRemovalSwitch);
    WCHAR** argv;
    WCHAR* self;
    int count, i, attempt;
    if (wcsncmp(arguments, kRemovalSwitch, switchLength) != 0 || arguments[switchLength] != ' ')
        return 0;
    *exitCode = 0;
    argv = CommandLineToArgvW(arguments, &count);
    if (argv == NULL || count < 3) return 1;
    WaitForSingleObject((HANDLE)(ULONG_PTR)wcstoull(argv[1], NULL, 10), 60000);
    /* Windows may hold the file a moment after its program has ended. */
    for (attempt = 0; attempt < 50 && !pathDelete(argv[2]) &&
                      GetLastError() != ERROR_FILE_NOT_FOUND;
         ++attempt)
        Sleep(100);
    for (i = 3; i < count; ++i) pathRemoveFolder(argv[i]);
    LocalFree(argv);
    /* This copy is in the temporary folder; it goes at the next start. */
    if ((self = pathOfThisProgram()) != NULL) MoveFileExW(self, NULL, MOVEFILE_DELAY_UNTIL_REBOOT);
    free(self);
    return 1;
}

