#include "text.h"

#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

static int reserve(Text* text, size_t more) {
    size_t wanted, capacity;
    char* grown;
    if (text->outOfMemory) return 0;
    wanted = text->length + more + 1;
    if (wanted <= text->capacity) return 1;
    capacity = text->capacity < 64 ? 64 : text->capacity;
    while (capacity < wanted) capacity *= 2;
    grown = realloc(text->chars, capacity);
    if (grown == NULL) {
        text->outOfMemory = 1;
        return 0;
    }
    text->chars = grown;
    text->capacity = capacity;
    return 1;
}

void textAppend(Text* text, const char* chars) {
    size_t length = strlen(chars);
    if (!reserve(text, length)) return;
    memcpy(text->chars + text->length, chars, length + 1);
    text->length += length;
}

void textFormatList(Text* text, const char* format, va_list arguments) {
    va_list copy;
    int needed;
    va_copy(copy, arguments);
    needed = vsnprintf(NULL, 0, format, copy);
    va_end(copy);
    if (needed < 0 || !reserve(text, (size_t)needed)) return;
    vsnprintf(text->chars + text->length, (size_t)needed + 1, format, arguments);
    text->length += (size_t)needed;
}

void textFormat(Text* text, const char* format, ...) {
    va_list arguments;
    va_start(arguments, format);
    textFormatList(text, format, arguments);
    va_end(arguments);
}

const char* textChars(const Text* text) { return text->chars != NULL ? text->chars : ""; }

void textClear(Text* text) {
    text->length = 0;
    if (text->chars != NULL) text->chars[0] = 0;
}

void textFree(Text* text) {
    free(text->chars);
    memset(text, 0, sizeof *text);
}
