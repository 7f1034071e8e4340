#include "windows_names.h"

#include <string.h>

static int isSeparator(NameChar c) { return c == '\\' || c == '/'; }

size_t nameLength(const NameChar* name) {
    size_t length = 0;
    while (name[length] != 0) ++length;
    return length;
}

size_t keptLength(const NameChar* component, size_t length) {
    while (length > 0 && (component[length - 1] == '.' || component[length - 1] == ' ')) --length;
    return length;
}

static int isDots(const NameChar* start, size_t length, size_t dots) {
    size_t i;
    if (length != dots) return 0;
    for (i = 0; i < length; ++i)
        if (start[i] != '.') return 0;
    return 1;
}

static int isDigitOrSuperscript(NameChar c) {
    /* Windows counts COM0 to COM9 and COM with a superscript 1, 2 or 3. */
    return (c >= '0' && c <= '9') || c == 0xB9 || c == 0xB2 || c == 0xB3;
}

/* CON, PRN, AUX, NUL, CONIN$, CONOUT$, COM0-9 and LPT0-9 name devices in
 * every folder, with any extension ("nul.txt" too) and blanks before it, so
 * writing to one never reaches a file. */
static int isDeviceName(const NameChar* start, size_t length, SameIgnoringCase same) {
    static const NameChar* const kDevices[] = {u"CON", u"PRN", u"AUX", u"NUL", u"CONIN$",
                                               u"CONOUT$"};
    size_t base = 0, i;
    while (base < length && start[base] != '.') ++base;
    while (base > 0 && start[base - 1] == ' ') --base;
    for (i = 0; i < sizeof kDevices / sizeof kDevices[0]; ++i)
        if (nameLength(kDevices[i]) == base && same(start, kDevices[i], base)) return 1;
    return base == 4 && (same(start, u"COM", 3) || same(start, u"LPT", 3)) &&
           isDigitOrSuperscript(start[3]);
}

/* A component of dots and blanks only (other than "." and "..", which the
 * callers handle) would vanish, or turn into "..". */
ComponentProblem componentProblem(const NameChar* component, size_t length, SameIgnoringCase same) {
    size_t i;
    length = keptLength(component, length);
    if (length == 0) return kComponentVanishes;
    if (length > kComponentMax) return kComponentTooLong;
    if (isDeviceName(component, length, same)) return kComponentDevice;
    for (i = 0; i < length; ++i) {
        NameChar c = component[i];
        if (c < 0x20 || (c < 0x80 && strchr("<>:\"|?*", (char)c) != NULL))
            return kComponentReserved;
    }
    return kComponentOk;
}

int sameFileName(const NameChar* a, size_t aLength, const NameChar* b, size_t bLength,
                 SameIgnoringCase same) {
    aLength = keptLength(a, aLength);
    return aLength == keptLength(b, bLength) && same(a, b, aLength);
}

/* A component as Windows keeps it, or why it is refused. */
static NameResult checkComponent(const NameChar* start, size_t* length, SameIgnoringCase same) {
    ComponentProblem problem = componentProblem(start, *length, same);
    *length = keptLength(start, *length);
    if (problem == kComponentOk) return kNameOk;
    return problem == kComponentTooLong ? kNameTooLong : kNameInvalid;
}

static void append(NameChar* out, size_t* written, const NameChar* start, size_t length) {
    if (*written > 0) out[(*written)++] = '\\';
    memcpy(out + *written, start, length * sizeof *start);
    *written += length;
    out[*written] = 0;
}

NameResult installedName(const NameChar* name, NameRule rule, SameIgnoringCase same,
                         NameChar* out) {
    size_t at = 0, written = 0;
    const NameChar* last = name;
    size_t lastLength = 0;
    int absolute = 0, pass;

    out[0] = 0;
    if (name[0] == 0) return kNameEmpty;
    if (((name[0] >= 'A' && name[0] <= 'Z') || (name[0] >= 'a' && name[0] <= 'z')) &&
        name[1] == ':') {
        absolute = 1;
        at = 2;
    } else if (isSeparator(name[0])) {
        absolute = 1;
    }

    /* Pass 0 finds the last component and refuses "..";
     * pass 1 writes the components that stay. */
    for (pass = 0; pass < 2; ++pass) {
        size_t i = at;
        while (1) {
            const NameChar* start = name + i;
            size_t length;
            while (name[i] != 0 && !isSeparator(name[i])) ++i;
            length = (size_t)(name + i - start);
            if (pass == 0) {
                if (rule == kKeepFolders && isDots(start, length, 2)) return kNameParent;
                last = start;
                lastLength = length;
            } else if (length > 0 && !isDots(start, length, 1)) {
                NameResult result = checkComponent(start, &length, same);
                if (result != kNameOk) return result;
                append(out, &written, start, length);
            }
            if (name[i] == 0) break;
            ++i;
        }
        if (pass == 0) {
            if (lastLength == 0 || isDots(last, lastLength, 1)) return kNameNoFile;
            if (isDots(last, lastLength, 2)) return kNameParent;
            if (rule == kLastComponent || absolute) {
                NameResult result = checkComponent(last, &lastLength, same);
                if (result == kNameOk) append(out, &written, last, lastLength);
                return result;
            }
        }
    }
    return kNameOk;
}

const NameChar* nameResultText(NameResult result) {
    switch (result) {
        case kNameOk:
            return u"is fine";
        case kNameEmpty:
            return u"is empty";
        case kNameNoFile:
            return u"names a folder, not a file";
        case kNameParent:
            return u"leads out of the install folder (it has a \"..\" component)";
        case kNameInvalid:
            return u"is not a file name Windows can hold";
        case kNameTooLong:
            return u"has a part longer than 255 characters";
    }
    return u"is refused";
}

int findSameNames(const NameChar* const* names, size_t count, SameIgnoringCase same,
                  size_t* first, size_t* second) {
    size_t i, j;
    for (j = 1; j < count; ++j) {
        size_t length = nameLength(names[j]);
        for (i = 0; i < j; ++i) {
            if (sameFileName(names[i], nameLength(names[i]), names[j], length, same)) {
                *first = i;
                *second = j;
                return 1;
            }
        }
    }
    return 0;
}
