/* Every message box and the folder question go through this seam: the
 * windowed mode shows them, the silent mode prints them and answers Yes. */
#ifndef INSTALLER_UI_H
#define INSTALLER_UI_H

#include <wchar.h>

typedef enum MessageKind {
    kAskYesNo,    /* a question: 1 for Yes, 0 for No */
    kAskOkCancel, /* a warning to accept: 1 for OK, 0 for Cancel */
    kTellInfo,
    kTellError
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

#endif
