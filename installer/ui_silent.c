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

static void writeAll(HANDLE handle, const char* bytes, DWORD size) {
    DWORD written = 0;
    while (size > 0 && WriteFile(handle, bytes, size, &written, NULL) && written > 0) {
        bytes += written;
        size -= written;
    }
}

/* One line: the CR LF pairs that break a message box's text become blanks. */
static void printLine(const wchar_t* text) {
    HANDLE handle = outputHandle();
    Text line = {0};
    const wchar_t* p;
    DWORD mode;
    if (handle == NULL) return;
    for (p = text; *p != 0; ++p) {
        wchar_t c[2] = {*p == '\r' || *p == '\n' ? L' ' : *p, 0};
        if (*p == '\r' && p[1] == '\n') ++p;
        textAppend(&line, c);
    }
    textAppend(&line, L"\r\n");
    if (!line.outOfMemory) {
        if (GetConsoleMode(handle, &mode)) {
            /* A console shows UTF-16 as it is, whatever its code page. */
            DWORD written;
            WriteConsoleW(handle, line.chars, (DWORD)line.length, &written, NULL);
        } else {
            int size =
                WideCharToMultiByte(CP_UTF8, 0, line.chars, (int)line.length, NULL, 0, NULL, NULL);
            char* utf8 = size > 0 ? malloc((size_t)size) : NULL;
            if (utf8 != NULL &&
                WideCharToMultiByte(CP_UTF8, 0, line.chars, (int)line.length, utf8, size, NULL,
                                    NULL))
                writeAll(handle, utf8, (DWORD)size);
            free(utf8);
        }
    }
    textFree(&line);
}

/* Each kind of box as one line: every question is answered Yes (or OK). */
static const wchar_t* const kSilentLines[] = {
    [kAskYesNo] = L"question: %ls: %ls -> Yes",
    [kAskOkCancel] = L"warning: %ls: %ls -> OK",
    [kTellInfo] = L"message: %ls: %ls",
    [kTellError] = L"error: %ls: %ls",
};

static int silentMessage(InstallerUi* ui, MessageKind kind, const wchar_t* title,
                         const wchar_t* text) {
    Text line = {0};
    (void)ui;
    textFormat(&line, kSilentLines[kind], title, text);
    printLine(textChars(&line));
    textFree(&line);
    return 1;
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
    printLine(text);
}

InstallerUi* silentUi(void) {
    static InstallerUi ui = {silentMessage, silentChooseFolder, silentAction};
    return &ui;
}

