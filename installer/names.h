/* The installer's rules for names, its location table and its command line.
 * Plain C on UTF-16 text without Windows headers, so that the host's unit
 * tests build it too. */
#ifndef INSTALLER_NAMES_H
#define INSTALLER_NAMES_H

#include <stddef.h>
#ifndef __cplusplus
#include <uchar.h>
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* A UTF-16 code unit: WCHAR on Windows (both are unsigned 16-bit there). */
typedef char16_t NameChar;

enum {
    kComponentMax = 255,  /* characters in one file or folder name */
    kLongPathMax = 32767  /* characters in a "\\?\" path, NUL excluded */
};

/* Whether two runs of `length` characters are one name to Windows: equal
 * after Windows' own case folding. Every case-insensitive comparison of the
 * installer goes through the one such function it is given. */
typedef int (*SameIgnoringCase)(const NameChar* a, const NameChar* b, size_t length);

typedef enum NameRule {
    kKeepFolders,   /* an extra file: a relative name keeps its sub-folders */
    kLastComponent  /* the plugin file: only its last component counts */
} NameRule;

typedef enum NameResult {
    kNameOk,
    kNameEmpty,    /* nothing to name a file by */
    kNameNoFile,   /* ends in a separator or "." : names a folder */
    kNameParent,   /* a ".." component: it would lead out of the folder */
    kNameInvalid,  /* a component Windows cannot hold as a file name */
    kNameTooLong   /* a component longer than kComponentMax */
} NameResult;

/* Works out where a name from the installer's resources is installed,
 * relative to the destination folder, with '\' between components. out
 * needs room for the name's length + 1: the result is never longer.
 *
 * With kKeepFolders a relative name keeps its sub-folders ("data\notes.txt"
 * stays so, "." components drop out), and an absolute one (drive letter or
 * leading separator) keeps only its last component; a ".." anywhere refuses
 * the name. With kLastComponent only the last component is looked at, so the
 * author's own path to the plugin ("..\build\plugin.dll") does not matter.
 * Each component loses its trailing dots and blanks, as Windows drops them
 * when it opens a path ("readme.txt." is "readme.txt"). */
NameResult installedName(const NameChar* name, NameRule rule, SameIgnoringCase same,
                         NameChar* out);

/* A few words saying why a name was refused, to follow "The name X ". */
const NameChar* nameResultText(NameResult result);

/* Finds two names that are one file to Windows: returns 1 and their
 * indexes (first < second), or 0. */
int findSameNames(const NameChar* const* names, size_t count, SameIgnoringCase same,
                  size_t* first, size_t* second);

size_t nameLength(const NameChar* name);

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
    kArgumentsNoFolder       /* "/D=" with nothing after it */
} ArgumentsResult;

typedef struct InstallerOptions {
    int silent;               /* /S */
    const NameChar* folder;   /* /D=folder, within the arguments; NULL without */
    size_t folderLength;
    const NameChar* unknown;  /* the first unknown option, within the arguments */
    size_t unknownLength;
} InstallerOptions;

/* Steps past the program's own name at the start of a command line, which
 * is quoted when it holds spaces, and past the blanks after it. */
const NameChar* skipProgramName(const NameChar* commandLine);

/* Reads "/S" and "/D=folder" (either letter case). /D= comes last and takes
 * the rest of the line, blanks around it and quotes around it (or around the
 * whole option, as argument quoting writes "/D=C:\a b") removed. An unknown
 * option is remembered, and reading goes on: a /S further on still decides
 * how to say so. */
ArgumentsResult parseArguments(const NameChar* arguments, SameIgnoringCase same,
                               InstallerOptions* options);

#ifdef __cplusplus
}
#endif

#endif
