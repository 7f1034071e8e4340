// The Windows ANSI code page, and text crossing it. Bytes that go to or come
// from Windows (install-info files, backup files, text resources, names in the
// location table) are in the ANSI code page; text inside our programs is
// Unicode, held as UTF-8 in std::string. These are the only routines that
// convert between the two; both programs call them. The conversion itself is
// the platform's: iconv in the C library (codepage_iconv.cpp), or Windows'
// own MultiByteToWideChar and WideCharToMultiByte (codepage_windows.cpp).
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/result.h"
#include "platform/text/unicode.h"

namespace platform::text {

// Names a code page number to use instead of the one the locale gives
// ("1251"). Read once, on the first call of ansiCodePage().
inline constexpr const char* kCodePageVariable = "TAMSEL_CODEPAGE";

// The ANSI code page Windows would use for a locale named as in LANG
// ("fr_FR.UTF-8", "sr_RS@latin", "C"): language and territory decide; the
// codeset does not, and the locale need not be installed. 1252 for C, POSIX,
// an empty name and every language without a code page of its own.
unsigned codePageForLocale(std::string_view locale);

// The code page of this process: kCodePageVariable when it holds a code page
// the platform can convert, otherwise the system's: on Windows GetACP(),
// elsewhere codePageForLocale of the first non-empty of LC_ALL, LC_CTYPE and
// LANG. Computed once.
unsigned ansiCodePage();

// The code page's name as users know it ("code page 1252").
std::string codePageName(unsigned codePage);

// True when every character of the code page is one byte.
bool isSingleByte(unsigned codePage);

struct Decoded {
    std::string utf8;
    // Bytes that are no character of the code page (a DBCS lead byte with no
    // valid trail, say); each became U+FFFD.
    std::size_t replaced = 0;
};

// ANSI bytes to UTF-8. In a single-byte code page, a byte the code page
// leaves undefined (0x81 in 1252) decodes to the C1 control of the same
// value, as Windows decodes it, so that it encodes back to the same byte.
Decoded ansiToUtf8(std::string_view ansi, unsigned codePage);

// A character that a code page cannot hold.
struct Unmappable {
    char32_t character = 0;
    std::size_t offset = 0;  // byte offset of the character in the UTF-8 text
};

// "U+0416 'Ж'": how a message names a character.
std::string describeCharacter(char32_t character);

// UTF-8 to ANSI bytes, refusing: the first character the code page cannot
// hold (or bytes that are not UTF-8) comes back as an Unmappable.
struct Encoded {
    std::string ansi;
    std::vector<Unmappable> unmappable;  // strict: at most one, and ansi is empty then
};
Encoded utf8ToAnsi(std::string_view utf8, unsigned codePage);

// Why `utf8` cannot be written in the code page: "U+0416 'Ж', which code page
// 1252 cannot hold" for the first character it cannot hold; nullopt when it
// can be written. For messages that refuse a write.
std::optional<std::string> whyNotInCodePage(std::string_view utf8, unsigned codePage);

// UTF-8 to ANSI bytes as Windows' conversion makes them: each character the
// code page cannot hold becomes '?', and is listed.
Encoded utf8ToAnsiReplacing(std::string_view utf8, unsigned codePage);

// The number of ANSI bytes one character (given as UTF-8) takes; 1 for a
// character the code page cannot hold, since it becomes '?'.
std::size_t ansiLength(std::string_view utf8Character, unsigned codePage);

// Whether `byte` starts a two-byte character in the code page (the lead
// bytes of the double-byte code pages 932, 936, 949 and 950).
bool isLeadByte(unsigned char byte, unsigned codePage);

// How many of `ansi`'s first bytes a cut to at most `maxBytes` keeps without
// splitting a double-byte character: a lead byte whose trail would fall past
// the cut goes too.
std::size_t ansiCutLength(std::string_view ansi, std::size_t maxBytes, unsigned codePage);

// How many of `utf8`'s first bytes to keep so that their ANSI form (a
// character the code page cannot hold counting as its '?') takes at most
// `maxAnsiBytes`; whole characters only.
std::size_t utf8CutLengthForAnsi(std::string_view utf8, std::size_t maxAnsiBytes,
                                 unsigned codePage);

// How a text file's bytes are encoded.
enum class FileEncoding {
    Ansi,     // the ANSI code page (also plain ASCII)
    Utf8,     // UTF-8 without a byte-order mark, holding a non-ASCII character
    Utf8Bom,  // UTF-8 after EF BB BF
    Utf16Le,  // UTF-16LE after FF FE
};

// Decides the encoding of an install-info or backup file: a UTF-16LE or UTF-8
// byte-order mark, else valid UTF-8 holding a non-ASCII byte, else ANSI.
FileEncoding detectFileEncoding(std::string_view bytes);

struct DecodedFile {
    std::string utf8;  // the text, without any byte-order mark
    FileEncoding encoding = FileEncoding::Ansi;
    std::size_t replaced = 0;  // as in Decoded
};

// Reads a text file's bytes as Unicode, whatever detectFileEncoding says.
DecodedFile decodeTextFile(std::string_view bytes, unsigned codePage);

}  // namespace platform::text
