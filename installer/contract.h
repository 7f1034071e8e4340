/* What the updater wrote into this program: RT_RCDATA resources, language
 * neutral. Texts are NUL-terminated strings in the ANSI code page.
 * The IDs are the updater's, from one header both programs include. */
#ifndef INSTALLER_CONTRACT_H
#define INSTALLER_CONTRACT_H

#include <windows.h>

#include "common/installer_resources.h"

typedef struct Blob {
    const char* data; /* NULL when the resource is missing */
    DWORD size;
} Blob;

typedef struct Contract {
    /* Copies, each NUL-terminated; a missing text reads as the updater's
     * default for it. */
    char* name;
    char* pluginName;
    char* runAfterInstall;
    char* progId;
    char* warning;
    char* title;
    Blob plugin;
    Blob locationTable;
} Contract;

/* Returns 0 only when memory runs out. */
int readContract(Contract* contract);
void freeContract(Contract* contract);

/* The extra file of the k-th table line (k from 1), or a missing blob. */
Blob readExtraFile(size_t k);

#endif
