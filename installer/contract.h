/* What the updater wrote into this program: RT_RCDATA resources, language
 * neutral. Texts are NUL-terminated strings in the ANSI code page; they are
 * read once, here, into UTF-16. The IDs are the updater's, from one header
 * both programs include. */
#ifndef INSTALLER_CONTRACT_H
#define INSTALLER_CONTRACT_H

#include <windows.h>

#include "common/installer_resources.h"

/* A narrow string literal of the shared header as a wide one. */
#define TAMSEL_WIDE_(literal) L##literal
#define TAMSEL_WIDE(literal) TAMSEL_WIDE_(literal)

typedef struct Blob {
    const char* data; /* NULL when the resource is missing */
    DWORD size;
} Blob;

typedef struct Contract {
    /* 0 for the prepared program before its first update: no Name and no
     * plugin file in it. */
    int updated;
    /* Copies in UTF-16; a missing text reads as the updater's default. */
    WCHAR* name;
    WCHAR* pluginName;
    WCHAR* runAfterInstall;
    WCHAR* progId;
    WCHAR* warning;
    WCHAR* title;
    Blob plugin;
    /* uninstall.exe's bytes; missing in an installer an older updater wrote. */
    Blob uninstaller;
    /* The location table's lines, the k-th (from 1) for resource 108 + k;
     * an empty line in the table is an empty name here. */
    WCHAR** extraNames;
    size_t extraCount;
} Contract;

/* Returns 0 only when memory runs out. */
int readContract(Contract* contract);
void freeContract(Contract* contract);

/* The extra file of the k-th table line (k from 1), or a missing blob. */
Blob readExtraFile(size_t k);

/* The Machine field of a PE file's header (0x14C i686, 0x8664 x86-64, ...),
 * or 0 when the bytes are no PE file. */
WORD peMachine(Blob file);

/* ANSI code page bytes as UTF-16 (malloc'd), or NULL when memory runs out. */
WCHAR* ansiToWide(const char* chars, size_t length);

#endif
