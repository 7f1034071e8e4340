#include "destination.h"

#include <stdlib.h>
#include <string.h>
#include <wchar.h>

#include "files.h"
#include "text.h"
#include "transaction.h"
#include "uninstall.h"

/* Where the destination's files go must fit Windows: every component of
 * at most 255 characters, every path (its temporary names beside it
 * included) within the longest "\\?\" path. */
static int checkPathLength(Report* report, const WCHAR* folder, const WCHAR* path,
                           const WCHAR* label) {
    const WCHAR* p = path + rootLength(path);
    while (*p != 0) {
        size_t component = wcscspn(p, L"\\");
        if (component > kComponentMax)
            return reportFailure(report,
                                 L"The path for \"%ls\" has a part longer than %d characters: %ls.",
                                 label, kComponentMax, path);
        p += component;
        if (*p == '\\') ++p;
    }
    if (longFormLength(path) + kTemporaryNameLength > kLongPathMax)
        return reportFailure(report, L"The path for \"%ls\" in %ls is too long.", label, folder);
    return 1;
}

WCHAR* placeIn(Report* report, const WCHAR* folder, const WCHAR* name, NameRule rule,
               const WCHAR* what) {
    WCHAR* relative = malloc(sizeof *relative * (wcslen(name) + 1));
    WCHAR* target = NULL;
    NameResult result;
    if (relative == NULL) {
        reportOutOfMemory(report);
        return NULL;
    }
    result = installedName(name, rule, sameNameIgnoringCase, relative);
    if (result != kNameOk) {
        reportFailure(report, L"%ls \"%ls\" %ls.", what, name, nameResultText(result));
    } else if ((target = joinPath(folder, relative)) == NULL) {
        reportOutOfMemory(report);
    } else if (!checkPathLength(report, folder, target, name)) {
        free(target);
        target = NULL;
    }
    free(relative);
    return target;
}

static int isDriveLetter(const WCHAR* path) {
    return ((path[0] >= 'A' && path[0] <= 'Z') || (path[0] >= 'a' && path[0] <= 'z')) &&
           path[1] == ':';
}

/* A full path in its usual form (malloc'd): GetFullPathName's result, with
 * a "\\?\" form given back as the usual one and without a trailing '\'
 * ("C:\x\" and "C:\x" are one folder; a root keeps its '\'). A drive
 * alone ("D:", "\\?\D:") is its root: to GetFullPathName it would be the
 * drive's current folder, which no one means by a destination. */
static WCHAR* fullPath(const WCHAR* path) {
    const WCHAR* drive = wcsncmp(path, L"\\\\?\\", 4) == 0 ? path + 4 : path;
    WCHAR root[4] = {drive[0], ':', '\\', 0};
    DWORD size, length;
    WCHAR* full;
    if (isDriveLetter(drive) && drive[2] == 0) path = root;
    size = GetFullPathNameW(path, 0, NULL, NULL);
    full = size > 0 ? malloc(sizeof *full * size) : NULL;
    length = full != NULL ? GetFullPathNameW(path, size, full, NULL) : 0;
    if (length == 0 || length >= size) {
        free(full);
        return NULL;
    }
    if (wcsncmp(full, L"\\\\?\\UNC\\", 8) == 0) {
        memmove(full + 2, full + 8, sizeof *full * (length - 8 + 1));
        length -= 6;
    } else if (wcsncmp(full, L"\\\\?\\", 4) == 0) {
        memmove(full, full + 4, sizeof *full * (length - 4 + 1));
        length -= 4;
    }
    if (length > rootLength(full) && full[length - 1] == '\\') full[length - 1] = 0;
    return full;
}

/* The current folder, of any length (malloc'd). */
static WCHAR* currentFolder(void) {
    DWORD size = GetCurrentDirectoryW(0, NULL);
    WCHAR* folder = size > 0 ? malloc(sizeof *folder * size) : NULL;
    DWORD length = folder != NULL ? GetCurrentDirectoryW(size, folder) : 0;
    if (length == 0 || length >= size) {
        free(folder);
        return textCopy(L"");
    }
    return folder;
}

/* The value of an environment variable (malloc'd), or NULL when it is not
 * set or memory ran out. */
static WCHAR* environmentValue(const WCHAR* name) {
    DWORD size = GetEnvironmentVariableW(name, NULL, 0);
    WCHAR* value = size > 0 ? malloc(sizeof *value * size) : NULL;
    DWORD length = value != NULL ? GetEnvironmentVariableW(name, value, size) : 0;
    if (length == 0 || length >= size) {
        free(value);
        return NULL;
    }
    return value;
}

/* The Program Files folder of the plugin's architecture (malloc'd), or NULL.
 * In a 32-bit process on 64-bit Windows, ProgramFiles is the x86 one and
 * only ProgramW6432 names the other; on 32-bit Windows neither of the first
 * choices is set. A plugin that is no PE file of either gets the program's
 * own. */
static WCHAR* programFilesFor(Blob plugin) {
    static const WCHAR* const kChoices[][2] = {{L"ProgramW6432", L"ProgramFiles"},
                                               {L"ProgramFiles(x86)", L"ProgramFiles"},
                                               {L"ProgramFiles", L"ProgramFiles"}};
    WORD machine = peMachine(plugin);
    const WCHAR* const* names = kChoices[machine == IMAGE_FILE_MACHINE_AMD64  ? 0
                                        : machine == IMAGE_FILE_MACHINE_I386 ? 1
                                                                              : 2];
    WCHAR* folder = environmentValue(names[0]);
    return folder != NULL ? folder : environmentValue(names[1]);
}

/* name as one folder name, as Windows keeps it, into out; 0 when it cannot
 * be one. Separators, and a colon that installedName would read as a
 * drive, would make it a path. */
static int asFolderName(const WCHAR* name, WCHAR* out) {
    return wcspbrk(name, L"\\/:") == NULL &&
           installedName(name, kLastComponent, sameNameIgnoringCase, out) == kNameOk;
}

/* Where the picker starts (malloc'd): the Program Files folder of the
 * plugin's architecture, in a sub-folder named by the Name or, where that
 * is no folder name, by the plugin file without its extension. Without a
 * Program Files folder, the current folder. */
static WCHAR* startFolder(const Contract* contract) {
    size_t room = wcslen(contract->name) + wcslen(contract->pluginName) + 1;
    WCHAR* programFiles = programFilesFor(contract->plugin);
    WCHAR* plugin = malloc(sizeof *plugin * room);
    WCHAR* name = malloc(sizeof *name * room);
    WCHAR* start = NULL;
    if (programFiles != NULL && plugin != NULL && name != NULL) {
        int named = asFolderName(contract->name, name);
        if (!named &&
            installedName(contract->pluginName, kLastComponent, sameNameIgnoringCase, plugin) ==
                kNameOk) {
            WCHAR* extension = wcsrchr(plugin, '.');
            if (extension != NULL && extension != plugin) *extension = 0;
            named = asFolderName(plugin, name);
        }
        start = named ? joinPath(programFiles, name) : textCopy(programFiles);
    } else if (plugin != NULL && name != NULL) {
        start = currentFolder();
    }
    free(programFiles);
    free(plugin);
    free(name);
    return start;
}

/* No component of a destination may be a name Windows reserves: a folder
 * "nul" (or "com1.txt") can be made through "\\?\", but ordinary programs
 * can neither open nor delete it, and GetFullPathName turns such a last
 * component into the device itself. Each component is held to the rule for
 * file names, before the path is made full. */
static int checkFolderNames(Report* report, const WCHAR* folder) {
    const WCHAR* p = folder;
    WCHAR* part = malloc(sizeof *part * (wcslen(folder) + 1));
    WCHAR* kept = malloc(sizeof *kept * (wcslen(folder) + 1));
    int ok = (part != NULL && kept != NULL) || reportOutOfMemory(report);
    if (wcsncmp(p, L"\\\\?\\UNC\\", 8) == 0)
        p += 8;
    else if (wcsncmp(p, L"\\\\?\\", 4) == 0 || wcsncmp(p, L"\\\\.\\", 4) == 0)
        p += 4;
    if (isDriveLetter(p)) p += 2;
    while (ok && *p != 0) {
        size_t length = wcscspn(p, L"\\/");
        int dots = (length == 1 || length == 2) && p[0] == '.' && p[length - 1] == '.';
        if (length > 0 && !dots) {
            memcpy(part, p, sizeof *part * length);
            part[length] = 0;
            if (installedName(part, kLastComponent, sameNameIgnoringCase, kept) == kNameInvalid)
                ok = reportFailure(report,
                                   L"The folder %ls cannot be used: \"%ls\" is not a folder name "
                                   L"Windows can hold.",
                                   folder, part);
        }
        p += length;
        if (*p != 0) ++p;
    }
    free(part);
    free(kept);
    return ok;
}

/* Whether a folder given with /D= is a full path: a drive and its root
 * ("D:\x", "D:" for the root), a network share ("\\server\share") or the
 * "\\?\" form. Anything else would be read against the current folder,
 * which is where the installer happened to be started, not a choice. */
static int isFullPath(const WCHAR* path) {
    const WCHAR* drive = wcsncmp(path, L"\\\\?\\", 4) == 0 ? path + 4 : path;
    if (isDriveLetter(drive)) return drive[2] == 0 || drive[2] == '\\' || drive[2] == '/';
    return (path[0] == '\\' || path[0] == '/') && (path[1] == '\\' || path[1] == '/') &&
           path[2] != 0;
}

/* Where the question starts (malloc'd): /D=, else the folder of an earlier
 * install of this plugin, else Program Files. NULL when memory ran out, or
 * (*refused set, the failure reported) when /D= is no full path. */
static WCHAR* questionStart(Report* report, const Contract* contract,
                            const InstallerOptions* options, int* refused) {
    WCHAR* start;
    *refused = 0;
    if (options->folder != NULL) {
        start = malloc(sizeof *start * (options->folderLength + 1));
        if (start != NULL) {
            memcpy(start, options->folder, sizeof *start * options->folderLength);
            start[options->folderLength] = 0;
            if (!isFullPath(start)) {
                reportFailure(report,
                              L"The folder %ls is no full path: give it with its drive "
                              L"(C:\\...) or its network share (\\\\server\\share\\...).",
                              start);
                *refused = 1;
                free(start);
                return NULL;
            }
        }
        return start;
    }
    if ((start = previousInstall(contract)) != NULL) {
        tellAction(report->ui, L"previous install: %ls", start);
        return start;
    }
    return startFolder(contract);
}

/* The folder, or the nearest of the folders above it that is there, must be
 * a folder: a file there is refused before anything is written (and the
 * picker asks again). */
static int noFileInTheWay(Report* report, const WCHAR* folder) {
    WCHAR* path = textCopy(folder);
    DWORD attributes = INVALID_FILE_ATTRIBUTES;
    int ok = path != NULL || reportOutOfMemory(report);
    while (ok && (attributes = pathAttributes(path)) == INVALID_FILE_ATTRIBUTES &&
           isNotFound(GetLastError()) && wcslen(path) > rootLength(path)) {
        WCHAR* parent = parentOf(path);
        free(path);
        path = parent;
        ok = path != NULL || reportOutOfMemory(report);
    }
    if (ok && attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY))
        ok = reportFailure(report, L"The folder %ls cannot be used: %ls is a file.", folder, path);
    free(path);
    return ok;
}

/* The chosen folder as the destination (malloc'd): its names checked, made
 * full, its length checked. NULL after a failure was reported. */
static WCHAR* destinationOf(Report* report, const WCHAR* chosen) {
    WCHAR* folder;
    if (!checkFolderNames(report, chosen)) return NULL;
    folder = fullPath(chosen);
    if (folder == NULL || rootLength(folder) == 0) {
        free(folder);
        reportFailure(report, L"The folder %ls is no full path Windows can use.", chosen);
        return NULL;
    }
    tellAction(report->ui, L"folder: %ls", folder);
    if (!checkPathLength(report, folder, folder, folder) || !noFileInTheWay(report, folder)) {
        free(folder);
        return NULL;
    }
    return folder;
}

/* Windowed, a folder that cannot be used is said at once, and the picker
 * asks again from it: the user chooses another. Silent, it is the failure. */
static int askAgain(Report* report, const Contract* contract, const InstallerOptions* options) {
    if (options->silent) return 0;
    report->ui->message(report->ui, kTellError, contract->title, textChars(&report->failure));
    textFree(&report->failure);
    return 1;
}

WCHAR* chooseDestination(Report* report, const Contract* contract,
                         const InstallerOptions* options, int* failed) {
    int refused;
    WCHAR* start = questionStart(report, contract, options, &refused);
    WCHAR* chosen = NULL;
    WCHAR* folder = NULL;
    Text prompt = {0};
    int ok = 1;
    if (refused) {
        *failed = 1;
        return NULL;
    }
    textFormat(&prompt, L"Choose the folder to install \"%ls\" into:", contract->name);
    /* Memory that ran out is a failure, never the user's Cancel. */
    *failed = start == NULL || prompt.outOfMemory;
    while (!*failed && folder == NULL) {
        ok = report->ui->chooseFolder(report->ui, contract->title, textChars(&prompt), start,
                                      &chosen);
        if (!ok || (*failed = chosen == NULL)) break;
        folder = destinationOf(report, chosen);
        free(start);
        start = chosen;
        chosen = NULL;
        if (folder == NULL && !askAgain(report, contract, options)) {
            *failed = 1;
            textFree(&prompt);
            free(start);
            return NULL;
        }
    }
    textFree(&prompt);
    free(start);
    if (*failed) reportOutOfMemory(report);
    return ok ? folder : NULL;
}
