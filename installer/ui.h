/* Every message box and the folder question go through this seam: the
 * windowed mode shows them, the silent mode prints them and answers Yes. */
#ifndef INSTALLER_UI_H
#define INSTALLER_UI_H

typedef enum MessageKind {
    kAskYesNo,    /* a question: 1 for Yes, 0 for No */
    kAskOkCancel, /* a warning to accept: 1 for OK, 0 for Cancel */
    kTellInfo,
    kTellError
} MessageKind;

typedef struct InstallerUi InstallerUi;
struct InstallerUi {
    /* Texts are in the ANSI code page; lines are separated by CR LF. */
    int (*message)(InstallerUi* ui, MessageKind kind, const char* title, const char* text);
    /* Asks for the destination folder, starting in start; writes it to
     * folder (MAX_PATH bytes) and returns 1, or returns 0 when cancelled. */
    int (*chooseFolder)(InstallerUi* ui, const char* title, const char* prompt, const char* start,
                        char* folder);
    /* Says what the installer did ("wrote: ..."); only the silent mode
     * shows it. */
    void (*action)(InstallerUi* ui, const char* text);
};

InstallerUi* windowsUi(void);
InstallerUi* silentUi(void);

#endif
