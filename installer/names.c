#include "names.h"

#include <string.h>

static int isBlank(NameChar c) { return c == ' ' || c == '\t'; }

TableStep nextTableLine(TableCursor* cursor, const char** line, size_t* length) {
    const char* start;
    const char* end;
    size_t rest;
    if (cursor->data == NULL || cursor->at >= cursor->size) return kTableEnd;
    start = cursor->data + cursor->at;
    rest = cursor->size - cursor->at;
    end = memchr(start, 0, rest);
    *line = start;
    *length = end != NULL ? (size_t)(end - start) : rest;
    cursor->at += *length + 1;
    if (*length > 0) return kTableLine;
    /* The table's closing NUL, or NULs to its end: no more names. */
    while (rest > 0 && start[rest - 1] == 0) --rest;
    if (rest == 0) {
        cursor->at = cursor->size;
        return kTableEnd;
    }
    return kTableEmptyLine;
}

const NameChar* skipProgramName(const NameChar* commandLine) {
    const NameChar* p = commandLine;
    int quoted = 0;
    /* The same rule as the C runtime's: blanks end the name outside quotes. */
    while (*p != 0 && (quoted || !isBlank(*p))) {
        if (*p == '"') quoted = !quoted;
        ++p;
    }
    while (isBlank(*p)) ++p;
    return p;
}

static int isOption(const NameChar* p, const NameChar* option, SameIgnoringCase same) {
    size_t length = nameLength(option);
    size_t i;
    for (i = 0; i < length; ++i)
        if (p[i] == 0) return 0;
    return same(p, option, length);
}

ArgumentsResult parseArguments(const NameChar* arguments, SameIgnoringCase same,
                               InstallerOptions* options) {
    const NameChar* p = arguments;
    memset(options, 0, sizeof *options);
    while (1) {
        int quotedOption;
        while (isBlank(*p)) ++p;
        if (*p == 0) break;
        quotedOption = *p == '"' && isOption(p + 1, u"/D=", same);
        if (isOption(p, u"/S", same) && (p[2] == 0 || isBlank(p[2]))) {
            options->silent = 1;
            p += 2;
        } else if (quotedOption || isOption(p, u"/D=", same)) {
            const NameChar* folder = p + 3 + (size_t)quotedOption;
            size_t length;
            while (isBlank(*folder)) ++folder;
            length = nameLength(folder);
            while (length > 0 && isBlank(folder[length - 1])) --length;
            if (quotedOption) {
                if (length > 0 && folder[length - 1] == '"') --length;
            } else if (length >= 2 && folder[0] == '"' && folder[length - 1] == '"') {
                ++folder;
                length -= 2;
            }
            while (length > 0 && isBlank(*folder)) {
                ++folder;
                --length;
            }
            while (length > 0 && isBlank(folder[length - 1])) --length;
            if (length == 0) return kArgumentsNoFolder;
            options->folder = folder;
            options->folderLength = length;
            break;
        } else {
            size_t length = 0;
            while (p[length] != 0 && !isBlank(p[length])) ++length;
            if (options->unknown == NULL) {
                options->unknown = p;
                options->unknownLength = length;
            }
            p += length;
        }
    }
    return options->unknown != NULL ? kArgumentsUnknownOption : kArgumentsOk;
}
