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

/* Ends an option's word: the end of the line or a blank. */
static int endsWord(NameChar c) { return c == 0 || isBlank(c); }

/* The value of "/LOG=" at p (after the option's name): a word, or a quoted
 * one; the option may be quoted whole ("/LOG=C:\a b.log"). */
static const NameChar* logValue(const NameChar* p, int quotedOption, size_t* length) {
    const NameChar* end;
    if (quotedOption || *p == '"') {
        if (!quotedOption) ++p;
        for (end = p; *end != 0 && *end != '"'; ++end) {}
    } else {
        for (end = p; !endsWord(*end); ++end) {}
    }
    *length = (size_t)(end - p);
    return p;
}

ArgumentsResult parseArguments(const NameChar* arguments, SameIgnoringCase same,
                               InstallerOptions* options) {
    const NameChar* p = arguments;
    memset(options, 0, sizeof *options);
    while (1) {
        int quotedOption, quotedLog;
        while (isBlank(*p)) ++p;
        if (*p == 0) break;
        quotedOption = *p == '"' && isOption(p + 1, u"/D=", same);
        quotedLog = *p == '"' && isOption(p + 1, u"/LOG=", same);
        if (isOption(p, u"/S", same) && endsWord(p[2])) {
            options->silent = 1;
            p += 2;
        } else if (isOption(p, u"/?", same) && endsWord(p[2])) {
            options->help = 1;
            p += 2;
        } else if (quotedLog || isOption(p, u"/LOG=", same)) {
            options->log = logValue(p + 5 + (size_t)quotedLog, quotedLog, &options->logLength);
            p = options->log + options->logLength;
            if (*p == '"') ++p;
            if (options->logLength == 0) return kArgumentsNoLogFile;
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
            while (!endsWord(p[length])) ++length;
            if (options->unknown == NULL) {
                options->unknown = p;
                options->unknownLength = length;
            }
            p += length;
        }
    }
    return options->unknown != NULL ? kArgumentsUnknownOption : kArgumentsOk;
}
