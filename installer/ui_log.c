/* The lines of a run: the silent mode prints them, and /LOG=file keeps them
 * in a file, windowed or silent, with the answers the user gave. */
#include <stdlib.h>
#include <windows.h>

#include "text.h"
#include "ui.h"

void messageLine(Text* line, MessageKind kind, const wchar_t* title, const wchar_t* text,
                 int answer) {
    switch (kind) {
        case kAskYesNo:
            textFormat(line, L"question: %ls: %ls -> %ls", title, text, answer ? L"Yes" : L"No");
            break;
        case kAskOkCancel:
            textFormat(line, L"warning: %ls: %ls -> %ls", title, text, answer ? L"OK" : L"Cancel");
            break;
        case kAskRetryContinue:
            textFormat(line, L"in use: %ls: %ls -> %ls", title, text, answer ? L"Retry" : L"Continue");
            break;
        case kTellInfo: textFormat(line, L"message: %ls: %ls", title, text); break;
        case kTellError: textFormat(line, L"error: %ls: %ls", title, text); break;
    }
}

static void writeAll(HANDLE handle, const char* bytes, DWORD size) {
    DWORD written = 0;
    while (size > 0 && WriteFile(handle, bytes, size, &written, NULL) && written > 0) {
        bytes += written;
        size -= written;
    }
}

void writeLine(void* handle, const wchar_t* text) {
    Text line = {0};
    const wchar_t* p;
    DWORD mode;
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

typedef struct LoggingUi {
    InstallerUi ui; /* first: the seam the run sees */
    InstallerUi* shown;
    HANDLE file;
} LoggingUi;

static int loggedMessage(InstallerUi* ui, MessageKind kind, const wchar_t* title,
                         const wchar_t* text) {
    LoggingUi* self = (LoggingUi*)ui;
    int answer = self->shown->message(self->shown, kind, title, text);
    Text line = {0};
    messageLine(&line, kind, title, text, answer);
    writeLine(self->file, textChars(&line));
    textFree(&line);
    return answer;
}

static int loggedChooseFolder(InstallerUi* ui, const wchar_t* title, const wchar_t* prompt,
                              const wchar_t* start, wchar_t** folder) {
    LoggingUi* self = (LoggingUi*)ui;
    return self->shown->chooseFolder(self->shown, title, prompt, start, folder);
}

static void loggedAction(InstallerUi* ui, const wchar_t* text) {
    LoggingUi* self = (LoggingUi*)ui;
    self->shown->action(self->shown, text);
    writeLine(self->file, text);
}

InstallerUi* loggingUi(InstallerUi* shown, const wchar_t* path, unsigned long* error) {
    static LoggingUi logging = {{loggedMessage, loggedChooseFolder, loggedAction}, NULL, NULL};
    /* Written through as it goes: a run that ends early leaves its lines. */
    HANDLE file = CreateFileW(path, GENERIC_WRITE, FILE_SHARE_READ, NULL, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL | FILE_FLAG_WRITE_THROUGH, NULL);
    if (file == INVALID_HANDLE_VALUE) {
        *error = GetLastError();
        return NULL;
    }
    logging.shown = shown;
    logging.file = file;
    return &logging.ui;
}

void closeLog(InstallerUi* ui) {
    if (ui->message == loggedMessage) CloseHandle(((LoggingUi*)ui)->file);
}
