/* Works the installer's real windows from another process, as an end user
 * would: starts the program, and for each step waits for its next dialog,
 * prints what the dialog says and answers it.
 *
 *   drive_installer.exe PROGRAM STEP...
 *
 * A step answers one dialog:
 *   yes, no, ok, cancel   presses that button of a message box (or Cancel
 *                         of the folder picker);
 *   folder=PATH           types PATH into the folder picker's box and
 *                         presses OK.
 * Each dialog gives one line on standard output, in UTF-8:
 *   box: TITLE: TEXT -> ANSWER
 *   picker: TITLE: BOX TEXT -> ANSWER
 * and the program's end gives "exit: CODE". Exit code 0 when every step
 * found its dialog and the program ended, 1 otherwise (with the step said). */
#include <windows.h>

#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <wchar.h>

enum { kWaitSeconds = 60 };

static void printUtf8(const wchar_t* text) {
    char bytes[4096];
    int length = WideCharToMultiByte(CP_UTF8, 0, text, -1, bytes, sizeof bytes, NULL, NULL);
    if (length > 0) fputs(bytes, stdout);
}

static int fail(const char* what, const wchar_t* step) {
    printf("drive_installer: %s: ", what);
    printUtf8(step);
    printf("\n");
    return 1;
}

typedef struct Search {
    DWORD process;
    HWND skip; /* the dialog answered last, which may not be gone yet */
    HWND found;
} Search;

static BOOL CALLBACK dialogOfProcess(HWND window, LPARAM data) {
    Search* search = (Search*)data;
    DWORD process = 0;
    wchar_t kind[16];
    GetWindowThreadProcessId(window, &process);
    if (process != search->process || window == search->skip || !IsWindowVisible(window))
        return TRUE;
    GetClassNameW(window, kind, 16);
    if (wcscmp(kind, L"#32770") != 0) return TRUE;
    search->found = window;
    return FALSE;
}

/* The next visible dialog of the process, or NULL when none came in time
 * or the process ended. */
static HWND nextDialog(HANDLE process, DWORD id, HWND previous) {
    for (int i = 0; i < kWaitSeconds * 10; ++i) {
        Search search = {id, previous, NULL};
        if (previous != NULL && !IsWindow(previous)) previous = search.skip = NULL;
        EnumWindows(dialogOfProcess, (LPARAM)&search);
        if (search.found != NULL) {
            Sleep(300); /* let it finish drawing and settle its controls */
            return search.found;
        }
        if (WaitForSingleObject(process, 100) == WAIT_OBJECT_0) return NULL;
    }
    return NULL;
}

/* The message box's text: its static control that holds text. */
typedef struct Said {
    wchar_t text[2048];
} Said;

static BOOL CALLBACK textOfStatic(HWND child, LPARAM data) {
    Said* said = (Said*)data;
    wchar_t kind[16];
    GetClassNameW(child, kind, 16);
    if (_wcsicmp(kind, L"Static") == 0 &&
        SendMessageW(child, WM_GETTEXT, 2048, (LPARAM)said->text) > 0)
        return FALSE;
    said->text[0] = 0;
    return TRUE;
}

static int buttonOf(const wchar_t* answer) {
    static const struct {
        const wchar_t* word;
        int id;
    } kButtons[] = {{L"yes", IDYES}, {L"no", IDNO}, {L"ok", IDOK}, {L"cancel", IDCANCEL}};
    for (size_t i = 0; i < sizeof kButtons / sizeof kButtons[0]; ++i)
        if (wcscmp(answer, kButtons[i].word) == 0) return kButtons[i].id;
    return 0;
}

static void press(HWND dialog, int id) {
    HWND button = GetDlgItem(dialog, id);
    PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), (LPARAM)button);
}

/* Answers one dialog as the step says; 0 when the step does not fit it. */
static int answer(HWND dialog, const wchar_t* step) {
    wchar_t title[512] = L"";
    HWND box = FindWindowExW(dialog, NULL, L"Edit", NULL);
    const wchar_t* typed = wcsncmp(step, L"folder=", 7) == 0 ? step + 7 : NULL;
    int id = typed != NULL ? IDOK : buttonOf(step);
    GetWindowTextW(dialog, title, 512);
    if (id == 0) return 0;
    if (box != NULL) {
        /* The picker fills its box once it has settled: wait for that. */
        wchar_t shown[1024] = L"";
        for (int i = 0; i < 50 && GetWindowTextLengthW(box) == 0; ++i) Sleep(100);
        SendMessageW(box, WM_GETTEXT, 1024, (LPARAM)shown);
        printf("picker: ");
        printUtf8(title);
        printf(": ");
        printUtf8(shown);
        if (typed != NULL) SendMessageW(box, WM_SETTEXT, 0, (LPARAM)typed);
    } else {
        Said said = {L""};
        if (typed != NULL) return 0;
        EnumChildWindows(dialog, textOfStatic, (LPARAM)&said);
        printf("box: ");
        printUtf8(title);
        printf(": ");
        printUtf8(said.text);
    }
    printf(" -> ");
    printUtf8(step);
    printf("\n");
    fflush(stdout);
    press(dialog, id);
    return 1;
}

int wmain(int argc, wchar_t** argv) {
    STARTUPINFOW startup;
    PROCESS_INFORMATION started;
    wchar_t* command;
    size_t length;
    HWND previous = NULL;
    DWORD code = 1;
    if (argc < 2) {
        fputs("usage: drive_installer.exe PROGRAM STEP...\n", stderr);
        return 2;
    }
    length = wcslen(argv[1]) + 3;
    command = malloc(sizeof *command * length);
    if (command == NULL) return 1;
    swprintf(command, length, L"\"%ls\"", argv[1]);
    ZeroMemory(&startup, sizeof startup);
    startup.cb = sizeof startup;
    /* Seen once in CI: an uninstall.exe the installer had just written would
     * not start. A few tries, each failure said on stderr with its code, keep
     * a passing moment from failing the run; a lasting one still fails. */
    for (int tries = 1;; ++tries) {
        if (CreateProcessW(NULL, command, NULL, NULL, FALSE, 0, NULL, NULL, &startup, &started))
            break;
        fprintf(stderr, "drive_installer: try %d: Windows error %lu\n", tries,
                (unsigned long)GetLastError());
        if (tries == 10) return fail("cannot start", argv[1]);
        Sleep(300);
    }
    free(command);
    for (int i = 2; i < argc; ++i) {
        HWND dialog = nextDialog(started.hProcess, started.dwProcessId, previous);
        if (dialog == NULL) return fail("no dialog came for the step", argv[i]);
        if (!answer(dialog, argv[i])) return fail("the dialog does not take the step", argv[i]);
        previous = dialog;
    }
    if (WaitForSingleObject(started.hProcess, kWaitSeconds * 1000) != WAIT_OBJECT_0) {
        HWND dialog = nextDialog(started.hProcess, started.dwProcessId, previous);
        Said said = {L""};
        if (dialog != NULL) EnumChildWindows(dialog, textOfStatic, (LPARAM)&said);
        TerminateProcess(started.hProcess, 3);
        return fail("the program did not end; a dialog still open says", said.text);
    }
    GetExitCodeProcess(started.hProcess, &code);
    printf("exit: %lu\n", (unsigned long)code);
    CloseHandle(started.hThread);
    CloseHandle(started.hProcess);
    return 0;
}
