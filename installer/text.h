/* A growing UTF-16 text for the installer's messages, which hold names and
 * paths of any length. */
#ifndef INSTALLER_TEXT_H
#define INSTALLER_TEXT_H

#include <stdarg.h>
#include <stddef.h>
#include <wchar.h>

typedef struct Text {
    wchar_t* chars;
    size_t length;
    size_t capacity;
    int outOfMemory; /* an append failed: the text stops short */
} Text;

void textAppend(Text* text, const wchar_t* chars);
/* swprintf's format: "%ls" for a wide string. */
void textFormat(Text* text, const wchar_t* format, ...);
void textFormatList(Text* text, const wchar_t* format, va_list arguments);
/* The system's sentence for a Win32 error code, without its full stop; its
 * inserts, where it has any, name subject (a path). */
void textAppendSystemError(Text* text, unsigned long code, const wchar_t* subject);
/* A copy of chars (malloc'd), or NULL when memory runs out. */
wchar_t* textCopy(const wchar_t* chars);
/* The text so far, L"" for a text never written to. */
const wchar_t* textChars(const Text* text);
/* Hands the text over (NULL when memory ran out) and leaves it empty. */
wchar_t* textTake(Text* text);
void textFree(Text* text);

#endif
