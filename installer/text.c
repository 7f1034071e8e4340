#include "text.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <windows.h>

static int reserve(Text* text, size_t more) {
    size_t wanted, capacity;
    wchar_t* grown;
    if (text->outOfMemory) return 0;
    wanted = text->length + more + 1;
    if (wanted <= text->capacity) return 1;
    capacity = text->capacity < 64 ? 64 : text->capacity;
    while (capacity < wanted) capacity *= 2;
    grown = realloc(text->chars, capacity * sizeof *grown);
    if (grown == NULL) {
        text->outOfMemory = 1;
        return 0;
    }
    text->chars = grown;
    text->capacity = capacity;
    return 1;
}

void textAppend(Text* text, const wchar_t* chars) {
    size_t length = wcslen(chars);
    if (!reserve(text, length)) return;
    memcpy(text->chars + text->length, chars, (length + 1) * sizeof *chars);
    text->length += length;
}

void textFormatList(Text* text, const wchar_t* format, va_list arguments) {
    /* vswprintf says only that a text did not fit, not how long it is:
     * try again with twice the room. */
    size_t room = 128;
    while (reserve(text, room)) {
        va_list copy;
        int written;
        va_copy(copy, arguments);
        written = vswprintf(text->chars + text->length, text->capacity - text->length, format,
                            copy);
        va_end(copy);
        if (written >= 0 && (size_t)written < text->capacity - text->length) {
            text->length += (size_t)written;
            return;
        }
        text->chars[text->length] = 0;
        if (room > ((size_t)1 << 24)) return; /* a format error, not a lack of room */
        room = (text->capacity - text->length) * 2;
    }
}

void textFormat(Text* text, const wchar_t* format, ...) {
    va_list arguments;
    va_start(arguments, format);
    textFormatList(text, format, arguments);
    va_end(arguments);
}

void textAppendSystemError(Text* text, unsigned long code, const wchar_t* subject) {
    /* Some sentences hold inserts ("%1 is not a valid Win32 application"):
     * each one names subject, never shows as "%1". */
    DWORD_PTR inserts[9];
    WCHAR* sentence = NULL;
    DWORD length;
    size_t i;
    for (i = 0; i < sizeof inserts / sizeof *inserts; ++i) inserts[i] = (DWORD_PTR)subject;
    length = FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_ARGUMENT_ARRAY |
                                FORMAT_MESSAGE_ALLOCATE_BUFFER,
                            NULL, code, 0, (WCHAR*)&sentence, 0, (va_list*)inserts);
    while (length > 0 && wcschr(L" .\r\n", sentence[length - 1]) != NULL) --length;
    if (length > 0) {
        sentence[length] = 0;
        textAppend(text, sentence);
    } else {
        textFormat(text, L"error %lu", code);
    }
    LocalFree(sentence);
}

wchar_t* textCopy(const wchar_t* chars) {
    size_t size = (wcslen(chars) + 1) * sizeof *chars;
    wchar_t* copy = malloc(size);
    if (copy != NULL) memcpy(copy, chars, size);
    return copy;
}

const wchar_t* textChars(const Text* text) { return text->chars != NULL ? text->chars : L""; }

wchar_t* textTake(Text* text) {
    wchar_t* chars = text->chars;
    if (text->outOfMemory) {
        free(chars);
        chars = NULL;
    } else if (chars == NULL) {
        chars = calloc(1, sizeof *chars);
    }
    memset(text, 0, sizeof *text);
    return chars;
}

void textFree(Text* text) {
    free(text->chars);
    memset(text, 0, sizeof *text);
}
