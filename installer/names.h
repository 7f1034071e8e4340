/* The installer's rules for names and its command line. Plain C without
 * Windows headers, so the host's unit tests can build it too. */
#ifndef INSTALLER_NAMES_H
#define INSTALLER_NAMES_H

#include <stddef.h>

#ifdef __cplusplus
extern "C" {
#endif

/* The longest path the ANSI file routines take, NUL included. */
enum { kInstallerPathMax = 260 };

/* Tells whether a byte opens a two-byte character of the ANSI code page
 * (IsDBCSLeadByte on Windows). The second byte of such a character may be
 * '\' or '/' in code pages like 932, so name splitting must step over it. */
typedef int (*LeadBytePredicate)(unsigned char byte);

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
    kNameTooLong
} NameResult;

/* Works out where a name from the installer's resources is installed,
 * relative to the destination folder, with '\' between components.
 *
 * With kKeepFolders a relative name keeps its sub-folders ("data\notes.txt"
 * stays so, "." components drop out), and an absolute one (drive letter or
 * leading separator) keeps only its last component; a ".." anywhere refuses
 * the name. With kLastComponent only the last component is looked at, so the
 * author's own path to the plugin ("..\build\plugin.dll") does not matter.
 * isLead may be NULL for a single-byte code page. */
NameResult installedName(const char* name, NameRule rule, LeadBytePredicate isLead, char* out,
                         size_t outSize);

/* A few words saying why a name was refused, to follow "The name X ". */
const char* nameResultText(NameResult result);

/* The location table: lines each ended by a NUL, then one more NUL. The walk
 * stops at the empty line or at the end of the data, whichever comes first,
 * so a table that lost its last NULs still gives its whole lines. */
typedef struct TableCursor {
    const char* data;
    size_t size;
    size_t at;
} TableCursor;

/* Gives the next line (not NUL-terminated when it ran into the end of the
 * data) and returns 1, or returns 0 at the end of the table. */
int nextTableLine(TableCursor* cursor, const char** line, size_t* length);

typedef struct InstallerOptions {
    int silent;                      /* /S */
    int hasFolder;                   /* /D=folder was given */
    char folder[kInstallerPathMax];  /* the folder of /D= */
} InstallerOptions;

/* Steps past the program's own name at the start of a command line, which
 * is quoted when it holds spaces, and past the blanks after it. */
const char* skipProgramName(const char* commandLine);

/* Reads "/S" and "/D=folder" (either letter case). /D= comes last and takes
 * the rest of the line, spaces included, quotes around it removed. Returns
 * 1, or 0 with a sentence in problem saying what was wrong. */
int parseArguments(const char* arguments, InstallerOptions* options, char* problem,
                   size_t problemSize);

#ifdef __cplusplus
}
#endif

#endif
