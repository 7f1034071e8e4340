/* The record of what an install made: uninstall.ini beside uninstall.exe,
 * in UTF-16 with a byte-order mark, an INI file (Windows' profile functions
 * and any editor read it) with the sections [Uninstall], [Files] and
 * [Folders], the paths numbered from 1. Each install in a folder merges its
 * files into it; the uninstaller deletes what it names and nothing else. */
#ifndef INSTALLER_RECORD_H
#define INSTALLER_RECORD_H

#include <windows.h>

extern const WCHAR kRecordName[]; /* "uninstall.ini" */

/* Whether two paths name one file, letter case aside. */
int samePath(const WCHAR* a, const WCHAR* b);

/* Paths without repeats (letter case aside), in the order first added. */
typedef struct PathList {
    WCHAR** paths;
    size_t count;
} PathList;

/* 0 when memory runs out. */
int pathListAdd(PathList* list, const WCHAR* path);
void pathListFree(PathList* list);

typedef struct UninstallRecord {
    WCHAR* key;       /* the entry's name under ...\CurrentVersion\Uninstall */
    DWORD view;       /* KEY_WOW64_64KEY, KEY_WOW64_32KEY, or 0 for the program's own */
    WCHAR* server;    /* the plugin registered as a COM server, or NULL */
    WCHAR* registrar; /* how it was registered (recordedRegistrar), or NULL */
    PathList files;   /* the files the installs wrote new */
    PathList folders; /* the folders they made */
} UninstallRecord;

/* Reads the record at path; a record that is not there reads as an empty
 * one. 0 when memory runs out. */
int readRecord(const WCHAR* path, UninstallRecord* record);
/* The record's text, as written into the file (malloc'd; NULL when memory
 * runs out), and its length in characters, the byte-order mark included. */
WCHAR* recordText(const UninstallRecord* record, size_t* length);
void freeRecord(UninstallRecord* record);

#endif
