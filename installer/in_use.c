#include "in_use.h"

#include <restartmanager.h>

#include "report.h"

InUseProbe inUseProbe = NULL;

typedef DWORD(WINAPI* RmStartSessionFunction)(DWORD* session, DWORD flags, WCHAR key[]);
typedef DWORD(WINAPI* RmRegisterResourcesFunction)(DWORD session, UINT files, LPCWSTR names[],
                                                    UINT applications,
                                                    RM_UNIQUE_PROCESS processes[], UINT services,
                                                    LPCWSTR serviceNames[]);
typedef DWORD(WINAPI* RmGetListFunction)(DWORD session, UINT* needed, UINT* count,
                                          RM_PROCESS_INFO processes[], LPDWORD reasons);
typedef DWORD(WINAPI* RmEndSessionFunction)(DWORD session);

/* The Restart Manager is looked up: Windows XP has none, and it is taken
 * from the system folder only. */
size_t programsUsing(const WCHAR* const* paths, size_t count, Text* names) {
    HMODULE library;
    RmStartSessionFunction start;
    RmRegisterResourcesFunction registerFiles;
    RmGetListFunction list;
    RmEndSessionFunction end;
    RM_PROCESS_INFO processes[16];
    WCHAR key[CCH_RM_SESSION_KEY + 1] = {0};
    DWORD session, reasons = 0;
    UINT needed = 0, got = 16, i;
    size_t found = 0;
    if (inUseProbe != NULL) return inUseProbe(paths, count, names);
    if (count == 0) return 0;
    library = LoadLibraryExW(L"rstrtmgr.dll", NULL, LOAD_LIBRARY_SEARCH_SYSTEM32);
    if (library == NULL) return 0;
    start = (RmStartSessionFunction)(void (*)(void))GetProcAddress(library, "RmStartSession");
    registerFiles = (RmRegisterResourcesFunction)(void (*)(void))GetProcAddress(
        library, "RmRegisterResources");
    list = (RmGetListFunction)(void (*)(void))GetProcAddress(library, "RmGetList");
    end = (RmEndSessionFunction)(void (*)(void))GetProcAddress(library, "RmEndSession");
    if (start != NULL && registerFiles != NULL && list != NULL && end != NULL &&
        start(&session, 0, key) == ERROR_SUCCESS) {
        DWORD status = registerFiles(session, (UINT)count, (LPCWSTR*)paths, 0, NULL, 0, NULL);
        if (status == ERROR_SUCCESS) status = list(session, &needed, &got, processes, &reasons);
        if (status == ERROR_SUCCESS) {
            for (i = 0; i < got && i < 16; ++i, ++found)
                textFormat(names, found > 0 ? L", %ls" : L"%ls", processes[i].strAppName);
        } else if (status == ERROR_MORE_DATA) { /* too many to name */
            textFormat(names, L"%u programs", needed);
            found = needed;
        }
        end(session);
    }
    FreeLibrary(library);
    return found;
}

void askToCloseHolders(InstallerUi* ui, const WCHAR* title, const WCHAR* const* paths,
                       size_t count, const WCHAR* what) {
    for (;;) {
        Text names = {0}, question = {0};
        int retry;
        if (programsUsing(paths, count, &names) == 0) {
            textFree(&names);
            return;
        }
        textFormat(&question,
                   L"These programs use files that the %ls: %ls. Close them and choose "
                   L"Retry, or choose Continue: Windows then finishes when it restarts.",
                   what, textChars(&names));
        retry = ui->message(ui, kAskRetryContinue, title, textChars(&question));
        textFree(&names);
        textFree(&question);
        if (!retry) return;
    }
}
