// The code page conversion through Windows' own routines. The system's code
// page is GetACP(). No best-fit mapping: a character the code page does not
// hold exactly ends the prefix, so that the caller writes '?' and says so.
#include <windows.h>

#include <climits>

#include "platform/text/codepage.h"
#include "platform/text/codepage_backend.h"

namespace platform::text::backend {
namespace {

// UTF-16 of one code point (at most U+10FFFF).
void appendUtf16(std::wstring& out, char32_t code) {
    if (code < 0x10000) {
        out += static_cast<wchar_t>(code);
    } else {
        code -= 0x10000;
        out += static_cast<wchar_t>(0xD800 + (code >> 10));
        out += static_cast<wchar_t>(0xDC00 + (code & 0x3FF));
    }
}

// The ANSI bytes of `wide`, when the code page holds every character of it.
bool encodeExactly(std::wstring_view wide, unsigned codePage, std::string& ansi) {
    if (wide.empty())
        return true;
    if (wide.size() > INT_MAX / 4)
        return false;
    const int length = static_cast<int>(wide.size());
    const int size = ::WideCharToMultiByte(codePage, WC_NO_BEST_FIT_CHARS, wide.data(), length,
                                           nullptr, 0, nullptr, nullptr);
    if (size <= 0)
        return false;
    std::string bytes(static_cast<std::size_t>(size), '\0');
    BOOL usedDefault = FALSE;
    if (::WideCharToMultiByte(codePage, WC_NO_BEST_FIT_CHARS, wide.data(), length, bytes.data(),
                              size, nullptr, &usedDefault) != size ||
        usedDefault)
        return false;
    ansi += bytes;
    return true;
}

// The UTF-8 of `ansi`, when every byte of it is a character of the code page.
bool decodeExactly(std::string_view ansi, unsigned codePage, std::string& utf8) {
    if (ansi.empty())
        return true;
    if (ansi.size() > INT_MAX)
        return false;
    const int length = static_cast<int>(ansi.size());
    const int size =
        ::MultiByteToWideChar(codePage, MB_ERR_INVALID_CHARS, ansi.data(), length, nullptr, 0);
    if (size <= 0)
        return false;
    std::wstring wide(static_cast<std::size_t>(size), L'\0');
    if (::MultiByteToWideChar(codePage, MB_ERR_INVALID_CHARS, ansi.data(), length, wide.data(),
                              size) != size)
        return false;
    for (std::size_t at = 0; at < wide.size(); ++at) {
        char32_t unit = static_cast<char16_t>(wide[at]);
        if (unit >= 0xD800 && unit <= 0xDBFF && at + 1 < wide.size()) {
            const char32_t low = static_cast<char16_t>(wide[at + 1]);
            if (low >= 0xDC00 && low <= 0xDFFF) {
                unit = 0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00);
                ++at;
            }
        }
        appendUtf8(utf8, unit);
    }
    return true;
}

}  // namespace

bool converts(unsigned codePage) {
    return ::IsValidCodePage(codePage) != 0;
}

unsigned systemCodePage() {
    return ::GetACP();
}

std::size_t decodePrefix(std::string_view ansi, unsigned codePage, std::string& utf8) {
    if (decodeExactly(ansi, codePage, utf8))
        return ansi.size();
    // Character by character up to the first that is none.
    std::size_t at = 0;
    while (at < ansi.size()) {
        const std::size_t length =
            isLeadByte(static_cast<unsigned char>(ansi[at]), codePage) && at + 1 < ansi.size()
                ? 2
                : 1;
        if (!decodeExactly(ansi.substr(at, length), codePage, utf8))
            break;
        at += length;
    }
    return at;
}

std::size_t encodePrefix(std::string_view utf8, unsigned codePage, std::string& ansi) {
    std::wstring wide;
    std::size_t valid = 0;
    for (Utf8Character c; valid < utf8.size() && (c = decodeUtf8(utf8, valid)).valid;
         valid += c.length)
        appendUtf16(wide, c.code);
    if (encodeExactly(wide, codePage, ansi))
        return valid;
    // Character by character up to the first the code page cannot hold.
    std::size_t at = 0;
    while (at < valid) {
        const Utf8Character c = decodeUtf8(utf8, at);
        std::wstring one;
        appendUtf16(one, c.code);
        if (!encodeExactly(one, codePage, ansi))
            break;
        at += c.length;
    }
    return at;
}

}  // namespace platform::text::backend
