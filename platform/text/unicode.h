// UTF-8 and letter case: the one decoder and the one case table that every
// layer uses (code page conversion, Windows-style name matching, resource
// names).
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace platform::text {

// One UTF-8 character read from a text.
struct Utf8Character {
    char32_t code = 0;       // the code point; the lead byte's value when !valid
    std::size_t length = 0;  // bytes taken: 1 when !valid, 0 at the end of the text
    bool valid = false;      // well formed: no overlong form, no surrogate, at most U+10FFFF
};

// The character that starts at bytes[at]. A byte that starts no well-formed
// character is taken alone.
Utf8Character decodeUtf8(std::string_view bytes, std::size_t at);

// The length in bytes of the UTF-8 character that starts at bytes[at]
// (1 for a byte that starts none, 0 past the end).
std::size_t utf8CharacterLength(std::string_view bytes, std::size_t at);

// Whether bytes are well-formed UTF-8.
bool isValidUtf8(std::string_view bytes);

// Appends `code` (at most U+10FFFF) as UTF-8.
void appendUtf8(std::string& out, char32_t code);

// UTF-8 to UTF-16 and back, for the rules written in C on UTF-16 (how
// Windows reads a file name). A byte that starts no well-formed UTF-8
// character becomes the lone surrogate U+DC00 + byte and turns back into
// that byte (as Python's "surrogateescape"), so that a Linux name that is
// not UTF-8 equals only itself and comes back unchanged. Any other lone
// surrogate becomes U+FFFD.
std::u16string utf8ToUtf16(std::string_view utf8);
std::string utf16ToUtf8(std::u16string_view utf16);

// Simple (one to one) letter case of the letters the European ANSI code
// pages hold: ASCII, Latin-1, Latin Extended-A, Greek and Cyrillic. A fixed
// table rather than the C library's, so that no result depends on the locale.
// Any other character is its own case.
char32_t toLowerCase(char32_t code);
char32_t toUpperCase(char32_t code);

// Whether two names (UTF-8) are one name to Windows: equal after toLowerCase.
// Bytes that are not UTF-8 compare as themselves.
bool sameNameIgnoringCase(std::string_view a, std::string_view b);

// The same on `length` UTF-16 units of each, unit by unit, as the shared name
// rule of common/windows_names.h asks its letter case (1 when one name).
int sameUnitsIgnoringCase(const char16_t* a, const char16_t* b, std::size_t length);

}  // namespace platform::text
