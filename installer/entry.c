/* The uninstall entry under Settings > Apps: its key and registry view,
 * written by the install, read back for an earlier install's folder, and
 * owned by the one uninstaller whose command it runs. */
#include "entry.h"

#include <stdlib.h>
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
