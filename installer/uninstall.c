#include "uninstall.h"

#include "in_use.h"

#include <stdlib.h>
#include <string.h>
#include <wchar.h>
#include <shellapi.h>

#include "files.h"
#include "register.h"
#include "report.h"

const WCHAR kUninstallerName[] = L"uninstall.exe";
const WCHAR kRecordName[] = L"uninstall.ini";

/* The copy's own resource, beside the updater's numbered ones. */
static const WCHAR kUninstallerMark[] = L"TAMSEL_UNINSTALLER";
static const WCHAR kRemovalSwitch[] = L"/tamsel-remove-after";
static const WCHAR kUninstallRoot[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\";
enum { kNeutral = MAKELANGID(LANG_NEUTRAL, SUBLANG_NEUTRAL) };

static int sameName(const WCHAR* a, const WCHAR* b) {
    size_t length = wcslen(a);
    return wcslen(b) == length && sameNameIgnoringCase(a, b, length);
}

static int pathListHas(const PathList* list, const WCHAR* path) {
    size_t i;
    for (i = 0; i < list->count; ++i)
        if (sameName(list->paths[i], path)) return 1;
    return 0;
}

int pathListAdd(PathList* list, const WCHAR* path) {
    WCHAR** grown;
    WCHAR* copy;
    if (pathListHas(list, path)) return 1;
    grown = realloc(list->paths, sizeof *grown * (list->count + 1));
    if (grown == NULL) return 0;
    list->paths = grown;
    if ((copy = textCopy(path)) == NULL) return 0;
    list->paths[list->count++] = copy;
    return 1;
}

void pathListFree(PathList* list) {
    size_t i;
    for (i = 0; i < list->count; ++i) free(list->paths[i]);
    free(list->paths);
    memset(list, 0, sizeof *list);
}

/* The record's text (malloc'd, NUL-terminated), or NULL with the last error
 * set: ERROR_FILE_NOT_FOUND when there is none. Read here and not through
 * GetPrivateProfileString, which fails on a path past MAX_PATH under Wine,
 * "\\?\" form or not. */
static WCHAR* readRecordText(const WCHAR* path) {
    WCHAR* full = longForm(path);
    HANDLE file = full != NULL ? CreateFileW(full, GENERIC_READ, FILE_SHARE_READ, NULL,
                                             OPEN_EXISTING, 0, NULL)
                               : INVALID_HANDLE_VALUE;
    DWORD size = file != INVALID_HANDLE_VALUE ? GetFileSize(file, NULL) : 0, got = 0;
    DWORD error = full == NULL ? ERROR_NOT_ENOUGH_MEMORY : GetLastError();
    WCHAR* text = NULL;
    free(full);
    if (file == INVALID_HANDLE_VALUE) {
        SetLastError(error);
        return NULL;
    }
    /* A record is a few kilobytes; one past 64 MiB is no record of ours. */
    error = ERROR_INVALID_DATA;
    if (size < (64u << 20) && (text = malloc(size + sizeof *text)) == NULL)
        error = ERROR_NOT_ENOUGH_MEMORY;
    if (text != NULL && (!ReadFile(file, text, size, &got, NULL) || got != size)) {
        error = GetLastError() != ERROR_SUCCESS ? GetLastError() : ERROR_INVALID_DATA;
        free(text);
        text = NULL;
    }
    CloseHandle(file);
    if (text != NULL) text[size / sizeof *text] = 0;
    SetLastError(error);
    return text;
}

/* Takes one "name=value" line of the record into it; 0 when memory runs
 * out. The numbers before "=" in [Files] and [Folders] keep the order. */
static int takeLine(UninstallRecord* record, const WCHAR* section, const WCHAR* name,
                    const WCHAR* value) {
    WCHAR** field = NULL;
    if (wcscmp(section, L"Files") == 0) return value[0] == 0 || pathListAdd(&record->files, value);
    if (wcscmp(section, L"Folders") == 0)
        return value[0] == 0 || pathListAdd(&record->folders, value);
    if (wcscmp(section, L"Uninstall") != 0) return 1;
    if (wcscmp(name, L"View") == 0) {
        record->view = wcscmp(value, L"64") == 0   ? KEY_WOW64_64KEY
                       : wcscmp(value, L"32") == 0 ? KEY_WOW64_32KEY
                                                   : 0;
        return 1;
    }
    if (wcscmp(name, L"Key") == 0) field = &record->key;
    if (wcscmp(name, L"Server") == 0) field = &record->server;
    if (wcscmp(name, L"Registrar") == 0) field = &record->registrar;
    if (field == NULL || value[0] == 0) return 1;
    free(*field);
    return (*field = textCopy(value)) != NULL;
}

int readRecord(const WCHAR* path, UninstallRecord* record) {
    WCHAR* text;
    WCHAR* line;
    const WCHAR* section = L"";
    int ok = 1;
    memset(record, 0, sizeof *record);
    if ((text = readRecordText(path)) == NULL) return GetLastError() != ERROR_NOT_ENOUGH_MEMORY;
    line = text[0] == 0xFEFF ? text + 1 : text;
    while (ok && *line != 0) {
        size_t length = wcscspn(line, L"\r\n");
        WCHAR* next = line + length;
        WCHAR* equals;
        while (*next == '\r' || *next == '\n') ++next;
        line[length] = 0;
        if (line[0] == '[' && length > 1 && line[length - 1] == ']') {
            line[length - 1] = 0;
            section = line + 1;
        } else if ((equals = wcschr(line, '=')) != NULL) {
            *equals = 0;
            ok = takeLine(record, section, line, equals + 1);
        }
        line = next;
    }
    free(text);
    return ok;
}

static void appendList(Text* text, const WCHAR* section, const PathList* list) {
    size_t i;
    textFormat(text, L"[%ls]\r\n", section);
    for (i = 0; i < list->count; ++i)
        textFormat(text, L"%lu=%ls\r\n", (unsigned long)(i + 1), list->paths[i]);
}

WCHAR* recordText(const UninstallRecord* record, size_t* length) {
    Text text = {0};
    const WCHAR* view = record->view == KEY_WOW64_64KEY   ? L"64"
                        : record->view == KEY_WOW64_32KEY ? L"32"
                                                          : L"";
    /* The mark says UTF-16 to Windows' profile functions and to editors. */
    textAppend(&text, L"\xFEFF[Uninstall]\r\n");
    textFormat(&text, L"Key=%ls\r\nView=%ls\r\nServer=%ls\r\nRegistrar=%ls\r\n",
               record->key != NULL ? record->key : L"", view,
               record->server != NULL ? record->server : L"",
               record->registrar != NULL ? record->registrar : L"");
    appendList(&text, L"Files", &record->files);
    appendList(&text, L"Folders", &record->folders);
    *length = text.length;
    return textTake(&text);
}

void freeRecord(UninstallRecord* record) {
    free(record->key);
    free(record->server);
    free(record->registrar);
    pathListFree(&record->files);
    pathListFree(&record->folders);
    memset(record, 0, sizeof *record);
}

WCHAR* uninstallKey(const Contract* contract) {
    WCHAR* key = textCopy(contract->progId[0] != 0 ? contract->progId : contract->name);
    WCHAR* p;
    /* A '\' would make a key below the key. */
    for (p = key; p != NULL && *p != 0; ++p)
        if (*p == '\\') *p = '_';
    return key;
}

DWORD registryViewOf(WORD machine) {
    return machine == IMAGE_FILE_MACHINE_AMD64  ? KEY_WOW64_64KEY
           : machine == IMAGE_FILE_MACHINE_I386 ? KEY_WOW64_32KEY
                                                : 0;
}

/* A string value of a registry key, of any length (malloc'd), or NULL. A
 * value stored without its NUL gets one. */
static WCHAR* stringValue(HKEY key, const WCHAR* name) {
    DWORD type, size = 0;
    WCHAR* value = NULL;
    if (RegQueryValueExW(key, name, NULL, &type, NULL, &size) == ERROR_SUCCESS &&
        type == REG_SZ && (value = calloc(size / sizeof *value + 1, sizeof *value)) != NULL &&
        RegQueryValueExW(key, name, NULL, &type, (BYTE*)value, &size) != ERROR_SUCCESS) {
        free(value);
        value = NULL;
    }
    return value;
}

/* Opens the uninstall entry `key` in the registry view `view` with access. */
static LONG openEntry(const WCHAR* key, DWORD view, REGSAM access, HKEY* entry) {
    Text path = {0};
    LONG status;
    textFormat(&path, L"%ls%ls", kUninstallRoot, key);
    status = path.outOfMemory ? ERROR_NOT_ENOUGH_MEMORY
                              : RegOpenKeyExW(HKEY_LOCAL_MACHINE, textChars(&path), 0,
                                              access | view, entry);
    textFree(&path);
    return status;
}

WCHAR* previousInstall(const Contract* contract) {
    WCHAR* key = uninstallKey(contract);
    WCHAR* folder = NULL;
    HKEY entry;
    DWORD attributes;
    if (key != NULL && openEntry(key, registryViewOf(peMachine(contract->plugin)),
                                 KEY_QUERY_VALUE, &entry) == ERROR_SUCCESS) {
        folder = stringValue(entry, L"InstallLocation");
        RegCloseKey(entry);
    }
    attributes = folder != NULL && rootLength(folder) > 0 ? pathAttributes(folder)
                                                          : INVALID_FILE_ATTRIBUTES;
    if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_DIRECTORY)) {
        free(folder);
        folder = NULL;
    }
    free(key);
    return folder;
}

int isUninstaller(void) {
    return FindResourceExW(NULL, MAKEINTRESOURCEW(10), kUninstallerMark, kNeutral) != NULL;
}

/* The copy's resources are written anew from this program's own, all but
 * the payload: UpdateResource with no data, meant to delete one, does not
 * delete a resource already in the file under Wine. */
typedef struct Copying {
    HANDLE update;
    const Contract* contract;
    BOOL ok;
} Copying;

static int isPayload(LPCWSTR type, LPCWSTR name, const Contract* contract) {
    ULONG_PTR id = (ULONG_PTR)name;
    return IS_INTRESOURCE(type) && (ULONG_PTR)type == 10 && IS_INTRESOURCE(name) &&
           (id == kIdPlugin ||
            (id > kIdExtraFileBase && id - kIdExtraFileBase <= contract->extraCount));
}

static BOOL CALLBACK keepLanguage(HMODULE module, LPCWSTR type, LPCWSTR name, WORD language,
                                  LONG_PTR parameter) {
    Copying* copying = (Copying*)parameter;
    HRSRC found = FindResourceExW(module, type, name, language);
    HGLOBAL loaded = found != NULL ? LoadResource(module, found) : NULL;
    void* data = loaded != NULL ? LockResource(loaded) : NULL;
    DWORD size = found != NULL ? SizeofResource(module, found) : 0;
    /* An empty resource cannot be written, and says nothing. */
    if (data == NULL || (size > 0 && !UpdateResourceW(copying->update, type, name, language, data,
                                                      size)))
        copying->ok = FALSE;
    return copying->ok;
}

static BOOL CALLBACK keepName(HMODULE module, LPCWSTR type, LPWSTR name, LONG_PTR parameter) {
    Copying* copying = (Copying*)parameter;
    if (!isPayload(type, name, copying->contract) &&
        !EnumResourceLanguagesW(module, type, name, keepLanguage, parameter))
        copying->ok = FALSE;
    return copying->ok;
}

static BOOL CALLBACK keepType(HMODULE module, LPWSTR type, LONG_PTR parameter) {
    Copying* copying = (Copying*)parameter;
    if (!EnumResourceNamesW(module, type, keepName, parameter)) copying->ok = FALSE;
    return copying->ok;
}

int writeUninstaller(const WCHAR* path, const Contract* contract) {
    WCHAR* self = pathOfThisProgram();
    WCHAR* full = longForm(path);
    Copying copying = {NULL, contract, TRUE};
    DWORD error;
    char mark[] = "1";
    if (self == NULL || full == NULL || !pathCopy(self, path)) {
        error = self == NULL || full == NULL ? ERROR_NOT_ENOUGH_MEMORY : GetLastError();
        free(self);
        free(full);
        SetLastError(error);
        return 0;
    }
    /* TRUE: every resource of the file goes; those kept are written back. */
    copying.ok = (copying.update = BeginUpdateResourceW(full, TRUE)) != NULL &&
                 EnumResourceTypesW(GetModuleHandleW(NULL), keepType, (LONG_PTR)&copying) &&
                 copying.ok &&
                 UpdateResourceW(copying.update, MAKEINTRESOURCEW(10), kUninstallerMark,
                                 kNeutral, mark, 1);
    error = GetLastError();
    /* EndUpdateResource with discard set leaves the file as copied. */
    if (copying.update != NULL && !EndUpdateResourceW(copying.update, !copying.ok) &&
        copying.ok) {
        copying.ok = FALSE;
        error = GetLastError();
    }
    if (!copying.ok) pathDelete(path);
    free(self);
    free(full);
    SetLastError(error);
    return copying.ok;
}

static void appendRegistryError(Text* why, const WCHAR* key, LONG status) {
    textFormat(why, L"HKEY_LOCAL_MACHINE\\%ls%ls: ", kUninstallRoot, key);
    textAppendSystemError(why, (unsigned long)status, key);
}

int writeUninstallEntry(const UninstallRecord* record, const WCHAR* name, const WCHAR* folder,
                        const WCHAR* uninstaller, DWORD sizeKb, Text* why) {
    Text path = {0}, command = {0}, quiet = {0};
    const WCHAR* strings[][2] = {{L"DisplayName", name},
                                 {L"DisplayIcon", uninstaller},
                                 {L"UninstallString", NULL},
                                 {L"QuietUninstallString", NULL},
                                 {L"InstallLocation", folder}};
    const DWORD one = 1;
    HKEY key;
    size_t i;
    LONG status;
    textFormat(&path, L"%ls%ls", kUninstallRoot, record->key);
    textFormat(&command, L"\"%ls\"", uninstaller);
    textFormat(&quiet, L"\"%ls\" /S", uninstaller);
    strings[2][1] = textChars(&command);
    strings[3][1] = textChars(&quiet);
    /* The tests' stand-in fails it as a run without the rights would. */
    status = path.outOfMemory || command.outOfMemory || quiet.outOfMemory
                 ? ERROR_NOT_ENOUGH_MEMORY
             : pathFault != NULL && pathFault(L"entry", record->key)
                 ? (LONG)GetLastError()
                 : RegCreateKeyExW(HKEY_LOCAL_MACHINE, textChars(&path), 0, NULL, 0,
                                   KEY_SET_VALUE | record->view, NULL, &key, NULL);
    if (status == ERROR_SUCCESS) {
        for (i = 0; status == ERROR_SUCCESS && i < sizeof strings / sizeof *strings; ++i)
            status = RegSetValueExW(key, strings[i][0], 0, REG_SZ, (const BYTE*)strings[i][1],
                                    (DWORD)((wcslen(strings[i][1]) + 1) * sizeof(WCHAR)));
        if (status == ERROR_SUCCESS)
            status = RegSetValueExW(key, L"EstimatedSize", 0, REG_DWORD, (const BYTE*)&sizeKb,
                                    sizeof sizeKb);
        if (status == ERROR_SUCCESS)
            status = RegSetValueExW(key, L"NoModify", 0, REG_DWORD, (const BYTE*)&one, sizeof one);
        if (status == ERROR_SUCCESS)
            status = RegSetValueExW(key, L"NoRepair", 0, REG_DWORD, (const BYTE*)&one, sizeof one);
        RegCloseKey(key);
        /* Half an entry would show a broken line under Settings > Apps. */
        if (status != ERROR_SUCCESS)
            RegDeleteKeyExW(HKEY_LOCAL_MACHINE, textChars(&path), record->view, 0);
    }
    if (status != ERROR_SUCCESS) appendRegistryError(why, record->key, status);
    textFree(&path);
    textFree(&command);
    textFree(&quiet);
    return status == ERROR_SUCCESS;
}

/* Whose the uninstall entry is: this uninstaller's (its UninstallString
 * runs this program), another install's, or nobody's, when there is none.
 * Another install of the same plugin elsewhere takes the entry over, and
 * the registration with it. */
typedef enum EntryOwner { kNoEntry, kOurEntry, kOtherEntry } EntryOwner;

static EntryOwner entryOwner(const UninstallRecord* record, const WCHAR* uninstaller,
                             WCHAR** elsewhere) {
    Text command = {0};
    WCHAR* value = NULL;
    HKEY key;
    EntryOwner owner = kNoEntry;
    *elsewhere = NULL;
    textFormat(&command, L"\"%ls\"", uninstaller);
    if (!command.outOfMemory &&
        openEntry(record->key, record->view, KEY_QUERY_VALUE, &key) == ERROR_SUCCESS) {
        value = stringValue(key, L"UninstallString");
        owner = value != NULL && sameName(value, textChars(&command)) ? kOurEntry : kOtherEntry;
        if (owner == kOtherEntry) *elsewhere = stringValue(key, L"InstallLocation");
        RegCloseKey(key);
    }
    free(value);
    textFree(&command);
    return owner;
}

/* Removes the entry, which is this uninstaller's. */
static int removeUninstallEntry(const UninstallRecord* record, Text* problems) {
    Text path = {0};
    LONG status;
    textFormat(&path, L"%ls%ls", kUninstallRoot, record->key);
    status = path.outOfMemory ? ERROR_NOT_ENOUGH_MEMORY
                              : RegDeleteKeyExW(HKEY_LOCAL_MACHINE, textChars(&path),
                                                record->view, 0);
    if (status != ERROR_SUCCESS && status != ERROR_FILE_NOT_FOUND) {
        textAppend(problems, L"\r\n");
        appendRegistryError(problems, record->key, status);
    }
    textFree(&path);
    return status == ERROR_SUCCESS;
}

static int isWithin(const WCHAR* path, const WCHAR* folder) {
    size_t length = wcslen(folder);
    return wcslen(path) >= length && sameNameIgnoringCase(path, folder, length) &&
           (path[length] == 0 || path[length] == '\\' ||
            (length > 0 && folder[length - 1] == '\\'));
}

static int longerFirst(const void* a, const void* b) {
    size_t left = wcslen(*(WCHAR* const*)a), right = wcslen(*(WCHAR* const*)b);
    return left < right ? 1 : left > right ? -1 : 0;
}

/* A copy of this program in the temporary folder (malloc'd), or NULL with
 * *error: it calls the plugin's DllUnregisterServer (CreateProcess takes no
 * program past MAX_PATH, where this one may be) and, once this program has
 * ended, removes it. */
static WCHAR* temporaryCopy(const WCHAR* self, DWORD* error) {
    WCHAR folder[MAX_PATH + 1], copy[MAX_PATH + 1];
    WCHAR* from = longForm(self);
    DWORD length = GetTempPathW(MAX_PATH + 1, folder);
    int ok = from != NULL && length > 0 && length <= MAX_PATH &&
             GetTempFileNameW(folder, L"tam", 0, copy) != 0;
    if (ok && !CopyFileW(from, copy, FALSE)) {
        *error = GetLastError();
        DeleteFileW(copy);
        free(from);
        return NULL;
    }
    *error = from == NULL ? ERROR_NOT_ENOUGH_MEMORY : GetLastError();
    free(from);
    return ok ? textCopy(copy) : NULL;
}

/* Starts the copy that removes this program's file and the folders around
 * it once it has ended. */
static int startRemovalHelper(const WCHAR* copy, const WCHAR* self, const PathList* folders,
                              DWORD* error) {
    Text command = {0};
    HANDLE waitFor = NULL;
    STARTUPINFOW startup;
    PROCESS_INFORMATION process;
    BOOL started = FALSE;
    WCHAR folder[MAX_PATH + 1];
    UINT length = GetSystemWindowsDirectoryW(folder, MAX_PATH + 1);
    size_t i;
    if (!DuplicateHandle(GetCurrentProcess(), GetCurrentProcess(), GetCurrentProcess(),
                         &waitFor, SYNCHRONIZE, TRUE, 0)) {
        *error = GetLastError();
        return 0;
    }
    textFormat(&command, L"\"%ls\" %ls %llu \"%ls\"", copy, kRemovalSwitch,
               (unsigned long long)(ULONG_PTR)waitFor, self);
    for (i = 0; i < folders->count; ++i) textFormat(&command, L" \"%ls\"", folders->paths[i]);
    ZeroMemory(&startup, sizeof startup);
    startup.cb = sizeof startup;
    if (!command.outOfMemory)
        /* Not in the current folder, which may be one it is to remove. */
        started = CreateProcessW(copy, command.chars, NULL, NULL, TRUE, 0, NULL,
                                 length > 0 && length <= MAX_PATH ? folder : NULL, &startup,
                                 &process);
    *error = command.outOfMemory ? ERROR_NOT_ENOUGH_MEMORY : GetLastError();
    CloseHandle(waitFor);
    textFree(&command);
    if (!started) return 0;
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return 1;
}

int runRemovalHelper(const WCHAR* arguments, int* exitCode) {
    size_t switchLength = wcslen(kRemovalSwitch);
    WCHAR** argv;
    WCHAR* self;
    int count, i, attempt;
    if (wcsncmp(arguments, kRemovalSwitch, switchLength) != 0 || arguments[switchLength] != ' ')
        return 0;
    *exitCode = 0;
    argv = CommandLineToArgvW(arguments, &count);
    if (argv == NULL || count < 3) return 1;
    WaitForSingleObject((HANDLE)(ULONG_PTR)wcstoull(argv[1], NULL, 10), 60000);
    /* Windows may hold the file a moment after its program has ended. */
    for (attempt = 0; attempt < 50 && !pathDelete(argv[2]) &&
                      GetLastError() != ERROR_FILE_NOT_FOUND;
         ++attempt)
        Sleep(100);
    for (i = 3; i < count; ++i) pathRemoveFolder(argv[i]);
    LocalFree(argv);
    /* This copy is in the temporary folder; it goes at the next start. */
    if ((self = pathOfThisProgram()) != NULL) MoveFileExW(self, NULL, MOVEFILE_DELAY_UNTIL_REBOOT);
    free(self);
    return 1;
}

/* Says what could not be removed: path, and why. */
static void notRemoved(Text* problems, const WCHAR* path, DWORD error) {
    textFormat(problems, L"\r\n%ls: ", path);
    if (error == ERROR_DIR_NOT_EMPTY)
        textAppend(problems, L"it holds files the install did not make");
    else
        textAppendSystemError(problems, error, path);
}

/* The uninstaller's run: what it found, and what it could not remove. */
typedef struct Removal {
    InstallerUi* ui;
    const Contract* contract;
    UninstallRecord record;
    WCHAR* self;       /* this program, uninstall.exe */
    WCHAR* folder;     /* the folder it is in: the install's */
    WCHAR* recordPath; /* uninstall.ini beside it */
    WCHAR* copy;       /* this program's temporary copy, or NULL */
    DWORD copyError;   /* why there is none */
    PathList later;    /* the folders that go once this program has ended */
    Text problems;     /* what could not be removed, a line each */
    EntryOwner owner;  /* whose the uninstall entry is */
    PathList atRestart; /* in use: Windows deletes them when it restarts */
    size_t left;       /* files neither deleted nor left for a restart */
    WCHAR* elsewhere;  /* the folder of the install that owns it, when another does */
} Removal;

/* Reads the record beside this program; says why not when it cannot. */
static int findRecord(Removal* removal) {
    InstallerUi* ui = removal->ui;
    Text text = {0};
    removal->self = pathOfThisProgram();
    /* A drive's root keeps its backslash (D:\), as the install named it. */
    removal->folder = removal->self != NULL ? parentOf(removal->self) : NULL;
    if (removal->folder != NULL) removal->recordPath = joinPath(removal->folder, kRecordName);
    if (removal->recordPath == NULL || !readRecord(removal->recordPath, &removal->record)) {
        ui->message(ui, kTellError, removal->contract->title, L"Out of memory.");
        return 0;
    }
    if (removal->record.key != NULL) return 1;
    textFormat(&text, L"The record of what was installed, %ls, is missing or damaged: "
                      L"nothing was removed.", removal->recordPath);
    ui->message(ui, kTellError, removal->contract->title, textChars(&text));
    textFree(&text);
    return 0;
}

static int confirmRemoval(const Removal* removal) {
    InstallerUi* ui = removal->ui;
    Text question = {0};
    int answer;
    textFormat(&question, L"Remove the plugin \"%ls\" from %ls?", removal->contract->name,
               removal->folder);
    answer = ui->message(ui, kAskYesNo, removal->contract->title, textChars(&question));
    textFree(&question);
    return answer;
}

/* The same way it was registered: this program's child (its temporary
 * copy) for its own architecture, the registration helper for the other. */
static void unregisterServer(Removal* removal) {
    const WCHAR* server = removal->record.server;
    Registrar registrar = registrarOfRecord(removal->record.registrar);
    Registration undo;
    Text why = {0};
    /* Without its file (a run before this one took it) there is nothing
     * to unregister with. */
    if (server == NULL ||
        (pathAttributes(server) == INVALID_FILE_ATTRIBUTES && isNotFound(GetLastError())))
        return;
    /* The registration names the install that registered last: the one the
     * entry names. An orphan's unregistering would break that install. */
    if (removal->owner == kOtherEntry) {
        tellAction(removal->ui, L"not unregistered: %ls: the uninstall entry names the install in %ls",
                   server, removal->elsewhere != NULL ? removal->elsewhere : L"another folder");
        return;
    }
    registrar.child = removal->copy;
    undo = runRegistration(&registrar, server, 1);
    if (registrationSucceeded(&registrar, undo, server, &why))
        tellAction(removal->ui, L"unregistered: %ls", server);
    else
        textFormat(&removal->problems, L"\r\nthe registration of %ls: %ls", server,
                   textChars(&why));
    textFree(&why);
    freeRegistrar(&registrar);
}

/* Deletes the files the record names, read-only ones too, then the record. */
/* A file in use (a plugin a running program holds) cannot be deleted now:
 * Windows deletes it when it restarts. */
static int removeAtRestart(Removal* removal, const WCHAR* path, DWORD error) {
    if ((error != ERROR_ACCESS_DENIED && error != ERROR_SHARING_VIOLATION) ||
        !pathMove(path, NULL, MOVEFILE_DELAY_UNTIL_REBOOT))
        return 0;
    tellAction(removal->ui, L"in use, removed at the next restart: %ls", path);
    if (!pathListAdd(&removal->atRestart, path)) textAppend(&removal->problems, L"\r\nOut of memory.");
    return 1;
}

static int holdsFileForRestart(const Removal* removal, const WCHAR* folder) {
    size_t i;
    for (i = 0; i < removal->atRestart.count; ++i)
        if (isWithin(removal->atRestart.paths[i], folder)) return 1;
    return 0;
}

/* Deletes the files the record names, read-only ones too. */
static void removeFiles(Removal* removal) {
    size_t i;
    for (i = 0; i < removal->record.files.count; ++i) {
        const WCHAR* file = removal->record.files.paths[i];
        DWORD attributes = pathAttributes(file), error;
        if (attributes == INVALID_FILE_ATTRIBUTES && isNotFound(GetLastError())) continue;
        if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY))
            pathSetAttributes(file, attributes & ~(DWORD)FILE_ATTRIBUTE_READONLY);
        if (pathDelete(file)) {
            tellAction(removal->ui, L"removed: %ls", file);
        } else if (!removeAtRestart(removal, file, error = GetLastError())) {
            notRemoved(&removal->problems, file, error);
            ++removal->left;
        }
    }
}

/* The record goes last of the files: while a file it names is left, it
 * stays, with this program and the entry, so the uninstall can run again. */
static void removeRecord(Removal* removal) {
    if (pathDelete(removal->recordPath) || GetLastError() == ERROR_FILE_NOT_FOUND)
        tellAction(removal->ui, L"removed: %ls", removal->recordPath);
    else
        notRemoved(&removal->problems, removal->recordPath, GetLastError());
}

/* The deepest first; this program's own folder and those above it go once
 * it has ended. */
static void removeFolders(Removal* removal) {
    PathList* folders = &removal->record.folders;
    DWORD error;
    size_t i;
    qsort(folders->paths, folders->count, sizeof *folders->paths, longerFirst);
    for (i = 0; i < folders->count; ++i) {
        const WCHAR* made = folders->paths[i];
        if (holdsFileForRestart(removal, made)) {
            /* After the files in it, at the same restart. */
            if (pathMove(made, NULL, MOVEFILE_DELAY_UNTIL_REBOOT))
                tellAction(removal->ui, L"removed at the next restart: %ls", made);
            else
                notRemoved(&removal->problems, made, GetLastError());
        } else if (isWithin(removal->self, made)) {
            if (!pathListAdd(&removal->later, made))
                textAppend(&removal->problems, L"\r\nOut of memory.");
        } else if (pathRemoveFolder(made)) {
            tellAction(removal->ui, L"removed folder: %ls", made);
        } else if (!isNotFound(error = GetLastError())) {
            notRemoved(&removal->problems, made, error);
        }
    }
}

/* This program and the folders left for later, through its temporary
 * copy, once it has ended. */
static void removeSelfLater(Removal* removal) {
    DWORD error = 0;
    size_t i;
    if (removal->copy != NULL &&
        startRemovalHelper(removal->copy, removal->self, &removal->later, &error)) {
        Text text = {0};
        textFormat(&text, L"removed once this program has ended: %ls", removal->self);
        for (i = 0; i < removal->later.count; ++i)
            textFormat(&text, L", %ls", removal->later.paths[i]);
        removal->ui->action(removal->ui, textChars(&text));
        textFree(&text);
    } else {
        if (removal->copy != NULL) DeleteFileW(removal->copy);
        notRemoved(&removal->problems, removal->self,
                   removal->copy != NULL ? error : removal->copyError);
    }
}

/* Everything the record names, in order: the registration, the files, the
 * entry, the folders, this program last. */
static void removeAll(Removal* removal) {
    const UninstallRecord* record = &removal->record;
    removal->copy = temporaryCopy(removal->self, &removal->copyError);
    removal->owner = entryOwner(record, removal->self, &removal->elsewhere);
    askToCloseHolders(removal->ui, removal->contract->title,
                      (const WCHAR* const*)record->files.paths, record->files.count,
                      L"uninstall removes");
    unregisterServer(removal);
    removeFiles(removal);
    if (removal->left > 0) {
        /* Never an installed file without a way to remove it. */
        if (removal->copy != NULL) DeleteFileW(removal->copy);
        textAppend(&removal->problems,
                   L"\r\nThe uninstall entry, uninstall.exe and its record stay: close the "
                   L"programs that use these files and run the uninstall again.");
        return;
    }
    removeRecord(removal);
    if (removal->owner == kOurEntry && removeUninstallEntry(record, &removal->problems))
        tellAction(removal->ui, L"removed the uninstall entry: HKEY_LOCAL_MACHINE\\%ls%ls",
                   kUninstallRoot, record->key);
    removeFolders(removal);
    removeSelfLater(removal);
}

/* The last message: removed, or what could not be. */
static InstallOutcome tellRemoved(const Removal* removal) {
    const Contract* contract = removal->contract;
    InstallerUi* ui = removal->ui;
    Text text = {0};
    InstallOutcome outcome = kInstalled;
    if (removal->problems.length == 0) {
        textFormat(&text, L"The plugin \"%ls\" was removed from %ls.", contract->name,
                   removal->folder);
        if (removal->owner == kOtherEntry && removal->record.server != NULL)
            textFormat(&text,
                       L"\r\nIts registration belongs to the install in %ls, which the "
                       L"uninstall entry names, and stays.",
                       removal->elsewhere != NULL ? removal->elsewhere : L"another folder");
        if (removal->atRestart.count > 0) {
            size_t i;
            textAppend(&text, L"\r\nIn use by a running program, so removed when Windows "
                              L"restarts:");
            for (i = 0; i < removal->atRestart.count; ++i)
                textFormat(&text, L" %ls%ls", removal->atRestart.paths[i],
                           i + 1 < removal->atRestart.count ? L"," : L".");
            textAppend(&text, L" Restart Windows to finish.");
            outcome = kRestartNeeded;
        }
        ui->message(ui, kTellInfo, contract->title, textChars(&text));
    } else {
        textFormat(&text, L"The plugin \"%ls\" was removed from %ls, except for:%ls",
                   contract->name, removal->folder, textChars(&removal->problems));
        ui->message(ui, kTellError, contract->title, textChars(&text));
        outcome = kFailed;
    }
    textFree(&text);
    return outcome;
}

InstallOutcome runUninstall(InstallerUi* ui, const Contract* contract) {
    Removal removal;
    InstallOutcome outcome = kFailed;
    memset(&removal, 0, sizeof removal);
    removal.ui = ui;
    removal.contract = contract;
    if (findRecord(&removal)) {
        if (confirmRemoval(&removal)) {
            removeAll(&removal);
            outcome = tellRemoved(&removal);
        } else {
            outcome = kCancelled;
        }
    }
    textFree(&removal.problems);
    pathListFree(&removal.later);
    pathListFree(&removal.atRestart);
    freeRecord(&removal.record);
    free(removal.self);
    free(removal.copy);
    free(removal.folder);
    free(removal.recordPath);
    free(removal.elsewhere);
    return outcome;
}
