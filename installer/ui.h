/* Every message box and the folder question go through this seam: the
 * windowed mode shows them, the silent mode prints them and answers Yes
 * (and Continue, for files in use). */
#ifndef INSTALLER_UI_H
#define INSTALLER_UI_H

#include <wchar.h>

#include "text.h"

typedef enum MessageKind {
    kAskYesNo,    /* a question: 1 for Yes, 0 for No */
    kAskOkCancel, /* a warning to accept: 1 for OK, 0 for Cancel */
    kTellInfo,
    kTellError,
    kAskRetryContinue /* files in use: 1 for Retry, 0 for Continue (the silent answer) */
} MessageKind;

typedef struct InstallerUi InstallerUi;
struct InstallerUi {
    /* Texts are UTF-16; lines are separated by CR LF. */
    int (*message)(InstallerUi* ui, MessageKind kind, const wchar_t* title, const wchar_t* text);
    /* Asks for the destination folder, starting in start: returns 1 with
     * the folder in *folder (malloc'd; NULL when memory ran out), or 0 when
     * cancelled. */
    int (*chooseFolder)(InstallerUi* ui, const wchar_t* title, const wchar_t* prompt,
                        const wchar_t* start, wchar_t** folder);
    /* Says what the installer did ("wrote: ..."); only the silent mode
     * shows it. */
    void (*action)(InstallerUi* ui, const wchar_t* text);
};

InstallerUi* windowsUi(void);
InstallerUi* silentUi(void);

/* The line the silent mode prints for a box, and a log holds, with the
 * answer given: "question: TITLE: TEXT -> Yes". */
void messageLine(Text* line, MessageKind kind, const wchar_t* title, const wchar_t* text,
                 int answer);

/* Writes text as one line to handle, in UTF-8 (on a console, as UTF-16):
 * its CR LF pairs become blanks and CR LF ends it. */
void writeLine(void* handle, const wchar_t* text);

/* /LOG=file: a seam that shows through `shown` and writes every line the
 * silent mode prints into the new file at path, each as it comes. NULL with
 * the Win32 error in *error when the file cannot be made. */
InstallerUi* loggingUi(InstallerUi* shown, const wchar_t* path, unsigned long* error);
void closeLog(InstallerUi* ui);

#endif
