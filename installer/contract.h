/* What the updater wrote into this program: RT_RCDATA resources, language
 * neutral. Texts are NUL-terminated strings in the ANSI code page.
 *   101 Name  102 plugin file name  103 location table  104 run after install
 *   105 ProgID  106 plugin file  107 warning  108 title
 *   108 + k  the extra file named by the k-th line of 103 */
#ifndef INSTALLER_CONTRACT_H
#define INSTALLER_CONTRACT_H

#include <windows.h>

enum {
    kIdName = 101,
    kIdPluginName = 102,
    kIdLocationTable = 103,
    kIdRunAfterInstall = 104,
    kIdProgId = 105,
    kIdPlugin = 106,
    kIdWarning = 107,
    kIdTitle = 108,
    kIdFirstExtraFile = 109
};

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
