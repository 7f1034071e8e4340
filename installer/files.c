#include "files.h"

#include <stdlib.h>
#include <string.h>
#include <wchar.h>

#include "text.h"

static int isUnc(const WCHAR* path) {
    return path[0] == '\\' && path[1] == '\\' && path[2] != '?' && path[2] != '.';
}

static int isLongForm(const WCHAR* path) { return wcsncmp(path, L"\\\\?\\", 4) == 0; }

size_t longFormLength(const WCHAR* path) {
    size_t length = wcslen(path);
    if (isLongForm(path)) return length;
    return isUnc(path) ? length - 2 + 8 : length + 4; /* "\\?\UNC\" for "\\" */
}

WCHAR* longForm(const WCHAR* path) {
    WCHAR* out = malloc(sizeof *out * (longFormLength(path) + 1));
    if (out == NULL) return NULL;
    if (isLongForm(path)) {
        wcscpy(out, path);
    } else if (isUnc(path)) {
        wcscpy(out, L"\\\\?\\UNC\\");
        wcscat(out, path + 2);
    } else {
        wcscpy(out, L"\\\\?\\");
        wcscat(out, path);
    }
    return out;
}

WCHAR* joinPath(const WCHAR* folder, const WCHAR* relative) {
    Text path = {0};
    size_t length = wcslen(folder);
    textAppend(&path, folder);
    if (length == 0 || folder[length - 1] != '\\') textAppend(&path, L"\\");
    textAppend(&path, relative);
    return textTake(&path);
}

size_t rootLength(const WCHAR* path) {
    const WCHAR* p;
    int separators = 0;
    if (path[0] != 0 && path[1] == ':' && path[2] == '\\') return 3;
    if (path[0] != '\\' || path[1] != '\\') return 0;
    for (p = path + 2; *p != 0; ++p)
        if (*p == '\\' && ++separators == 2) return (size_t)(p - path) + 1;
    return wcslen(path);
}

WCHAR* parentOf(const WCHAR* path) {
    const WCHAR* last = wcsrchr(path, '\\');
    size_t length = last != NULL ? (size_t)(last - path) : 0;
    WCHAR* parent;
    if (last != NULL && length < rootLength(path)) ++length;
    parent = malloc(sizeof *parent * (length + 1));
    if (parent == NULL) return NULL;
    memcpy(parent, path, sizeof *parent * length);
    parent[length] = 0;
    return parent;
}

int isNotFound(DWORD error) {
    return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
}

PathFault pathFault = NULL;

static int faulted(const WCHAR* operation, const WCHAR* path) {
    return operation != NULL && pathFault != NULL && pathFault(operation, path);
}

/* Runs `call` on the long form of path, unless the stand-in fails the
 * operation; memory running out reads as ERROR_NOT_ENOUGH_MEMORY. The last
 * error is the call's. */
#define WITH_LONG_FORM(operation, path, failed, call) \
    do {                                              \
        WCHAR* full;                                  \
        DWORD error;                                  \
        if (faulted(operation, path)) return failed;  \
        full = longForm(path);                        \
        if (full == NULL) {                           \
            SetLastError(ERROR_NOT_ENOUGH_MEMORY);    \
            return failed;                            \
        }                                             \
        result = call;                                \
        error = GetLastError();                       \
        free(full);                                   \
        SetLastError(error);                          \
    } while (0)

DWORD pathAttributes(const WCHAR* path) {
    DWORD result;
    WITH_LONG_FORM(L"attributes", path, INVALID_FILE_ATTRIBUTES, GetFileAttributesW(full));
    return result;
}

BOOL pathSetAttributes(const WCHAR* path, DWORD attributes) {
    BOOL result;
    WITH_LONG_FORM(L"setAttributes", path, FALSE, SetFileAttributesW(full, attributes));
    return result;
}

BOOL pathCreateFolder(const WCHAR* path) {
    BOOL result;
    WITH_LONG_FORM(L"createFolder", path, FALSE, CreateDirectoryW(full, NULL));
    return result;
}

BOOL pathRemoveFolder(const WCHAR* path) {
    BOOL result;
    WITH_LONG_FORM(L"removeFolder", path, FALSE, RemoveDirectoryW(full));
    return result;
}

BOOL pathDelete(const WCHAR* path) {
    BOOL result;
    WITH_LONG_FORM(L"delete", path, FALSE, DeleteFileW(full));
    return result;
}

HANDLE pathCreateNew(const WCHAR* path) {
    HANDLE result;
    WITH_LONG_FORM(L"createNew", path, INVALID_HANDLE_VALUE,
                   CreateFileW(full, GENERIC_WRITE, 0, NULL, CREATE_NEW, FILE_ATTRIBUTE_NORMAL,
                               NULL));
    return result;
}

/* MoveFileEx, or CopyFile (copy nonzero) to a new file, on two paths. */
static BOOL moveOrCopy(const WCHAR* from, const WCHAR* to, DWORD flags, int copy) {
    BOOL result;
    WCHAR* target;
    if (faulted(copy ? L"copy" : L"move", to != NULL ? to : from)) return FALSE;
    target = to != NULL ? longForm(to) : NULL;
    if (to != NULL && target == NULL) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return FALSE;
    }
    WITH_LONG_FORM(NULL, from, (free(target), FALSE),
                   copy ? CopyFileW(full, target, TRUE) : MoveFileExW(full, target, flags));
    {
        DWORD error = GetLastError();
        free(target);
        SetLastError(error);
    }
    return result;
}

BOOL pathCopy(const WCHAR* from, const WCHAR* to) { return moveOrCopy(from, to, 0, 1); }

BOOL pathMove(const WCHAR* from, const WCHAR* to, DWORD flags) {
    return moveOrCopy(from, to, flags, 0);
}

int pathIdentity(const WCHAR* path, FileIdentity* identity) {
    BY_HANDLE_FILE_INFORMATION information;
    HANDLE result;
    BOOL known;
    /* Attributes only, shared every way, folders too (BACKUP_SEMANTICS):
     * opening disturbs no one, a running program included. */
    WITH_LONG_FORM(L"identity", path, 0,
                   CreateFileW(full, FILE_READ_ATTRIBUTES,
                               FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, NULL,
                               OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, NULL));
    if (result == INVALID_HANDLE_VALUE) return 0;
    known = GetFileInformationByHandle(result, &information);
    CloseHandle(result);
    if (!known) return 0;
    identity->volume = information.dwVolumeSerialNumber;
    identity->indexHigh = information.nFileIndexHigh;
    identity->indexLow = information.nFileIndexLow;
    return 1;
}

int sameNameIgnoringCase(const NameChar* a, const NameChar* b, size_t length) {
    return CompareStringOrdinal(a, (int)length, b, (int)length, TRUE) == CSTR_EQUAL;
}

WCHAR* pathOfThisProgram(void) {
    DWORD size = MAX_PATH;
    while (size <= kLongPathMax + 1) {
        WCHAR* path = malloc(sizeof *path * size);
        DWORD length;
        if (path == NULL) break;
        length = GetModuleFileNameW(NULL, path, size);
        if (length > 0 && length < size) return path;
        free(path);
        if (length == 0) return NULL;
        size *= 2;
    }
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return NULL;
}
