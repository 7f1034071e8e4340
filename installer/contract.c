#include "contract.h"

#include <stdlib.h>
#include <string.h>

static Blob readBlob(size_t id) {
    Blob blob = {NULL, 0};
    HRSRC found;
    HGLOBAL loaded;
    if (id > 0xFFFF) return blob;
    /* Language neutral, as the updater writes them: FindResourceEx asks for
     * exactly that language instead of the UI language's fallback chain. */
    found = FindResourceExA(NULL, MAKEINTRESOURCEA(10), MAKEINTRESOURCEA(id),
                            MAKELANGID(LANG_NEUTRAL, SUBLANG_NEUTRAL));
    if (found == NULL) return blob;
    loaded = LoadResource(NULL, found);
    if (loaded == NULL) return blob;
    blob.data = (const char*)LockResource(loaded);
    blob.size = blob.data != NULL ? SizeofResource(NULL, found) : 0;
    return blob;
}

/* A text resource up to its NUL, or up to its end should the NUL be lost.
 * (memchr rather than strnlen, which older msvcrt.dll versions lack.) */
static char* readText(int id, const char* fallback) {
    Blob blob = readBlob((size_t)id);
    const char* chars = blob.data != NULL ? blob.data : fallback;
    const char* end = blob.data != NULL ? memchr(blob.data, 0, blob.size) : NULL;
    size_t length = blob.data == NULL ? strlen(fallback)
                    : end != NULL     ? (size_t)(end - blob.data)
                                      : blob.size;
    char* copy = malloc(length + 1);
    if (copy == NULL) return NULL;
    memcpy(copy, chars, length);
    copy[length] = 0;
    return copy;
}

int readContract(Contract* contract) {
    memset(contract, 0, sizeof *contract);
    /* The defaults the updater itself writes for a missing key. */
    contract->name = readText(kIdName, TAMSEL_DEFAULT_NAME);
    contract->pluginName = readText(kIdFilename, "");
    contract->runAfterInstall = readText(kIdRunAfterInstall, "");
    contract->progId = readText(kIdVBName, "");
    contract->warning = readText(kIdWarning, "");
    contract->title = readText(kIdTitle, TAMSEL_DEFAULT_TITLE);
    contract->plugin = readBlob(kIdPlugin);
    contract->locationTable = readBlob(kIdLocationTable);
    return contract->name != NULL && contract->pluginName != NULL &&
           contract->runAfterInstall != NULL && contract->progId != NULL &&
           contract->warning != NULL && contract->title != NULL;
}

void freeContract(Contract* contract) {
    free(contract->name);
    free(contract->pluginName);
    free(contract->runAfterInstall);
    free(contract->progId);
    free(contract->warning);
    free(contract->title);
    memset(contract, 0, sizeof *contract);
}

Blob readExtraFile(size_t k) { return readBlob(kIdExtraFileBase + k); }
