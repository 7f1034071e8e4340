#include "platform/text/unicode.h"


namespace platform::text {

Utf8Character decodeUtf8(std::string_view bytes, std::size_t at) {
    if (at >= bytes.size())
        return {0, 0, false};
    const auto lead = static_cast<unsigned char>(bytes[at]);
    if (lead < 0x80)
        return {lead, 1, true};
    std::size_t length = 0;
    char32_t value = 0;
    char32_t least = 0;  // the smallest value this length may carry (no overlong forms)
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2, value = lead & 0x1F, least = 0x80;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3, value = lead & 0x0F, least = 0x800;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4, value = lead & 0x07, least = 0x10000;
    } else {
        return {lead, 1, false};
    }
    if (bytes.size() - at < length)
        return {lead, 1, false};
    for (std::size_t i = 1; i < length; ++i) {
        const auto next = static_cast<unsigned char>(bytes[at + i]);
        if ((next & 0xC0) != 0x80)
            return {lead, 1, false};
        value = (value << 6) | (next & 0x3F);
    }
    if (value < least || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF))
        return {lead, 1, false};
    return {value, length, true};
}

std::size_t utf8CharacterLength(std::string_view bytes, std::size_t at) {
    return decodeUtf8(bytes, at).length;
}

bool isValidUtf8(std::string_view bytes) {
    for (std::size_t at = 0; at < bytes.size();) {
        const Utf8Character character = decodeUtf8(bytes, at);
        if (!character.valid)
            return false;
        at += character.length;
    }
    return true;
}

void appendUtf8(std::string& out, char32_t c) {
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (c >> 18));
        out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

namespace {

// Capitals from `first` to `last` whose small letter lies `delta` above;
// with `pairs`, only every other code point from `first` on is a capital,
// its small letter right after it (delta 1).
struct CaseRange {
    char32_t first;
    char32_t last;
    int delta;  // may be negative: U+0178 'Ÿ' has its small letter at U+00FF
    bool pairs;
};

// U+0130 and U+0131 (dotted and dotless i), U+0138 (kra), U+0149 and U+017F
// have no simple pair and stay out of every range.
constexpr CaseRange kCaseRanges[] = {
    {U'A', U'Z', 0x20, false},     {0xC0, 0xD6, 0x20, false},   {0xD8, 0xDE, 0x20, false},
    {0x100, 0x12F, 1, true},       {0x132, 0x137, 1, true},     {0x139, 0x148, 1, true},
    {0x14A, 0x177, 1, true},       {0x178, 0x178, 0xFF - 0x178, false},
    {0x179, 0x17E, 1, true},       {0x386, 0x386, 0x3AC - 0x386, false},
    {0x388, 0x38A, 0x25, false},   {0x38C, 0x38C, 0x3CC - 0x38C, false},
    {0x38E, 0x38F, 0x3F, false},   {0x391, 0x3A1, 0x20, false}, {0x3A3, 0x3AB, 0x20, false},
    {0x400, 0x40F, 0x50, false},   {0x410, 0x42F, 0x20, false}, {0x490, 0x490, 1, false},
};

bool isCapitalOf(const CaseRange& range, char32_t capital) {
    return capital >= range.first && capital <= range.last &&
           (!range.pairs || (capital - range.first) % 2 == 0);
}

// Where utf8ToUtf16 puts a byte that is not UTF-8.
constexpr char32_t kEscapedByte = 0xDC00;

}  // namespace

std::u16string utf8ToUtf16(std::string_view utf8) {
    std::u16string out;
    out.reserve(utf8.size());
    for (std::size_t at = 0; at < utf8.size();) {
        const Utf8Character c = decodeUtf8(utf8, at);
        at += c.length;
        const char32_t code = c.valid ? c.code : kEscapedByte + c.code;
        if (code < 0x10000) {
            out += static_cast<char16_t>(code);
        } else {
            out += static_cast<char16_t>(0xD800 + ((code - 0x10000) >> 10));
            out += static_cast<char16_t>(0xDC00 + ((code - 0x10000) & 0x3FF));
        }
    }
    return out;
}

std::string utf16ToUtf8(std::u16string_view utf16) {
    const auto isHigh = [](char16_t unit) { return unit >= 0xD800 && unit <= 0xDBFF; };
    const auto isLow = [](char16_t unit) { return unit >= 0xDC00 && unit <= 0xDFFF; };
    std::string out;
    out.reserve(utf16.size());
    for (std::size_t at = 0; at < utf16.size(); ++at) {
        const char16_t unit = utf16[at];
        if (isHigh(unit) && at + 1 < utf16.size() && isLow(utf16[at + 1])) {
            const char32_t low = utf16[++at];
            appendUtf8(out, 0x10000 + ((char32_t{unit} - 0xD800) << 10) + (low - 0xDC00));
        } else if (unit >= kEscapedByte + 0x80 && unit <= kEscapedByte + 0xFF) {
            out += static_cast<char>(unit - kEscapedByte);
        } else {
            appendUtf8(out, isHigh(unit) || isLow(unit) ? U'\uFFFD' : char32_t{unit});
        }
    }
    return out;
}

char32_t toLowerCase(char32_t code) {
    for (const CaseRange& range : kCaseRanges) {
        if (isCapitalOf(range, code))
            return static_cast<char32_t>(static_cast<int>(code) + range.delta);
    }
    return code;
}

char32_t toUpperCase(char32_t code) {
    for (const CaseRange& range : kCaseRanges) {
        const auto capital = static_cast<char32_t>(static_cast<int>(code) - range.delta);
        if (code <= 0x10FFFF && isCapitalOf(range, capital))
            return capital;
    }
    return code;
}

namespace {

// A byte that starts no well-formed UTF-8 character stands for itself, above
// every code point, so that it equals only the same byte.
constexpr char32_t kRawByte = 0x110000;

std::u32string folded(std::string_view name) {
    std::u32string out;
    for (std::size_t at = 0; at < name.size();) {
        const Utf8Character c = decodeUtf8(name, at);
        out += c.valid ? toLowerCase(c.code) : kRawByte + c.code;
        at += c.length;
    }
    return out;
}

}  // namespace

bool sameNameIgnoringCase(std::string_view a, std::string_view b) {
    return folded(a) == folded(b);
}

int sameUnitsIgnoringCase(const char16_t* a, const char16_t* b, std::size_t length) {
    for (std::size_t i = 0; i < length; ++i) {
        if (toLowerCase(a[i]) != toLowerCase(b[i]))
            return 0;
    }
    return 1;
}

}  // namespace platform::text
