// Fuzzes the text edge: a file's bytes turned into text (encoding detection,
// decoding in a code page), text turned back into code page bytes (strict and
// with '?'), and the byte cuts that must keep whole characters.
//
// Input: one byte that picks the code page, one byte of cut size, then the
// file's bytes. Beyond memory safety it checks that
// - decoding gives well-formed UTF-8, and strictly encoding it gives back
//   the bytes whenever the strict encode succeeds (in a double-byte code
//   page, possibly the other code of a character it holds twice);
// - a cut never ends inside a character, and is as long as the limit allows;
// - the '?' conversion never fails: it gives code page text for any input,
//   with a '?' for each character it lists, and agrees with the strict one,
//   whose bytes decode to the text it was given.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "platform/text/codepage.h"

namespace {
namespace text = platform::text;

void check(bool condition) {
    if (!condition)
        __builtin_trap();
}

// The single-byte pages of Western and Eastern Europe and Cyrillic, and the
// double-byte pages of Japanese and Simplified Chinese.
constexpr unsigned kCodePages[] = {1252, 1251, 932, 1250, 936};

void checkDecodeAndEncodeBack(std::string_view bytes, unsigned codePage) {
    const text::Decoded decoded = text::ansiToUtf8(bytes, codePage);
    check(text::isValidUtf8(decoded.utf8));
    const text::Encoded strict = text::utf8ToAnsi(decoded.utf8, codePage);
    check(strict.unmappable.size() <= 1);
    if (strict.unmappable.empty() && strict.ansi != bytes) {
        // Code page 932 holds some characters twice (the NEC and the IBM
        // rows); Windows, like iconv, encodes each as one of them. Other
        // bytes are allowed only as another spelling of the same text, and
        // that spelling is the one encoding keeps.
        check(!text::isSingleByte(codePage));
        check(text::ansiToUtf8(strict.ansi, codePage).utf8 == decoded.utf8);
        check(text::utf8ToAnsi(decoded.utf8, codePage).ansi == strict.ansi);
    } else if (!strict.unmappable.empty()) {
        check(strict.ansi.empty() && text::whyNotInCodePage(decoded.utf8, codePage).has_value());
    }
}

void checkReplacing(std::string_view utf8, unsigned codePage) {
    const text::Encoded strict = text::utf8ToAnsi(utf8, codePage);
    const text::Encoded replaced = text::utf8ToAnsiReplacing(utf8, codePage);
    check(utf8.empty() == replaced.ansi.empty());
    if (strict.unmappable.empty()) {
        check(replaced.unmappable.empty() && replaced.ansi == strict.ansi);
        // A character the strict encode takes comes back as itself.
        check(text::ansiToUtf8(strict.ansi, codePage).utf8 == utf8);
        return;
    }
    check(!replaced.unmappable.empty());
    check(replaced.unmappable.front().offset == strict.unmappable.front().offset);
    check(replaced.unmappable.front().character == strict.unmappable.front().character);
    check(static_cast<std::size_t>(std::count(replaced.ansi.begin(), replaced.ansi.end(), '?')) >=
          replaced.unmappable.size());
    // What it gives is text of the code page: it decodes without a gap.
    check(text::ansiToUtf8(replaced.ansi, codePage).replaced == 0);
}

// A cut of well-formed code page text is whole characters: its bytes decode
// to the start of the whole text.
void checkAnsiCut(std::string_view bytes, std::size_t maxBytes, unsigned codePage) {
    const std::size_t cut = text::ansiCutLength(bytes, maxBytes, codePage);
    check(cut <= bytes.size() && cut <= maxBytes);
    check(cut == std::min(bytes.size(), maxBytes) || cut + 1 == maxBytes);
    const text::Decoded whole = text::ansiToUtf8(bytes, codePage);
    if (whole.replaced != 0)
        return;
    const text::Decoded kept = text::ansiToUtf8(bytes.substr(0, cut), codePage);
    check(kept.replaced == 0 && whole.utf8.starts_with(kept.utf8));
}

// A cut of UTF-8 text keeps whole characters whose code page form fits the
// limit, and the next character would not have fitted.
void checkUtf8Cut(std::string_view utf8, std::size_t maxAnsiBytes, unsigned codePage) {
    const std::size_t cut = text::utf8CutLengthForAnsi(utf8, maxAnsiBytes, codePage);
    check(cut <= utf8.size());
    const std::string_view kept = utf8.substr(0, cut);
    check(text::isValidUtf8(kept) && text::isValidUtf8(utf8.substr(cut)));
    check(text::utf8ToAnsiReplacing(kept, codePage).ansi.size() <= maxAnsiBytes);
    if (cut < utf8.size()) {
        const std::string_view longer = utf8.substr(0, cut + text::utf8CharacterLength(utf8, cut));
        check(text::utf8ToAnsiReplacing(longer, codePage).ansi.size() > maxAnsiBytes);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t length) {
    if (length < 2)
        return 0;
    const unsigned codePage = kCodePages[data[0] % std::size(kCodePages)];
    const std::size_t cutSize = data[1];
    const std::string_view bytes(reinterpret_cast<const char*>(data) + 2, length - 2);

    const text::DecodedFile file = text::decodeTextFile(bytes, codePage);
    check(text::isValidUtf8(file.utf8));
    if (file.encoding == text::FileEncoding::Ansi)
        check(file.utf8 == text::ansiToUtf8(bytes, codePage).utf8);
    if (file.encoding == text::FileEncoding::Utf8)
        check(file.utf8 == bytes && file.replaced == 0);

    checkDecodeAndEncodeBack(bytes, codePage);
    checkReplacing(bytes, codePage);  // any bytes, well-formed UTF-8 or not
    checkReplacing(file.utf8, codePage);
    checkAnsiCut(bytes, cutSize, codePage);
    checkUtf8Cut(file.utf8, cutSize, codePage);
    return 0;
}
