/* The installer's location table and its command line; its rules for file
 * names are Windows' own, in common/windows_names.h. Plain C on UTF-16 text
 * without Windows headers, so that the host's unit tests build it too. */
#ifndef INSTALLER_NAMES_H
#define INSTALLER_NAMES_H

#include <stddef.h>

#include "common/windows_names.h"

#ifdef __cplusplus
extern "C" {
#endif

/* The location table: lines each ended by a NUL, then one more NUL. It is
 * read to its end: an empty line with a name after it is reported, and a
 * table that lost its last NULs still gives its whole lines. */
typedef struct TableCursor {
    const char* data;
    size_t size;
    size_t at;
} TableCursor;

typedef enum TableStep {
    kTableEnd,
    kTableLine,     /* *line (not NUL-terminated if it ran into the end) */
    kTableEmptyLine /* an empty line before more names */
} TableStep;

TableStep nextTableLine(TableCursor* cursor, const char** line, size_t* length);

typedef enum ArgumentsResult {
    kArgumentsOk,
    kArgumentsUnknownOption, /* options->unknown names it */
    kArgumentsNoFolder,      /* "/D=" with nothing after it */
    kArgumentsNoLogFile      /* "/LOG=" with nothing after it */
} ArgumentsResult;

typedef struct InstallerOptions {
    int silent;               /* /S */
    int help;                 /* /? */
    const NameChar* folder;   /* /D=folder, within the arguments; NULL without */
    size_t folderLength;
    const NameChar* log;      /* /LOG=file, within the arguments; NULL without */
    size_t logLength;
    const NameChar* unknown;  /* the first unknown option, within the arguments */
    size_t unknownLength;
} InstallerOptions;

/* Steps past the program's own name at the start of a command line, which
 * is quoted when it holds spaces, and past the blanks after it. */
const NameChar* skipProgramName(const NameChar* commandLine);

/* Reads "/S", "/?", "/LOG=file" and "/D=folder" (either letter case).
 * /LOG= takes one word, or a quoted name. /D= comes last and takes the rest
 * of the line, blanks around it and quotes around it (or around the whole
 * option, as argument quoting writes "/D=C:\a b") removed. An unknown
 * option is remembered, and reading goes on: a /S further on still decides
 * how to say so. */
ArgumentsResult parseArguments(const NameChar* arguments, SameIgnoringCase same,
                               InstallerOptions* options);

#ifdef __cplusplus
}
#endif

#endif
