/* The installer's run with a scripted seam in place of its windows, for the
 * answers the silent mode never gives:
 *
 *   scripted_installer.exe ANSWERS FOLDER
 *
 * ANSWERS has one letter per question, in the order asked: y for Yes or OK,
 * n for No or Cancel; the folder picker takes a letter too (y chooses
 * FOLDER, n cancels). Every question, with its answer, and every action is
 * printed as a line; the exit code is the installer's. It reads the
 * resources the updater wrote into it, as installer.exe does. */
#include <stdio.h>
#include <string.h>
#include <windows.h>

#include "contract.h"
#include "install.h"

static const char* answers = "";
static const char* chosenFolder = "";

/* The next answer; a script that runs out answers No. */
static int nextAnswer(void) {
    int yes = *answers == 'y';
    if (*answers != 0) ++answers;
    return yes;
}

static int scriptedMessage(InstallerUi* ui, MessageKind kind, const char* title,
                           const char* text) {
    static const char* const kKinds[] = {"question", "warning", "message", "error"};
    int answer = kind == kAskYesNo || kind == kAskOkCancel ? nextAnswer() : 1;
    (void)ui;
    printf("%s: %s: %s", kKinds[kind], title, text);
    if (kind == kAskYesNo) printf(" -> %s", answer ? "Yes" : "No");
    if (kind == kAskOkCancel) printf(" -> %s", answer ? "OK" : "Cancel");
    printf("\n");
    return answer;
}

static int scriptedChooseFolder(InstallerUi* ui, const char* title, const char* prompt,
                                const char* start, char* folder) {
    int answer = nextAnswer();
    (void)ui;
    printf("folder picker: %s: %s (starts in %s) -> %s\n", title, prompt, start,
           answer ? chosenFolder : "Cancel");
    if (answer) lstrcpynA(folder, chosenFolder, MAX_PATH);
    return answer;
}

static void scriptedAction(InstallerUi* ui, const char* text) {
    (void)ui;
    printf("%s\n", text);
}

int main(int argc, char** argv) {
    InstallerUi ui = {scriptedMessage, scriptedChooseFolder, scriptedAction};
    InstallerOptions options;
    Contract contract;
    int outcome;
    if (argc != 3) {
        fprintf(stderr, "usage: scripted_installer ANSWERS FOLDER\n");
        return 3;
    }
    answers = argv[1];
    chosenFolder = argv[2];
    memset(&options, 0, sizeof options);
    if (!readContract(&contract)) return 3;
    outcome = runInstall(&ui, &contract, &options);
    freeContract(&contract);
    return outcome;
}
