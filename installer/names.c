#include "names.h"

#include <stdio.h>
#include <string.h>

static int isSeparator(unsigned char c) { return c == '\\' || c == '/'; }

static int isBlank(char c) { return c == ' ' || c == '\t'; }

static char upper(char c) { return (c >= 'a' && c <= 'z') ? (char)(c - 'a' + 'A') : c; }

/* Length of the character at s: two bytes for a lead byte with a partner. */
static size_t charLength(const unsigned char* s, LeadBytePredicate isLead) {
    return (isLead != NULL && isLead(s[0]) && s[1] != 0) ? 2 : 1;
}

static int isDots(const unsigned char* start, size_t length, size_t dots) {
    return length == dots && memcmp(start, "..", dots) == 0;
}

/* CON, PRN, AUX, NUL, COM1-9 and LPT1-9 name devices in every folder, with
 * any extension ("nul.txt" too), so writing to one never reaches a file. */
static int isDeviceName(const unsigned char* start, size_t length) {
    static const char* const kDevices[] = {"CON", "PRN", "AUX", "NUL"};
    char base[5];
    size_t baseLength = 0, i;
    while (baseLength < length && start[baseLength] != '.') ++baseLength;
    while (baseLength > 0 && start[baseLength - 1] == ' ') --baseLength;
    if (baseLength < 3 || baseLength > 4) return 0;
    for (i = 0; i < baseLength; ++i) base[i] = upper((char)start[i]);
    base[baseLength] = 0;
    if (baseLength == 3) {
        for (i = 0; i < sizeof kDevices / sizeof kDevices[0]; ++i)
            if (strcmp(base, kDevices[i]) == 0) return 1;
        return 0;
    }
    return (memcmp(base, "COM", 3) == 0 || memcmp(base, "LPT", 3) == 0) && base[3] >= '1' &&
           base[3] <= '9';
}

/* A component Windows can create as a file or folder name. Windows drops
 * trailing dots and spaces when it opens a path, so ".. " would become "..";
 * such names are refused rather than left to that rewriting. */
static int isValidComponent(const unsigned char* start, size_t length, LeadBytePredicate isLead) {
    size_t at = 0;
    if (start[length - 1] == '.' || start[length - 1] == ' ') return 0;
    if (isDeviceName(start, length)) return 0;
    while (at < length) {
        size_t step = charLength(start + at, isLead);
        /* Only single bytes are checked: a trail byte may be any of them. */
        if (step == 1 && (start[at] < 0x20 || strchr("<>:\"|?*", start[at]) != NULL)) return 0;
        at += step;
    }
    return 1;
}

static NameResult append(char* out, size_t outSize, size_t* written, const unsigned char* start,
                         size_t length) {
    size_t separator = *written > 0 ? 1 : 0;
    if (*written + separator + length >= outSize) return kNameTooLong;
    if (separator) out[(*written)++] = '\\';
    memcpy(out + *written, start, length);
    *written += length;
    out[*written] = 0;
    return kNameOk;
}

NameResult installedName(const char* name, NameRule rule, LeadBytePredicate isLead, char* out,
                         size_t outSize) {
    const unsigned char* s = (const unsigned char*)name;
    size_t at = 0, written = 0;
    const unsigned char* last = s;
    size_t lastLength = 0;
    int absolute = 0, pass;

    if (outSize > 0) out[0] = 0;
    if (name == NULL || name[0] == 0) return kNameEmpty;
    if (((s[0] >= 'A' && s[0] <= 'Z') || (s[0] >= 'a' && s[0] <= 'z')) && s[1] == ':') {
        absolute = 1;
        at = 2;
    } else if (isSeparator(s[0])) {
        absolute = 1;
    }

    /* Pass 0 finds the last component and refuses "..";
     * pass 1 writes the components that stay. */
    for (pass = 0; pass < 2; ++pass) {
        size_t i = at;
        while (1) {
            const unsigned char* start = s + i;
            size_t length;
            while (s[i] != 0 && !isSeparator(s[i])) i += charLength(s + i, isLead);
            length = (size_t)(s + i - start);
            if (pass == 0) {
                if (rule == kKeepFolders && isDots(start, length, 2)) return kNameParent;
                last = start;
                lastLength = length;
            } else if (length > 0 && !isDots(start, length, 1)) {
                NameResult result;
                if (!isValidComponent(start, length, isLead)) return kNameInvalid;
                result = append(out, outSize, &written, start, length);
                if (result != kNameOk) return result;
            }
            if (s[i] == 0) break;
            ++i;
        }
        if (pass == 0) {
            if (lastLength == 0 || isDots(last, lastLength, 1)) return kNameNoFile;
            if (isDots(last, lastLength, 2)) return kNameParent;
            if (rule == kLastComponent || absolute) {
                if (!isValidComponent(last, lastLength, isLead)) return kNameInvalid;
                return append(out, outSize, &written, last, lastLength);
            }
        }
    }
    return kNameOk;
}

const char* nameResultText(NameResult result) {
    switch (result) {
        case kNameOk:
            return "is fine";
        case kNameEmpty:
            return "is empty";
        case kNameNoFile:
            return "names a folder, not a file";
        case kNameParent:
            return "leads out of the install folder (it has a \"..\" component)";
        case kNameInvalid:
            return "is not a file name Windows can hold";
        case kNameTooLong:
            return "is too long";
    }
    return "is refused";
}

int nextTableLine(TableCursor* cursor, const char** line, size_t* length) {
    const char* start;
    const char* end;
    if (cursor->data == NULL || cursor->at >= cursor->size || cursor->data[cursor->at] == 0)
        return 0;
    start = cursor->data + cursor->at;
    end = memchr(start, 0, cursor->size - cursor->at);
    *line = start;
    *length = end != NULL ? (size_t)(end - start) : cursor->size - cursor->at;
    cursor->at += *length + 1;
    return 1;
}

const char* skipProgramName(const char* commandLine) {
    const char* p = commandLine;
    int quoted = 0;
    /* The same rule as the C runtime's: blanks end the name outside quotes. */
    while (*p != 0 && (quoted || !isBlank(*p))) {
        if (*p == '"') quoted = !quoted;
        ++p;
    }
    while (isBlank(*p)) ++p;
    return p;
}

static int isOption(const char* p, char letter) {
    return p[0] == '/' && upper(p[1]) == letter;
}

int parseArguments(const char* arguments, InstallerOptions* options, char* problem,
                   size_t problemSize) {
    const char* p = arguments;
    int ok = 1;
    memset(options, 0, sizeof *options);
    if (problemSize > 0) problem[0] = 0;
    while (1) {
        while (isBlank(*p)) ++p;
        if (*p == 0) break;
        if (isOption(p, 'S') && (p[2] == 0 || isBlank(p[2]))) {
            options->silent = 1;
            p += 2;
        } else if (isOption(p, 'D') && p[2] == '=') {
            const char* folder = p + 3;
            size_t length = strlen(folder);
            while (length > 0 && isBlank(folder[length - 1])) --length;
            if (length >= 2 && folder[0] == '"' && folder[length - 1] == '"') {
                ++folder;
                length -= 2;
            }
            if (length == 0) {
                snprintf(problem, problemSize, "The option /D= needs a folder after it.");
                return 0;
            }
            if (length >= sizeof options->folder) {
                snprintf(problem, problemSize, "The folder given with /D= is too long.");
                return 0;
            }
            memcpy(options->folder, folder, length);
            options->folder[length] = 0;
            options->hasFolder = 1;
            break;
        } else {
            size_t length = 0;
            while (p[length] != 0 && !isBlank(p[length])) ++length;
            /* Keep reading: a /S further on still decides how to say this. */
            if (ok)
                snprintf(problem, problemSize,
                         "Unknown option %.*s. The options are /S (silent) and, last, "
                         "/D=folder.",
                         (int)length, p);
            ok = 0;
            p += length;
        }
    }
    return ok;
}
