/* The record of what an install made, uninstall.ini beside uninstall.exe:
 * read back, written as text, and the path lists it holds. */
#include "record.h"

#include <stdlib.h>
#include <string.h>
#include <wchar.h>

#include "files.h"
#include "text.h"

const WCHAR kRecordName[] = L"uninstall.ini";

int samePath(const WCHAR* a, const WCHAR* b) {
    size_t length = wcslen(a);
    return wcslen(b) == length && sameNameIgnoringCase(a, b, length);
}

static int pathListHas(const PathList* list, const WCHAR* path) {
    size_t i;
    for (i = 0; i < list->count; ++i)
        if (samePath(list->paths[i], path)) return 1;
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

