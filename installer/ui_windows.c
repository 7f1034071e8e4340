/* The windowed mode: message boxes and the shell's folder picker. */
#include <windows.h>
#include <commctrl.h>
#include <shlobj.h>
#include <stdlib.h>

#include "files.h"
#include "names.h"
#include "text.h"
#include "ui.h"

typedef HRESULT(WINAPI* TaskDialogIndirectFunction)(const TASKDIALOGCONFIG* config, int* button,
                                                     int* radio, BOOL* checked);

/* Retry or Continue, as the buttons say it (Common Controls 6, which the
 * manifest asks for); where there is no task dialog, Retry and Cancel, the
 * text saying what Cancel does. */
static int askRetryContinue(const wchar_t* title, const wchar_t* text) {
    static const TASKDIALOG_BUTTON kButtons[] = {{IDRETRY, L"&Retry"}, {IDCONTINUE, L"&Continue"}};
    /* Version 6, as the manifest's activation context maps it; kept loaded. */
    HMODULE controls = LoadLibraryW(L"comctl32.dll");
    TaskDialogIndirectFunction show =
        controls != NULL ? (TaskDialogIndirectFunction)(void (*)(void))GetProcAddress(
                               controls, "TaskDialogIndirect")
                         : NULL;
    TASKDIALOGCONFIG config;
    Text fallback = {0};
    int button = 0;
    if (show != NULL) {
        ZeroMemory(&config, sizeof config);
        config.cbSize = sizeof config;
        config.dwFlags = TDF_ALLOW_DIALOG_CANCELLATION;
        config.pszWindowTitle = title;
        config.pszMainIcon = TD_WARNING_ICON;
        config.pszContent = text;
        config.cButtons = 2;
        config.pButtons = kButtons;
        config.nDefaultButton = IDRETRY;
        if (SUCCEEDED(show(&config, &button, NULL, NULL))) return button == IDRETRY;
    }
    textFormat(&fallback, L"%ls\r\n\r\n(Cancel continues.)", text);
    button = MessageBoxW(NULL, textChars(&fallback), title,
                         MB_RETRYCANCEL | MB_ICONWARNING | MB_SETFOREGROUND);
    textFree(&fallback);
    return button == IDRETRY;
}

static int windowsMessage(InstallerUi* ui, MessageKind kind, const wchar_t* title,
                          const wchar_t* text) {
    UINT style = MB_OK | MB_ICONINFORMATION;
    int answer;
    (void)ui;
    switch (kind) {
        case kAskRetryContinue:
            return askRetryContinue(title, text);
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

/* The picker's state, for its callback and its window procedure. */
typedef struct Browse {
    const wchar_t* title;
    const wchar_t* start;
    wchar_t* shown;    /* the folder the tree starts in: start, or the one above it */
    wchar_t* selected; /* the path of the folder selected in the tree, or NULL */
    wchar_t* typed;    /* a folder typed into the box, there or not yet */
    WNDPROC dialogProcedure;
} Browse;

static const wchar_t kBrowseProperty[] = L"TamselBrowse";

/* The chosen folder's path, of any length: SHGetPathFromIDListEx where
 * Windows has it (Vista on), else the MAX_PATH one. */
typedef BOOL(WINAPI* PathFromIdListFunction)(PCIDLIST_ABSOLUTE list, PWSTR path, DWORD size,
                                             int flags);

static int pathOf(LPCITEMIDLIST chosen, wchar_t** folder) {
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

/* Runs once the dialog has settled (a timer comes after every posted
 * message): the start folder is not there yet, so the tree shows the folder
 * it goes in, and the box holds the start folder itself for OK to take. */
static void CALLBACK typeStart(HWND window, UINT message, UINT_PTR timer, DWORD time) {
    const Browse* browse = (const Browse*)timer;
    HWND box = FindWindowExW(window, NULL, L"Edit", NULL);
    (void)message;
    (void)time;
    KillTimer(window, timer);
    if (box != NULL) SetWindowTextW(box, browse->start);
}

static int isFullPath(const wchar_t* path) {
    return path[0] == '\\' ||
           (((path[0] >= 'A' && path[0] <= 'Z') || (path[0] >= 'a' && path[0] <= 'z')) &&
            path[1] == ':' && path[2] == '\\');
}

/* The box's text when it is a full path (malloc'd), else NULL. */
static wchar_t* typedFullPath(HWND dialog) {
    HWND box = FindWindowExW(dialog, NULL, L"Edit", NULL);
    int length = box != NULL ? GetWindowTextLengthW(box) : 0;
    wchar_t* text = length > 0 ? malloc(sizeof *text * ((size_t)length + 1)) : NULL;
    if (text != NULL && GetWindowTextW(box, text, length + 1) > 0 && isFullPath(text))
        return text;
    free(text);
    return NULL;
}

/* The dialog's own procedure, with OK looking at the box first: a full path
 * typed there is the answer. Windows hands one that is not there to the
 * callback (BIF_VALIDATE), but Wine's dialog answers with the tree's
 * selection whatever the box holds. */
static LRESULT CALLBACK browseWindow(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    Browse* browse = (Browse*)GetPropW(window, kBrowseProperty);
    WNDPROC dialogProcedure = browse->dialogProcedure;
    if (message == WM_COMMAND && (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL)) {
        free(browse->typed);
        browse->typed = LOWORD(wParam) == IDOK ? typedFullPath(window) : NULL;
    } else if (message == WM_NCDESTROY) {
        SetWindowLongPtrW(window, GWLP_WNDPROC, (LONG_PTR)dialogProcedure);
        RemovePropW(window, kBrowseProperty);
    }
    return CallWindowProcW(dialogProcedure, window, message, wParam, lParam);
}

static int CALLBACK browseCallback(HWND window, UINT message, LPARAM parameter, LPARAM data) {
    Browse* browse = (Browse*)data;
    if (message == BFFM_INITIALIZED) {
        DWORD attributes = GetFileAttributesW(browse->start);
        int isThere = attributes != INVALID_FILE_ATTRIBUTES &&
                      (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
        const wchar_t* shown = isThere || browse->shown == NULL ? browse->start : browse->shown;
        SetWindowTextW(window, browse->title);
        if (SetPropW(window, kBrowseProperty, browse))
            browse->dialogProcedure = (WNDPROC)SetWindowLongPtrW(window, GWLP_WNDPROC,
                                                                  (LONG_PTR)browseWindow);
        /* With the new dialog style the tree may still be filling when this
         * arrives, and the selection stops short; the posted copy comes
         * once the dialog has settled. */
        SendMessageW(window, BFFM_SETSELECTIONW, TRUE, (LPARAM)shown);
        PostMessageW(window, BFFM_SETSELECTIONW, TRUE, (LPARAM)shown);
        if (!isThere) SetTimer(window, (UINT_PTR)browse, 0, typeStart);
    } else if (message == BFFM_SELCHANGED) {
        wchar_t* path = NULL; /* stays so for a folder without a path */
        pathOf((LPCITEMIDLIST)parameter, &path);
        free(browse->selected);
        browse->selected = path;
    } else if (message == BFFM_VALIDATEFAILEDW) {
        /* The box names a folder that is not there: it is made on install.
         * A name without a root goes in the folder selected in the tree. */
        const wchar_t* typed = (const wchar_t*)parameter;
        wchar_t* path;
        if (isFullPath(typed)) {
            path = textCopy(typed);
        } else if (browse->selected != NULL) {
            path = joinPath(browse->selected, typed);
        } else {
            return 1; /* nowhere to put it: the dialog stays */
        }
        free(browse->typed);
        browse->typed = path;
        return browse->typed == NULL; /* 0 closes the dialog */
    }
    return 0;
}

static int windowsChooseFolder(InstallerUi* ui, const wchar_t* title, const wchar_t* prompt,
                               const wchar_t* start, wchar_t** folder) {
    Browse browse = {title, start, textCopy(start), NULL, NULL, NULL};
    wchar_t* last = browse.shown != NULL ? wcsrchr(browse.shown, '\\') : NULL;
    BROWSEINFOW info;
    int result = -1;
    /* A start folder that is not there yet is shown as the folder above it
     * with the start's path in the box. */
    if (last != NULL && last > browse.shown) *last = 0;
    ZeroMemory(&info, sizeof info);
    info.lpszTitle = prompt;
    /* The new dialog style has a "Make New Folder" button; it needs OLE,
     * which the program initialises at its start. The box takes a typed
     * folder; BIF_VALIDATE hands one that is not there to the callback. */
    info.ulFlags = BIF_RETURNONLYFSDIRS | BIF_NEWDIALOGSTYLE | BIF_EDITBOX | BIF_VALIDATE;
    info.lpfn = browseCallback;
    info.lParam = (LPARAM)&browse;
    while (result < 0) {
        LPITEMIDLIST chosen = SHBrowseForFolderW(&info);
        if (browse.typed != NULL) {
            *folder = browse.typed;
            browse.typed = NULL;
            result = 1;
        } else if (chosen == NULL) {
            result = 0;
        } else if (pathOf(chosen, folder)) {
            result = 1;
        } else {
            /* A virtual folder (Control Panel, a printer) has no path. */
            windowsMessage(ui, kTellError, title, L"Please choose a folder on a disk.");
        }
        if (chosen != NULL) CoTaskMemFree(chosen);
        free(browse.selected);
        browse.selected = NULL;
    }
    free(browse.shown);
    return result;
}

static void windowsAction(InstallerUi* ui, const wchar_t* text) {
    (void)ui;
    (void)text;
}

InstallerUi* windowsUi(void) {
    static InstallerUi ui = {windowsMessage, windowsChooseFolder, windowsAction};
    return &ui;
}
