/* The silent mode: no windows. Every question is answered Yes (or OK), and
 * each message and action becomes one line on standard output, in UTF-8:
 * the ANSI texts go through UTF-16 with the ANSI code page. */
#include <stdlib.h>
#include <string.h>
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
            FARPROC found = GetProcAddress(GetModuleHandleA("kernel32.dll"), "AttachConsole");
            AttachConsoleFunction attach = (AttachConsoleFunction)(void (*)(void))found;
            handle = NULL;
            if (attach != NULL && attach(ATTACH_PARENT_PROCESS))
                handle = CreateFileA("CONOUT$", GENERIC_READ | GENERIC_WRITE,
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

/* One line: the CR LF pairs that break a message box's text become blanks.
 * (No trail byte of a two-byte character is CR or LF.) */
static void printLine(const char* ansi) {
    HANDLE handle = outputHandle();
    char* line;
    const char* p;
    size_t length = 0;
    int wideLength;
    WCHAR* wide = NULL;
    DWORD mode;
    if (handle == NULL || (line = malloc(strlen(ansi) + 3)) == NULL) return;
    for (p = ansi; *p != 0; ++p) {
        if (*p == '\r' && p[1] == '\n') ++p;
        line[length++] = (*p == '\r' || *p == '\n') ? ' ' : *p;
    }
    memcpy(line + length, "\r\n", 3);
    wideLength = MultiByteToWideChar(CP_ACP, 0, line, -1, NULL, 0);
    if (wideLength > 0) wide = malloc(sizeof(WCHAR) * (size_t)wideLength);
    if (wide != NULL && MultiByteToWideChar(CP_ACP, 0, line, -1, wide, wideLength)) {
        if (GetConsoleMode(handle, &mode)) {
            /* A console shows UTF-16 as it is, whatever its code page. */
            DWORD written;
            WriteConsoleW(handle, wide, (DWORD)wideLength - 1, &written, NULL);
        } else {
            int size = WideCharToMultiByte(CP_UTF8, 0, wide, -1, NULL, 0, NULL, NULL);
            char* utf8 = size > 0 ? malloc((size_t)size) : NULL;
            if (utf8 != NULL && WideCharToMultiByte(CP_UTF8, 0, wide, -1, utf8, size, NULL, NULL))
                writeAll(handle, utf8, (DWORD)size - 1);
            free(utf8);
        }
    }
    free(wide);
    free(line);
}

/* Each kind of box as one line: every question is answered Yes (or OK). */
static const char* const kSilentLines[] = {
    [kAskYesNo] = "question: %s: %s -> Yes",
    [kAskOkCancel] = "warning: %s: %s -> OK",
    [kTellInfo] = "message: %s: %s",
    [kTellError] = "error: %s: %s",
};

static int silentMessage(InstallerUi* ui, MessageKind kind, const char* title, const char* text) {
    Text line = {0};
    (void)ui;
    textFormat(&line, kSilentLines[kind], title, text);
    printLine(textChars(&line));
    textFree(&line);
    return 1;
}

static int silentChooseFolder(InstallerUi* ui, const char* title, const char* prompt,
                              const char* start, char* folder) {
    (void)ui;
    (void)title;
    (void)prompt;
    lstrcpynA(folder, start, MAX_PATH);
    return 1;
}

static void silentAction(InstallerUi* ui, const char* text) {
    (void)ui;
    printLine(text);
}

InstallerUi* silentUi(void) {
    static InstallerUi ui = {silentMessage, silentChooseFolder, silentAction};
    return &ui;
}
