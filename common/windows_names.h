/* How Windows reads a file name, for every program that must agree with it:
 * the installer installs by it, the updater warns by it, the editor refuses
 * backup names by it. Plain C on UTF-16 text without Windows headers, so
 * that the installer builds it with MinGW and the host's tests build it too;
 * the one system call it needs, letter case, is injected. */
#ifndef TAMSEL_WINDOWS_NAMES_H
#define TAMSEL_WINDOWS_NAMES_H

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
 * after Windows' own case folding. Every case-insensitive comparison of a
 * program goes through the one such function it is given. */
typedef int (*SameIgnoringCase)(const NameChar* a, const NameChar* b, size_t length);

size_t nameLength(const NameChar* name);

/* The length of one component as Windows opens it: without its trailing
 * dots and blanks ("readme.txt. " is "readme.txt"). */
size_t keptLength(const NameChar* component, size_t length);

typedef enum ComponentProblem {
    kComponentOk,
    kComponentVanishes, /* nothing left once the trailing dots and blanks go */
    kComponentTooLong,  /* longer than kComponentMax */
    kComponentDevice,   /* CON, NUL, COM1...: a device in every folder */
    kComponentReserved  /* < > : " | ? * or a control character */
} ComponentProblem;

/* Why Windows cannot hold one component (no separators in it) as a file
 * name, looked at as Windows keeps it (keptLength), or kComponentOk. */
ComponentProblem componentProblem(const NameChar* component, size_t length, SameIgnoringCase same);

/* Whether two names land on one file: equal, letter case ignored, once each
 * has lost its trailing dots and blanks. */
int sameFileName(const NameChar* a, size_t aLength, const NameChar* b, size_t bLength,
                 SameIgnoringCase same);

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

#ifdef __cplusplus
}
#endif

#endif
