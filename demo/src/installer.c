/* A stand-in for the prepared installer program: a Windows console program
 * that lists the resources the updater wrote into it. Built with MinGW
 * (i686-w64-mingw32-gcc) for the demo and the tests. */
#include <stdio.h>
#include <string.h>
#include <windows.h>

#define TYPE_RCDATA MAKEINTRESOURCEA(10)
#define TYPE_ICON MAKEINTRESOURCEA(3)
#define TYPE_GROUP_ICON MAKEINTRESOURCEA(14)

static const unsigned char* findData(int id, LPCSTR type, DWORD* size) {
    HRSRC found = FindResourceA(NULL, MAKEINTRESOURCEA(id), type);
    HGLOBAL loaded;
    if (found == NULL) return NULL;
    loaded = LoadResource(NULL, found);
    if (loaded == NULL) return NULL;
    *size = SizeofResource(NULL, found);
    return (const unsigned char*)LockResource(loaded);
}

/* A text resource: its characters up to its terminating NUL. */
static void printText(int id, const char* what) {
    DWORD size = 0;
    const unsigned char* data = findData(id, TYPE_RCDATA, &size);
    if (data == NULL) {
        printf("%d %-16s (missing)\n", id, what);
        return;
    }
    printf("%d %-16s \"%.*s\"\n", id, what, (int)strnlen((const char*)data, size), data);
}

static void printFile(int id, const char* what) {
    DWORD size = 0;
    const unsigned char* data = findData(id, TYPE_RCDATA, &size);
    if (data == NULL) {
        printf("%d %-16s (missing)\n", id, what);
    } else {
        printf("%d %-16s %lu bytes\n", id, what, (unsigned long)size);
    }
}

int main(void) {
    DWORD tableSize = 0, groupSize = 0;
    const unsigned char* table;
    const unsigned char* group;
    int count = 0;
    DWORD at = 0;

    printText(101, "Name");
    printText(102, "Filename");
    printText(104, "RunAfterInstall");
    printText(105, "VBName");
    printFile(106, "plugin file");
    printText(107, "Warning");
    printText(108, "Title");

    /* 103: the extra files' names, each ended by a NUL, then one more NUL;
     * line k belongs to resource 108 + k. */
    table = findData(103, TYPE_RCDATA, &tableSize);
    if (table == NULL) {
        printf("103 location table (missing)\n");
        return 1;
    }
    printf("103 location table %lu bytes\n", (unsigned long)tableSize);
    while (at < tableSize && table[at] != 0) {
        const char* line = (const char*)table + at;
        size_t length = strnlen(line, tableSize - at);
        ++count;
        printf("  ");
        printFile(108 + count, line);
        at += (DWORD)length + 1;
    }

    /* The icon group follows the extra files. */
    group = findData(109 + count, TYPE_GROUP_ICON, &groupSize);
    if (group == NULL || groupSize < 6) {
        printf("%d icon group     (none)\n", 109 + count);
    } else {
        int images = group[4] | (group[5] << 8);
        int i;
        printf("%d icon group     %d images\n", 109 + count, images);
        for (i = 0; i < images && 6 + 14 * (DWORD)(i + 1) <= groupSize; ++i) {
            const unsigned char* entry = group + 6 + 14 * i;
            int id = entry[12] | (entry[13] << 8);
            DWORD size = 0;
            printf("  icon %d: %dx%d, %s\n", id, entry[0] ? entry[0] : 256,
                   entry[1] ? entry[1] : 256,
                   findData(id, TYPE_ICON, &size) != NULL ? "present" : "missing");
        }
    }
    return 0;
}
