#include "contract.h"

#include <stdlib.h>
#include <string.h>

#include "names.h"

static Blob readNamedBlob(const WCHAR* name) {
    Blob blob = {NULL, 0};
    HRSRC found;
    HGLOBAL loaded;
    /* Language neutral, as the updater writes them: FindResourceEx asks for
     * exactly that language instead of the UI language's fallback chain. */
    found = FindResourceExW(NULL, MAKEINTRESOURCEW(10), name,
                            MAKELANGID(LANG_NEUTRAL, SUBLANG_NEUTRAL));
    if (found == NULL) return blob;
    loaded = LoadResource(NULL, found);
    if (loaded == NULL) return blob;
    blob.data = (const char*)LockResource(loaded);
    blob.size = blob.data != NULL ? SizeofResource(NULL, found) : 0;
    return blob;
}

static Blob readBlob(size_t id) {
    Blob none = {NULL, 0};
    return id > 0xFFFF ? none : readNamedBlob(MAKEINTRESOURCEW(id));
}

WCHAR* ansiToWide(const char* chars, size_t length) {
    int wideLength = length == 0 || length > 0x7FFFFFFF
                         ? 0
                         : MultiByteToWideChar(CP_ACP, 0, chars, (int)length, NULL, 0);
    WCHAR* wide = malloc(sizeof *wide * ((size_t)wideLength + 1));
    if (wide == NULL) return NULL;
    if (wideLength > 0) MultiByteToWideChar(CP_ACP, 0, chars, (int)length, wide, wideLength);
    wide[wideLength] = 0;
    return wide;
}

/* A text resource up to its NUL, or up to its end should the NUL be lost. */
static WCHAR* readText(int id, const char* fallback) {
    Blob blob = readBlob((size_t)id);
    const char* end;
    if (blob.data == NULL) return ansiToWide(fallback, strlen(fallback));
    end = memchr(blob.data, 0, blob.size);
    return ansiToWide(blob.data, end != NULL ? (size_t)(end - blob.data) : blob.size);
}

static int readLocationTable(Contract* contract) {
    Blob table = readBlob(kIdLocationTable);
    TableCursor cursor = {table.data, table.size, 0};
    const char* line;
    size_t length, lines = 0;
    TableStep step;
    while (nextTableLine(&cursor, &line, &length) != kTableEnd) ++lines;
    contract->extraNames = calloc(lines + 1, sizeof *contract->extraNames);
    if (contract->extraNames == NULL) return 0;
    cursor.at = 0;
    while ((step = nextTableLine(&cursor, &line, &length)) != kTableEnd) {
        WCHAR* name = ansiToWide(line, step == kTableLine ? length : 0);
        if (name == NULL) return 0;
        contract->extraNames[contract->extraCount++] = name;
    }
    return 1;
}

int readContract(Contract* contract) {
    memset(contract, 0, sizeof *contract);
    contract->updated =
        readBlob(kIdName).data != NULL || readBlob(kIdPlugin).data != NULL;
    /* The defaults the updater itself writes for a missing key. */
    contract->name = readText(kIdName, TAMSEL_DEFAULT_NAME);
    contract->pluginName = readText(kIdFilename, "");
    contract->runAfterInstall = readText(kIdRunAfterInstall, "");
    contract->progId = readText(kIdVBName, "");
    contract->warning = readText(kIdWarning, "");
    contract->title = readText(kIdTitle, TAMSEL_DEFAULT_TITLE);
    contract->plugin = readBlob(kIdPlugin);
    contract->uninstaller = readNamedBlob(TAMSEL_WIDE(TAMSEL_UNINSTALLER_RESOURCE));
    return readLocationTable(contract) && contract->name != NULL &&
           contract->pluginName != NULL && contract->runAfterInstall != NULL &&
           contract->progId != NULL && contract->warning != NULL && contract->title != NULL;
}

void freeContract(Contract* contract) {
    size_t i;
    for (i = 0; i < contract->extraCount; ++i) free(contract->extraNames[i]);
    free(contract->extraNames);
    free(contract->name);
    free(contract->pluginName);
    free(contract->runAfterInstall);
    free(contract->progId);
    free(contract->warning);
    free(contract->title);
    memset(contract, 0, sizeof *contract);
}

/* "MZ" at 0, the offset of "PE\0\0" at 0x3C, the Machine after that
 * signature. Each range is checked by subtraction, so no sum can wrap. */
WORD peMachine(Blob file) {
    const unsigned char* bytes = (const unsigned char*)file.data;
    DWORD at;
    if (bytes == NULL || file.size < 0x40 || bytes[0] != 'M' || bytes[1] != 'Z') return 0;
    at = (DWORD)bytes[0x3C] | (DWORD)bytes[0x3D] << 8 | (DWORD)bytes[0x3E] << 16 |
         (DWORD)bytes[0x3F] << 24;
    if (at > file.size - 6 || memcmp(bytes + at, "PE\0\0", 4) != 0) return 0;
    return (WORD)(bytes[at + 4] | bytes[at + 5] << 8);
}

Blob readExtraFile(size_t k) { return readBlob(kIdExtraFileBase + k); }
