#include "platform/text/codepage.h"

#include "platform/text/codepage_backend.h"
#include "platform/text/unicode.h"

#include <array>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace platform::text {
namespace {

// Encodes; `replace` decides between refusing at the first character the code
// page cannot hold and writing '?' for it.
Encoded encode(std::string_view utf8, unsigned codePage, bool replace) {
    Encoded result;
    std::string_view rest = utf8;
    while (!rest.empty()) {
        rest.remove_prefix(backend::encodePrefix(rest, codePage, result.ansi));
        if (rest.empty())
            break;
        const Utf8Character character = decodeUtf8(rest, 0);
        // A C1 control stands for a byte the single-byte code page leaves
        // undefined; it goes back to that byte.
        if (isSingleByte(codePage) && character.valid && character.code >= 0x80 &&
            character.code <= 0x9F) {
            result.ansi += static_cast<char>(character.code);
        } else {
            result.unmappable.push_back({character.code, utf8.size() - rest.size()});
            if (!replace) {
                result.ansi.clear();
                return result;
            }
            result.ansi += '?';
        }
        rest.remove_prefix(character.length);
    }
    return result;
}

struct LanguageCodePage {
    std::string_view language;
    unsigned codePage;
};

// Languages whose Windows locales use a code page other than 1252.
constexpr LanguageCodePage kLanguageCodePages[] = {
    {"cs", 1250}, {"hu", 1250},  {"pl", 1250},  {"ro", 1250},  {"hr", 1250},
    {"sk", 1250},                 {"sl", 1250},  {"sq", 1250},  {"bs", 1250},  {"ru", 1251},
    {"uk", 1251},                 {"be", 1251},  {"bg", 1251},  {"mk", 1251},  {"sr", 1251},
    {"kk", 1251},                 {"ky", 1251},  {"tt", 1251},  {"mn", 1251},  {"ba", 1251},
    {"sah", 1251},                {"tg", 1251},  {"el", 1253},  {"tr", 1254},  {"az", 1254},
    {"uz", 1254},                 {"he", 1255},  {"yi", 1255},  {"iw", 1255},  {"ar", 1256},
    {"fa", 1256},                 {"ur", 1256},  {"ug", 1256},  {"lt", 1257},  {"lv", 1257},
    {"et", 1257},                 {"vi", 1258},  {"th", 874},   {"ja", 932},   {"ko", 949},
};

}  // namespace

unsigned codePageForLocale(std::string_view locale) {
    // language[_territory][.codeset][@modifier]
    std::string_view modifier;
    if (auto at = locale.find('@'); at != std::string_view::npos) {
        modifier = locale.substr(at + 1);
        locale = locale.substr(0, at);
    }
    locale = locale.substr(0, locale.find('.'));
    const auto underscore = locale.find('_');
    const std::string_view language = locale.substr(0, underscore);
    const std::string_view territory =
        underscore == std::string_view::npos ? std::string_view{} : locale.substr(underscore + 1);

    if (language == "zh")
        return territory == "TW" || territory == "HK" || territory == "MO" ? 950 : 936;
    // Serbian and Bosnian in Latin letters, Uzbek in Cyrillic ones.
    if (modifier == "latin" && (language == "sr" || language == "bs"))
        return 1250;
    if (modifier == "cyrillic" && (language == "uz" || language == "az" || language == "bs"))
        return 1251;
    for (const auto& entry : kLanguageCodePages) {
        if (entry.language == language)
            return entry.codePage;
    }
    return 1252;
}

unsigned ansiCodePage() {
    static const unsigned codePage = [] {
        if (const char* chosen = std::getenv(kCodePageVariable); chosen && *chosen) {
            char* end = nullptr;
            const unsigned long number = std::strtoul(chosen, &end, 10);
            if (*end == '\0' && number > 0 && number < 65536 &&
                backend::converts(static_cast<unsigned>(number)))
                return static_cast<unsigned>(number);
        }
        return backend::systemCodePage();
    }();
    return codePage;
}

std::string codePageName(unsigned codePage) {
    return "code page " + std::to_string(codePage);
}

bool isSingleByte(unsigned codePage) {
    return codePage != 932 && codePage != 936 && codePage != 949 && codePage != 950;
}

Decoded ansiToUtf8(std::string_view ansi, unsigned codePage) {
    Decoded result;
    result.utf8.reserve(ansi.size());
    std::string_view rest = ansi;
    while (!rest.empty()) {
        rest.remove_prefix(backend::decodePrefix(rest, codePage, result.utf8));
        if (rest.empty())
            break;
        const auto byte = static_cast<unsigned char>(rest.front());
        if (byte < 0x80) {
            result.utf8 += static_cast<char>(byte);
        } else if (isSingleByte(codePage)) {
            appendUtf8(result.utf8, byte);
        } else {
            appendUtf8(result.utf8, U'\uFFFD');
            ++result.replaced;
        }
        rest.remove_prefix(1);
    }
    return result;
}

std::string describeCharacter(char32_t character) {
    std::array<char, 16> code{};
    std::snprintf(code.data(), code.size(), "U+%04X", static_cast<unsigned>(character));
    std::string text = code.data();
    if (character >= 0x20 && character != 0x7F && !(character >= 0x80 && character <= 0x9F)) {
        text += " '";
        appendUtf8(text, character);
        text += "'";
    }
    return text;
}

Encoded utf8ToAnsi(std::string_view utf8, unsigned codePage) {
    return encode(utf8, codePage, false);
}

std::optional<std::string> whyNotInCodePage(std::string_view utf8, unsigned codePage) {
    const Encoded encoded = encode(utf8, codePage, false);
    if (encoded.unmappable.empty())
        return std::nullopt;
    return describeCharacter(encoded.unmappable.front().character) + ", which " +
           codePageName(codePage) + " cannot hold";
}

Encoded utf8ToAnsiReplacing(std::string_view utf8, unsigned codePage) {
    return encode(utf8, codePage, true);
}

std::size_t ansiLength(std::string_view utf8Character, unsigned codePage) {
    if (utf8Character.size() <= 1)
        return utf8Character.size();
    const Encoded encoded = utf8ToAnsiReplacing(utf8Character, codePage);
    return encoded.ansi.size();
}

bool isLeadByte(unsigned char byte, unsigned codePage) {
    switch (codePage) {
    case 932:
        return (byte >= 0x81 && byte <= 0x9F) || (byte >= 0xE0 && byte <= 0xFC);
    case 936:
    case 949:
    case 950:
        return byte >= 0x81 && byte <= 0xFE;
    default:
        return false;
    }
}

std::size_t ansiCutLength(std::string_view ansi, std::size_t maxBytes, unsigned codePage) {
    if (ansi.size() <= maxBytes)
        return ansi.size();
    if (isSingleByte(codePage))
        return maxBytes;
    // Lead bytes can also be trail bytes, so characters are counted from the start.
    std::size_t at = 0;
    while (at < maxBytes) {
        const std::size_t length =
            isLeadByte(static_cast<unsigned char>(ansi[at]), codePage) ? 2 : 1;
        if (at + length > maxBytes)
            break;
        at += length;
    }
    return at;
}

std::size_t utf8CutLengthForAnsi(std::string_view utf8, std::size_t maxAnsiBytes,
                                 unsigned codePage) {
    std::size_t ansiBytes = 0;
    std::size_t at = 0;
    while (at < utf8.size()) {
        const std::size_t length = utf8CharacterLength(utf8, at);
        // ASCII, and any character of a single-byte code page, takes one byte.
        const std::size_t bytes =
            length == 1 || isSingleByte(codePage) ? 1 : ansiLength(utf8.substr(at, length), codePage);
        if (ansiBytes + bytes > maxAnsiBytes)
            break;
        ansiBytes += bytes;
        at += length;
    }
    return at;
}

FileEncoding detectFileEncoding(std::string_view bytes) {
    if (bytes.starts_with("\xFF\xFE"))
        return FileEncoding::Utf16Le;
    if (bytes.starts_with("\xEF\xBB\xBF"))
        return FileEncoding::Utf8Bom;
    bool nonAscii = false;
    for (char c : bytes) {
        if (static_cast<unsigned char>(c) >= 0x80) {
            nonAscii = true;
            break;
        }
    }
    return nonAscii && isValidUtf8(bytes) ? FileEncoding::Utf8 : FileEncoding::Ansi;
}

DecodedFile decodeTextFile(std::string_view bytes, unsigned codePage) {
    DecodedFile file;
    file.encoding = detectFileEncoding(bytes);
    switch (file.encoding) {
    case FileEncoding::Ansi: {
        Decoded decoded = ansiToUtf8(bytes, codePage);
        file.utf8 = std::move(decoded.utf8);
        file.replaced = decoded.replaced;
        break;
    }
    case FileEncoding::Utf8:
        file.utf8 = std::string(bytes);
        break;
    case FileEncoding::Utf8Bom: {
        // Bytes after the mark that are not UTF-8 become U+FFFD, counted.
        bytes.remove_prefix(3);
        for (std::size_t at = 0; at < bytes.size();) {
            const std::size_t length = utf8CharacterLength(bytes, at);
            if (length == 1 && static_cast<unsigned char>(bytes[at]) >= 0x80) {
                appendUtf8(file.utf8, U'\uFFFD');
                ++file.replaced;
            } else {
                file.utf8.append(bytes.substr(at, length));
            }
            at += length;
        }
        break;
    }
    case FileEncoding::Utf16Le: {
        bytes.remove_prefix(2);
        for (std::size_t at = 0; at + 1 < bytes.size(); at += 2) {
            char32_t unit = static_cast<unsigned char>(bytes[at]) |
                            char32_t{static_cast<unsigned char>(bytes[at + 1])} << 8;
            if (unit >= 0xD800 && unit <= 0xDBFF && at + 3 < bytes.size()) {
                const char32_t low = static_cast<unsigned char>(bytes[at + 2]) |
                                     char32_t{static_cast<unsigned char>(bytes[at + 3])} << 8;
                if (low >= 0xDC00 && low <= 0xDFFF) {
                    appendUtf8(file.utf8, 0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00));
                    at += 2;
                    continue;
                }
            }
            if (unit >= 0xD800 && unit <= 0xDFFF) {
                unit = U'\uFFFD';
                ++file.replaced;
            }
            appendUtf8(file.utf8, unit);
        }
        if (bytes.size() % 2 != 0) {
            appendUtf8(file.utf8, U'\uFFFD');
            ++file.replaced;
        }
        break;
    }
    }
    return file;
}

}  // namespace platform::text
