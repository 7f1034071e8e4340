/* The uninstall entry under Settings > Apps: its key and registry view,
 * written by the install (its version and publisher from this program's own
 * version resource), read back for an earlier install's folder, and owned
 * by the one uninstaller whose command it runs. */
#include "entry.h"

#include <stdlib.h>
#include <string.h>
#include <wchar.h>

#include "files.h"
#include "report.h"

static const WCHAR kUninstallRoot[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\";

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

/* This program's own version resource (RT_VERSION), read here rather than
 * through version.dll: a tree of blocks, each a 6-byte header (length, value
 * length, type), a NUL-terminated UTF-16 key, a value and child blocks, each
 * on a 32-bit boundary from the start of the resource. Every read stays
 * inside its block, and its block inside the resource. */
typedef struct VersionBlock {
    size_t keyAt, valueAt, childrenAt, end;
    WORD valueLength;
} VersionBlock;

static WORD versionWord(const BYTE* data, size_t at) {
    WORD word;
    memcpy(&word, data + at, sizeof word);
    return word;
}

static size_t align4(size_t at) { return (at + 3) & ~(size_t)3; }

/* The block at `at`, which must end by `limit`; 0 if it does not, or if its
 * key has no NUL inside it. */
static int readVersionBlock(const BYTE* data, size_t at, size_t limit, VersionBlock* block) {
    WORD length;
    size_t key;
    if (data == NULL || at > limit || limit - at < 6) return 0;
    length = versionWord(data, at);
    if (length < 6 || length > limit - at) return 0;
    block->end = at + length;
    block->keyAt = at + 6;
    block->valueLength = versionWord(data, at + 2);
    for (key = block->keyAt; key + 2 <= block->end && versionWord(data, key) != 0; key += 2) {}
    if (key + 2 > block->end) return 0;
    block->valueAt = align4(key + 2);
    /* Type 1: the value length counts UTF-16 units, else bytes. */
    block->childrenAt = align4(block->valueAt + (versionWord(data, at + 4) == 1 ? 2u : 1u) *
                                                    (size_t)block->valueLength);
    return 1;
}

/* Whether the block's key is `key` (ASCII), letter case ignored as
 * VerQueryValue ignores it. Stops at the key's NUL, which lies in the block. */
static int versionKeyIs(const BYTE* data, const VersionBlock* block, const char* key) {
    size_t at;
    for (at = block->keyAt;; at += 2, ++key) {
        WORD unit = versionWord(data, at);
        char wanted = *key >= 'A' && *key <= 'Z' ? (char)(*key - 'A' + 'a') : *key;
        if ((unit >= 'A' && unit <= 'Z' ? unit - 'A' + 'a' : unit) != (WORD)wanted) return 0;
        if (unit == 0) return 1;
    }
}

/* The first child of `parent` whose key is `key` (any child for NULL). */
static int versionChild(const BYTE* data, const VersionBlock* parent, const char* key,
                        VersionBlock* child) {
    size_t at;
    /* A child is at least its header long: the walk always moves on. */
    for (at = align4(parent->childrenAt);
         at < parent->end && readVersionBlock(data, at, parent->end, child);
         at = align4(child->end))
        if (key == NULL || versionKeyIs(data, child, key)) return 1;
    return 0;
}

/* A string's value up to its NUL or its block's end (malloc'd), or NULL
 * when it is empty: writers differ on whether its length counts bytes. */
static WCHAR* versionText(const BYTE* data, const VersionBlock* block) {
    size_t units = 0;
    WCHAR* text;
    while (block->valueLength > 0 && block->valueAt + 2 * (units + 1) <= block->end &&
           versionWord(data, block->valueAt + 2 * units) != 0)
        ++units;
    if (units == 0 || (text = malloc((units + 1) * sizeof *text)) == NULL) return NULL;
    memcpy(text, data + block->valueAt, units * sizeof *text);
    text[units] = 0;
    return text;
}

/* The first language of the first name of RT_VERSION, as the resource tree
 * lists them. */
static BOOL CALLBACK firstVersionLanguage(HMODULE module, LPCWSTR type, LPCWSTR name,
                                          WORD language, LONG_PTR found) {
    *(HRSRC*)found = FindResourceExW(module, type, name, language);
    return FALSE;
}

static BOOL CALLBACK firstVersionName(HMODULE module, LPCWSTR type, LPWSTR name,
                                      LONG_PTR found) {
    EnumResourceLanguagesW(module, type, name, firstVersionLanguage, found);
    return FALSE;
}

/* The FileVersion and CompanyName of the first string table of this
 * program's version resource (malloc'd), each NULL when absent or empty. */
static void readOwnVersion(WCHAR** fileVersion, WCHAR** company) {
    HRSRC found = NULL;
    HGLOBAL loaded;
    const BYTE* data;
    DWORD size;
    VersionBlock root, section, table, string;
    *fileVersion = *company = NULL;
    EnumResourceNamesW(NULL, MAKEINTRESOURCEW(16) /* RT_VERSION */, firstVersionName,
                       (LONG_PTR)&found);
    loaded = found != NULL ? LoadResource(NULL, found) : NULL;
    data = loaded != NULL ? (const BYTE*)LockResource(loaded) : NULL;
    size = data != NULL ? SizeofResource(NULL, found) : 0;
    if (!readVersionBlock(data, 0, size, &root) || !versionKeyIs(data, &root, "VS_VERSION_INFO"))
        return;
    /* The fixed file info is counted in bytes whatever the root's type says. */
    root.childrenAt = align4(root.valueAt + root.valueLength);
    if (!versionChild(data, &root, "StringFileInfo", &section) ||
        !versionChild(data, &section, NULL, &table))
        return;
    if (versionChild(data, &table, "FileVersion", &string))
        *fileVersion = versionText(data, &string);
    if (versionChild(data, &table, "CompanyName", &string)) *company = versionText(data, &string);
}

/* Writes a string value, or deletes it where there is none: a reinstall
 * must not keep what an earlier release wrote. */
static LONG setOrDelete(HKEY key, const WCHAR* name, const WCHAR* value) {
    LONG status;
    if (value != NULL)
        return RegSetValueExW(key, name, 0, REG_SZ, (const BYTE*)value,
                              (DWORD)((wcslen(value) + 1) * sizeof(WCHAR)));
    status = RegDeleteValueW(key, name);
    return status == ERROR_FILE_NOT_FOUND ? ERROR_SUCCESS : status;
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
    WCHAR *version, *publisher;
    HKEY key;
    size_t i;
    LONG status;
    textFormat(&path, L"%ls%ls", kUninstallRoot, record->key);
    textFormat(&command, L"\"%ls\"", uninstaller);
    textFormat(&quiet, L"\"%ls\" /S", uninstaller);
    strings[2][1] = textChars(&command);
    strings[3][1] = textChars(&quiet);
    /* What Settings > Apps shows as the version and the publisher. */
    readOwnVersion(&version, &publisher);
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
        if (status == ERROR_SUCCESS) status = setOrDelete(key, L"DisplayVersion", version);
        if (status == ERROR_SUCCESS) status = setOrDelete(key, L"Publisher", publisher);
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
    free(version);
    free(publisher);
    return status == ERROR_SUCCESS;
}

EntryOwner entryOwner(const UninstallRecord* record, const WCHAR* uninstaller,
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
        owner = value != NULL && samePath(value, textChars(&command)) ? kOurEntry : kOtherEntry;
        if (owner == kOtherEntry) *elsewhere = stringValue(key, L"InstallLocation");
        RegCloseKey(key);
    }
    free(value);
    textFree(&command);
    return owner;
}

int removeUninstallEntry(const UninstallRecord* record, InstallerUi* ui, Text* problems) {
    Text path = {0};
    LONG status;
    textFormat(&path, L"%ls%ls", kUninstallRoot, record->key);
    status = path.outOfMemory ? ERROR_NOT_ENOUGH_MEMORY
                              : RegDeleteKeyExW(HKEY_LOCAL_MACHINE, textChars(&path),
                                                record->view, 0);
    if (status == ERROR_SUCCESS)
        tellAction(ui, L"removed the uninstall entry: HKEY_LOCAL_MACHINE\\%ls", textChars(&path));
    else if (status != ERROR_FILE_NOT_FOUND) {
        textAppend(problems, L"\r\n");
        appendRegistryError(problems, record->key, status);
    }
    textFree(&path);
    return status == ERROR_SUCCESS;
}
