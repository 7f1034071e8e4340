/* The windowed mode: message boxes and the shell's folder picker. */
#include <windows.h>
#include <shlobj.h>
#include <stdlib.h>

#include "names.h"
#include "text.h"
#include "ui.h"

static int windowsMessage(InstallerUi* ui, MessageKind kind, const wchar_t* title,
                          const wchar_t* text) {
    UINT style = MB_OK | MB_ICONINFORMATION;
    int answer;
    (void)ui;
    switch (kind) {
        case kAskYesNo:
            style = MB_YESNO | MB_ICONQUESTION;
            break;
        case kAskOkCancel:
            style = MB_OKCANCEL | MB_ICONWARNING;
            break;
        case kTellInfo:
            style = MB_OK | MB_ICONINFORMATION;
            break;
        case kTellError:
            style = MB_OK | MB_ICONERROR;
            break;
    }
    /* No window of our own owns the boxes: bring each to the front. */
    answer = MessageBoxW(NULL, text, title, style | MB_SETFOREGROUND);
    return answer == IDYES || answer == IDOK;
}

typedef struct BrowseStart {
    const wchar_t* title;
    const wchar_t* folder;
} BrowseStart;

static int CALLBACK browseCallback(HWND window, UINT message, LPARAM parameter, LPARAM data) {
    (void)parameter;
    if (message == BFFM_INITIALIZED) {
        const BrowseStart* start = (const BrowseStart*)data;
        SetWindowTextW(window, start->title);
        /* With the new dialog style the tree may still be filling when this
         * arrives, and the selection stops short; the posted copy comes
         * once the dialog has settled. */
        SendMessageW(window, BFFM_SETSELECTIONW, TRUE, (LPARAM)start->folder);
        PostMessageW(window, BFFM_SETSELECTIONW, TRUE, (LPARAM)start->folder);
    }
    return 0;
}

/* The chosen folder's path, of any length: SHGetPathFromIDListEx where
 * Windows has it (Vista on), else the MAX_PATH one. */
typedef BOOL(WINAPI* PathFromIdListFunction)(PCIDLIST_ABSOLUTE list, PWSTR path, DWORD size,
                                             int flags);

static int pathOf(LPITEMIDLIST chosen, wchar_t** folder) {
    FARPROC found = GetProcAddress(GetModuleHandleW(L"shell32.dll"), "SHGetPathFromIDListEx");
    PathFromIdListFunction fromList = (PathFromIdListFunction)(void (*)(void))found;
    DWORD size = fromList != NULL ? kLongPathMax + 1 : MAX_PATH;
    wchar_t* path = malloc(sizeof *path * size);
    int ok;
    if (path == NULL) {
        *folder = NULL;
        return 1;
    }
    ok = fromList != NULL ? fromList(chosen, path, size, 0) : SHGetPathFromIDListW(chosen, path);
    if (ok) *folder = textCopy(path);
    free(path);
    return ok;
}

static int windowsChooseFolder(InstallerUi* ui, const wchar_t* title, const wchar_t* prompt,
                               const wchar_t* start, wchar_t** folder) {
    BrowseStart browseStart;
    BROWSEINFOW info;
    browseStart.title = title;
    browseStart.folder = start;
    ZeroMemory(&info, sizeof info);
    info.lpszTitle = prompt;
    /* The new dialog style has a "Make New Folder" button; it needs OLE,
     * which the program initialises at its start. */
    info.ulFlags = BIF_RETURNONLYFSDIRS | BIF_NEWDIALOGSTYLE;
    info.lpfn = browseCallback;
    info.lParam = (LPARAM)&browseStart;
    while (1) {
        LPITEMIDLIST chosen = SHBrowseForFolderW(&info);
        int isPath;
        if (chosen == NULL) return 0;
        isPath = pathOf(chosen, folder);
        CoTaskMemFree(chosen);
        if (isPath) return 1;
        /* A virtual folder (Control Panel, a printer) has no path. */
        windowsMessage(ui, kTellError, title, L"Please choose a folder on a disk.");
    }
}

static void windowsAction(InstallerUi* ui, const wchar_t* text) {
    (void)ui;
    (void)text;
}

InstallerUi* windowsUi(void) {
    static InstallerUi ui = {windowsMessage, windowsChooseFolder, windowsAction};
    return &ui;
}
