/* A growing text for the installer's messages, which hold names and paths of
 * any length. Plain C. */
#ifndef INSTALLER_TEXT_H
#define INSTALLER_TEXT_H

#include <stdarg.h>
#include <stddef.h>

#ifdef __cplusplus
extern "C" {
#endif

typedef struct Text {
    char* chars;
    size_t length;
    size_t capacity;
    int outOfMemory; /* an append failed: the text stops short */
} Text;

void textAppend(Text* text, const char* chars);
void textFormat(Text* text, const char* format, ...)
#ifdef __GNUC__
    __attribute__((format(printf, 2, 3)))
#endif
    ;
void textFormatList(Text* text, const char* format, va_list arguments);
/* The text so far, "" for a text never written to. */
const char* textChars(const Text* text);
void textClear(Text* text);
void textFree(Text* text);

#ifdef __cplusplus
}
#endif

#endif
