#include "platform/text/codepage.h"
#include "platform/text/unicode.h"

#include <gtest/gtest.h>

#include <string>
#include <string_view>

namespace {
using namespace platform::text;

// What the decoder refuses, each a byte taken alone, and the boundaries it
// must take whole: an accepted overlong form or surrogate would let two
// spellings, or a stray byte and a character, become one name.
TEST(Utf8Decoder, TakesWellFormedCharactersOnly) {
    const struct {
        const char* what;
        std::string_view bytes;
        char32_t code;  // the code point, or the lead byte when refused
        std::size_t length;
        bool valid;
    } rows[] = {
        {"overlong NUL", "\xC0\x80", 0xC0, 1, false},
        {"overlong three-byte NUL", "\xE0\x80\x80", 0xE0, 1, false},
        {"overlong U+7FF in three bytes", "\xE0\x9F\xBF", 0xE0, 1, false},
        {"overlong U+FFFF in four bytes", "\xF0\x8F\xBF\xBF", 0xF0, 1, false},
        {"the first surrogate", "\xED\xA0\x80", 0xED, 1, false},
        {"the last surrogate", "\xED\xBF\xBF", 0xED, 1, false},
        {"past U+10FFFF", "\xF4\x90\x80\x80", 0xF4, 1, false},
        {"a lead byte cut short", "\xE2\x82", 0xE2, 1, false},
        {"a continuation byte alone", "\x80", 0x80, 1, false},
        {"a lead byte before ASCII", "\xC3" "A", 0xC3, 1, false},
        {"U+7F", "\x7F", 0x7F, 1, true},
        {"U+80", "\xC2\x80", 0x80, 2, true},
        {"U+7FF", "\xDF\xBF", 0x7FF, 2, true},
        {"U+800", "\xE0\xA0\x80", 0x800, 3, true},
        {"U+FFFF", "\xEF\xBF\xBF", 0xFFFF, 3, true},
        {"U+10000", "\xF0\x90\x80\x80", 0x10000, 4, true},
        {"U+10FFFF", "\xF4\x8F\xBF\xBF", 0x10FFFF, 4, true},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        const Utf8Character c = decodeUtf8(row.bytes, 0);
        EXPECT_EQ(c.code, row.code);
        EXPECT_EQ(c.length, row.length);
        EXPECT_EQ(c.valid, row.valid);
        EXPECT_EQ(isValidUtf8(row.bytes), row.valid);
    }
    // A surrogate-shaped sequence is three escaped bytes, never the unit an
    // escaped stray byte 0x80 becomes.
    EXPECT_EQ(utf8ToUtf16("\xED\xB2\x80"), (std::u16string{0xDCED, 0xDCB2, 0xDC80}));
    EXPECT_NE(utf8ToUtf16("\xED\xB2\x80"), utf8ToUtf16("\x80"));
    EXPECT_EQ(utf16ToUtf8(utf8ToUtf16("\xED\xB2\x80")), "\xED\xB2\x80");
}

TEST(CodePageForLocale, LanguageAndTerritoryDecide) {
    struct Row {
        std::string_view locale;
        unsigned codePage;
    };
    const Row rows[] = {
        {"", 1252},           {"C", 1252},           {"POSIX", 1252},       {"C.UTF-8", 1252},
        {"en_US.UTF-8", 1252}, {"fr_FR.UTF-8", 1252}, {"de_DE@euro", 1252},  {"pl_PL.UTF-8", 1250},
        {"cs_CZ", 1250},      {"ru_RU.UTF-8", 1251}, {"uk_UA.KOI8-U", 1251}, {"sr_RS@latin", 1250},
        {"el_GR.UTF-8", 1253}, {"tr_TR.UTF-8", 1254}, {"he_IL.UTF-8", 1255}, {"ar_EG.UTF-8", 1256},
        {"lt_LT.UTF-8", 1257}, {"vi_VN", 1258},        {"th_TH.UTF-8", 874},  {"ja_JP.UTF-8", 932},
        {"zh_CN.UTF-8", 936}, {"zh_SG", 936},         {"zh_TW.UTF-8", 950},  {"zh_HK.UTF-8", 950},
        {"ko_KR.EUC-KR", 949}, {"hi_IN.UTF-8", 1252},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(std::string(row.locale));
        EXPECT_EQ(codePageForLocale(row.locale), row.codePage);
    }
}

// Text that round-trips through a code page, as bytes on the Windows side.
TEST(AnsiConversion, RoundTripsEachCodePage) {
    struct Row {
        unsigned codePage;
        std::string_view utf8;
        std::string_view ansi;
    };
    const Row rows[] = {
        {1252, "Caf\xC3\xA9 \xE2\x82\xAC", "Caf\xE9 \x80"},
        // 1252 leaves 0x81 undefined; Windows reads it as U+0081 and writes it back.
        {1252, "\xC2\x81", "\x81"},
        {1251, "\xD0\x9F\xD1\x80\xD0\xB8\xD0\xB2\xD0\xB5\xD1\x82", "\xCF\xF0\xE8\xE2\xE5\xF2"},
        // "日本" in Shift-JIS: two bytes a character.
        {932, "\xE6\x97\xA5\xE6\x9C\xAC", "\x93\xFA\x96\x7B"},
        {1250, "\xC5\x81\xC3\xB3\xC4\x91", "\xA3\xF3\xF0"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.codePage);
        const Decoded decoded = ansiToUtf8(row.ansi, row.codePage);
        EXPECT_EQ(decoded.utf8, row.utf8);
        EXPECT_EQ(decoded.replaced, 0u);
        const Encoded encoded = utf8ToAnsi(row.utf8, row.codePage);
        EXPECT_TRUE(encoded.unmappable.empty());
        EXPECT_EQ(encoded.ansi, row.ansi);
    }
}

TEST(AnsiConversion, CharactersTheCodePageCannotHold) {
    // 'Ж' (U+0416) is not in 1252; strict conversion refuses and names it,
    // replacing conversion writes '?' as Windows does and lists it.
    const std::string_view text = "a\xD0\x96z";
    const Encoded strict = utf8ToAnsi(text, 1252);
    ASSERT_EQ(strict.unmappable.size(), 1u);
    EXPECT_EQ(strict.unmappable[0].character, U'\u0416');
    EXPECT_EQ(strict.unmappable[0].offset, 1u);
    EXPECT_EQ(strict.ansi, "");
    EXPECT_EQ(describeCharacter(strict.unmappable[0].character), "U+0416 '\xD0\x96'");

    const Encoded replaced = utf8ToAnsiReplacing(text, 1252);
    EXPECT_EQ(replaced.ansi, "a?z");
    ASSERT_EQ(replaced.unmappable.size(), 1u);
    // U+0080 is no character of 1252, whose byte 0x80 is the euro sign.
    EXPECT_EQ(utf8ToAnsiReplacing("\xC2\x80", 1252).ansi, "?");
    // 932 has no yen sign: a look-alike 0x5C would be the path separator.
    EXPECT_EQ(utf8ToAnsiReplacing("a\xC2\xA5\xE6\x97\xA5", 932).ansi, "a?\x93\xFA");
    // A Shift-JIS lead byte with no trail byte is no character.
    EXPECT_EQ(ansiToUtf8("x\x93", 932).replaced, 1u);
    EXPECT_EQ(ansiLength("\xE6\x97\xA5", 932), 2u);
    EXPECT_EQ(ansiLength("\xE6\x97\xA5", 1252), 1u);
}

TEST(FileEncoding, ByteOrderMarksAndUtf8) {
    struct Row {
        const char* name;
        std::string bytes;
        FileEncoding encoding;
        std::string utf8;
    };
    using namespace std::string_literals;
    const Row rows[] = {
        {"ascii", "[Texts]\r\nName=Cafe\r\n", FileEncoding::Ansi, "[Texts]\r\nName=Cafe\r\n"},
        {"1252 byte", "Name=Caf\xE9", FileEncoding::Ansi, "Name=Caf\xC3\xA9"},
        {"utf-8 without mark", "Name=Caf\xC3\xA9", FileEncoding::Utf8, "Name=Caf\xC3\xA9"},
        {"utf-8 with mark", "\xEF\xBB\xBF[Texts]\r\nName=x", FileEncoding::Utf8Bom, "[Texts]\r\nName=x"},
        {"utf-16le with mark", "\xFF\xFE[\0T\0]\0\r\0\n\0\xE9\0\x16\x04"s, FileEncoding::Utf16Le,
         "[T]\r\n\xC3\xA9\xD0\x96"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        EXPECT_EQ(detectFileEncoding(row.bytes), row.encoding);
        const DecodedFile file = decodeTextFile(row.bytes, 1252);
        EXPECT_EQ(file.encoding, row.encoding);
        EXPECT_EQ(file.utf8, row.utf8);
        EXPECT_EQ(file.replaced, 0u);
    }
}

// A cut to a number of ANSI bytes keeps whole characters: half a Shift-JIS
// character would read back as another character or as none.
TEST(AnsiCut, NeverSplitsACharacter) {
    struct Row {
        const char* fault;
        unsigned codePage;
        std::string_view ansi;
        std::size_t maxBytes;
        std::size_t kept;
    };
    const Row rows[] = {
        {"short text stays whole", 1252, "abc", 5, 3},
        {"single-byte: the cut is the byte count", 1252, "Caf\xE9s", 4, 4},
        {"a 932 character after the cut goes whole", 932, "a\x93\xFA\x96\x7B", 2, 1},
        {"a 932 character ending at the cut stays", 932, "a\x93\xFA\x96\x7B", 3, 3},
        {"a trail byte that looks like a lead is no start", 932, "\x93\x81\x93\xFA", 3, 2},
        {"half-width katakana is one byte in 932", 932, "\xB1\xB2\xB3", 2, 2},
        {"936 lead bytes", 936, "\xD6\xD0\xCE\xC4", 3, 2},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.fault);
        EXPECT_EQ(ansiCutLength(row.ansi, row.maxBytes, row.codePage), row.kept);
    }
}

TEST(AnsiCut, Utf8TextCutByItsAnsiLength) {
    struct Row {
        const char* fault;
        unsigned codePage;
        std::string_view utf8;
        std::size_t maxAnsiBytes;
        std::size_t keptUtf8Bytes;
    };
    const Row rows[] = {
        {"1252: an e-acute is one ANSI byte, two UTF-8 bytes", 1252, "Caf\xC3\xA9!", 4, 5},
        {"1252: a character it cannot hold counts as its '?'", 1252, "a\xD0\x96" "b", 2, 3},
        {"932: a kanji takes two bytes and is never split", 932, "a\xE6\x97\xA5" "b", 2, 1},
        {"932: the kanji fits exactly", 932, "a\xE6\x97\xA5" "b", 3, 4},
        {"everything fits", 932, "\xE6\x97\xA5", 99, 3},
        {"a cut before anything", 1252, "xyz", 0, 0},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.fault);
        EXPECT_EQ(utf8CutLengthForAnsi(row.utf8, row.maxAnsiBytes, row.codePage),
                  row.keptUtf8Bytes);
    }
}

// One case table serves name matching (to lower case) and resource names
// (to upper case, as the loader compares them).
TEST(LetterCase, FoldsTheLettersOfTheEuropeanCodePages) {
    struct Case {
        const char* a;
        const char* b;
        bool same;
    };
    const Case cases[] = {
        {"README.TXT", "readme.txt", true},
        {"ÀÉÎÕÜÞ", "àéîõüþ", true},
        {"×", "÷", false},  // the multiplication sign is no capital of the division sign
        {"ŠŽŒŸ", "šžœÿ", true},
        {"ĀĆĹŇŊŹ", "āćĺňŋź", true},
        {"ΆΈΊΌΎΏΪ", "άέίόύώϊ", true},
        {"ЁЂЏАЯҐ", "ёђџаяґ", true},
        {"I", "ı", false},        // dotless i: no simple pair
        {"\xC9", "\xE9", false},  // not UTF-8: bytes compare as bytes
        {"a\xFF", "A\xFF", true},
        {"\xF0\x9F\x98\x80", "\xF0\x9F\x98\x80", true},  // two UTF-16 units
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.a) + " / " + c.b);
        EXPECT_EQ(sameNameIgnoringCase(c.a, c.b), c.same);
        // The name rule in C reads UTF-16: every name, UTF-8 or not, comes back.
        EXPECT_EQ(utf16ToUtf8(utf8ToUtf16(c.a)), c.a);
        if (c.same && isValidUtf8(c.a)) {
            std::string upper;
            for (std::size_t at = 0; at < std::string_view(c.b).size();) {
                const Utf8Character character = decodeUtf8(c.b, at);
                appendUtf8(upper, toUpperCase(character.code));
                at += character.length;
            }
            EXPECT_EQ(upper, std::string(c.a)) << "upper case is not the inverse of lower case";
        }
    }
}

}  // namespace
