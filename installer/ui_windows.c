/* The windowed mode: message boxes and the shell's folder picker. */
#include <windows.h>
#include <shlobj.h>

#include "ui.h"

static int windowsMessage(InstallerUi* ui, MessageKind kind, const char* title, const char* text) {
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
    answer = MessageBoxA(NULL, text, title, style | MB_SETFOREGROUND);
    return answer == IDYES || answer == IDOK;
}

typedef struct BrowseStart {
    const char* title;
    const char* folder;
} BrowseStart;

static int CALLBACK browseCallback(HWND window, UINT message, LPARAM parameter, LPARAM data) {
    (void)parameter;
    if (message == BFFM_INITIALIZED) {
        const BrowseStart* start = (const BrowseStart*)data;
        SetWindowTextA(window, start->title);
        /* With the new dialog style the tree may still be filling when this
         * arrives, and the selection stops short; the posted copy comes
         * once the dialog has settled. */
        SendMessageA(window, BFFM_SETSELECTIONA, TRUE, (LPARAM)start->folder);
        PostMessageA(window, BFFM_SETSELECTIONA, TRUE, (LPARAM)start->folder);
    }
    return 0;
}

static int windowsChooseFolder(InstallerUi* ui, const char* title, const char* prompt,
                               const char* start, char* folder) {
    BrowseStart browseStart;
    BROWSEINFOA info;
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
        LPITEMIDLIST chosen = SHBrowseForFolderA(&info);
        BOOL isPath;
        if (chosen == NULL) return 0;
        isPath = SHGetPathFromIDListA(chosen, folder);
        CoTaskMemFree(chosen);
        if (isPath) return 1;
        /* A virtual folder (Control Panel, a printer) has no path. */
        windowsMessage(ui, kTellError, title, "Please choose a folder on a disk.");
    }
}

static void windowsAction(InstallerUi* ui, const char* text) {
    (void)ui;
    (void)text;
}

InstallerUi* windowsUi(void) {
    static InstallerUi ui = {windowsMessage, windowsChooseFolder, windowsAction};
    return &ui;
}
