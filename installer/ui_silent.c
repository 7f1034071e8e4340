/* The silent mode: no windows. Every question is answered Yes (or OK), and
 * each message and action becomes one line on standard output, in UTF-8. */
#include <stdlib.h>
#include <windows.h>

#include "text.h"
#include "ui.h"

typedef BOOL(WINAPI* AttachConsoleFunction)(DWORD process);

static HANDLE outputHandle(void) {
    static HANDLE handle = NULL;
    static int looked = 0;
    if (!looked) {
        looked = 1;
        handle = GetStdHandle(STD_OUTPUT_HANDLE);
        if (handle == NULL || handle == INVALID_HANDLE_VALUE) {
            /* A windowed program started from a console gets no output of
             * its own: write to the console of the program that started it.
             * AttachConsole is looked up because Windows 2000 lacks it. */
            FARPROC found = GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "AttachConsole");
            AttachConsoleFunction attach = (AttachConsoleFunction)(void (*)(void))found;
            handle = NULL;
            if (attach != NULL && attach(ATTACH_PARENT_PROCESS))
                handle = CreateFileW(L"CONOUT$", GENERIC_READ | GENERIC_WRITE,
                                     FILE_SHARE_READ | FILE_SHARE_WRITE, NULL, OPEN_EXISTING, 0,
                                     NULL);
            if (handle == INVALID_HANDLE_VALUE) handle = NULL;
        }
    }
    return handle;
}

static void silentPrint(const wchar_t* text) {
    HANDLE handle = outputHandle();
    if (handle != NULL) writeLine(handle, text);
}

static int silentMessage(InstallerUi* ui, MessageKind kind, const wchar_t* title,
                         const wchar_t* text) {
    Text line = {0};
    /* Every question is answered Yes (or OK); files in use, Continue. */
    int answer = kind != kAskRetryContinue;
    (void)ui;
    messageLine(&line, kind, title, text, answer);
    silentPrint(textChars(&line));
    textFree(&line);
    return answer;
}

static int silentChooseFolder(InstallerUi* ui, const wchar_t* title, const wchar_t* prompt,
                              const wchar_t* start, wchar_t** folder) {
    (void)ui;
    (void)title;
    (void)prompt;
    *folder = textCopy(start);
    return 1;
}

static void silentAction(InstallerUi* ui, const wchar_t* text) {
    (void)ui;
    silentPrint(text);
}

InstallerUi* silentUi(void) {
    static InstallerUi ui = {silentMessage, silentChooseFolder, silentAction};
    return &ui;
}

