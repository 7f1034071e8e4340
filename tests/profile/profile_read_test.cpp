// Reading keys and sections, as the updater and the editor's ReadINI see them.
#include <gtest/gtest.h>

#include <array>
#include <optional>
#include <string>

#include "platform/profile/profile.h"
#include "tests/support/temp_dir.h"

namespace {
using namespace std::string_literals;
using platform::profile::getSection;
using platform::profile::getString;
using test_support::TempDir;
using test_support::writeBytes;

constexpr char kFiller = '#';

struct KeyRow {
    const char* fault;                // what a faulty reader would do
    std::optional<std::string> file;  // nullopt: no file at all
    std::string section;
    std::string key;
    std::string defaultValue;
    std::size_t size;
    std::string expected;
};

const std::string kValue150(150, 'v');

TEST(GetString, ReadsAsTheProfileRulesSay) {
    const KeyRow rows[] = {
        {"exact match not found", "[Texts]\r\nName=Tool\r\n", "Texts", "Name", "d", 100, "Tool"},
        {"blanks around the value kept", "[Texts]\r\nName = \t Tool \t \r\n", "Texts", "Name", "d",
         100, "Tool"},
        {"key spelled in lower case under a header in capitals missed", "[TEXTS]\r\nname=Tool\r\n",
         "Texts", "Name", "d", 100, "Tool"},
        {"blanks around the key or header name kept", "[ Texts ]\r\n  Name  =Tool\r\n", "Texts",
         "Name", "d", 100, "Tool"},
        {"later duplicate key wins", "[A]\r\nk=1\r\nK=2\r\n", "a", "k", "d", 100, "1"},
        {"second section of the same name searched", "[A]\r\nk=1\r\n[a]\r\nj=2\r\n", "A", "j", "d",
         100, "d"},
        {"comment read as a key", "[A]\r\n;k=1\r\n", "A", ";k", "d", 100, "d"},
        {"indented comment read as a key", "[A]\r\n  ;k=1\r\n", "A", ";k", "d", 100, "d"},
        {"bare line read as a key", "[A]\r\nk\r\n", "A", "k", "d", 100, "d"},
        {"empty value gives the default", "[A]\r\nk=\r\n", "A", "k", "d", 100, ""},
        {"quotes stripped", "[A]\r\nk=\"x\"\r\n", "A", "k", "d", 100, "\"x\""},
        {"single quotes stripped", "[A]\r\nk='x'\r\n", "A", "k", "d", 100, "'x'"},
        {"value cut at a second =", "[A]\r\nk=a=b\r\n", "A", "k", "d", 100, "a=b"},
        {"missing section not defaulted", "[A]\r\nk=1\r\n", "B", "k", "dflt", 100, "dflt"},
        {"missing file not defaulted", std::nullopt, "A", "k", "dflt", 100, "dflt"},
        {"key before any header counted in a section", "k=1\r\n[A]\r\n", "A", "k", "d", 100, "d"},
        {"150 characters read past size - 1", "[A]\r\nk=" + kValue150 + "\r\n", "A", "k", "d", 100,
         std::string(99, 'v')},
        {"default copied past size - 1", "", "A", "k", "abcdef", 4, "abc"},
        {"trailing spaces of the default kept", "", "A", "k", "dflt  ", 100, "dflt"},
        {"size 1 copies a character", "[A]\r\nk=v\r\n", "A", "k", "d", 1, ""},
        {"LF alone not a line end", "[A]\nk=1\nj=2\n", "A", "j", "d", 100, "2"},
        {"CR alone not a line end", "[A]\rk=1\rj=2\r", "A", "j", "d", 100, "2"},
        {"last line without a line end lost", "[A]\r\nk=last", "A", "k", "d", 100, "last"},
        {"header without ] opens a section", "[A]\r\n[B\r\nk=1\r\n", "A", "k", "d", 100, "1"},
        {"section read past the next header", "[A]\r\n[B]\r\nk=1\r\n", "A", "k", "d", 100, "d"},
        {"NUL inside a value copied past it", "[A]\r\nk=ab\0cd\r\n"s, "A", "k", "d", 100, "ab"},
        {"empty key name matched", "[A]\r\n=v\r\n", "A", "", "d", 100, "d"},
    };
    for (const KeyRow& row : rows) {
        SCOPED_TRACE(row.fault);
        TempDir dir;
        const std::filesystem::path file = test_support::rowFile(dir, row.file);
        std::array<char, 300> buffer;
        buffer.fill(kFiller);
        std::size_t count =
            getString(row.section, row.key, row.defaultValue, buffer, row.size, file);
        EXPECT_EQ(count, row.expected.size());
        EXPECT_EQ(std::string(buffer.data(), count), row.expected);
        EXPECT_EQ(buffer[count], '\0');
        EXPECT_EQ(buffer[count + 1], kFiller) << "wrote past the NUL";
    }
}

TEST(GetString, SizeZeroOrAShortBufferWritesNothingOutside) {
    TempDir dir;
    writeBytes(dir / "f.ini", "[A]\r\nk=value\r\n");
    std::array<char, 8> buffer;
    buffer.fill(kFiller);
    EXPECT_EQ(getString("A", "k", "", buffer, 0, dir / "f.ini"), 0u);
    EXPECT_EQ(buffer[0], kFiller);
    // A size beyond the buffer is clamped to it.
    std::span<char> three(buffer.data(), 3);
    EXPECT_EQ(getString("A", "k", "", three, 100, dir / "f.ini"), 2u);
    EXPECT_EQ(std::string(buffer.data(), 4), "va\0#"s);
}

struct SectionRow {
    const char* fault;
    std::string file;
    std::string section;
    std::size_t size;
    std::string expected;  // every byte written, the terminating NULs included
    std::size_t count;
};

const std::string kFourLines = "[section1]\r\nname1=val1\r\nname2=\r\nname3\r\nname4=val4\r\n";

TEST(GetSection, ReturnsTheLinesAsWindowsDoes) {
    const SectionRow rows[] = {
        {"lines not returned whole", kFourLines, "section1", 100,
         "name1=val1\0name2=\0name3\0name4=val4\0\0"s, 35},
        {"blanks, comments or blank lines returned",
         "[A]\r\n  a  =  b  \r\n\r\n ;note\r\n\t bare line \t\r\n", "A", 100, "a=b\0bare line\0\0"s,
         14},
        {"lines of the next section returned", "[A]\r\nx\r\n[B]\r\ny\r\n", "A", 100, "x\0\0"s, 2},
        {"ExtraFiles misses a header spelled Extrafiles", "[Extrafiles]\r\na.txt\r\n", "ExtraFiles",
         100, "a.txt\0\0"s, 6},
        {"Extrafiles misses a header spelled ExtraFiles", "[ExtraFiles]\r\na.txt\r\n", "Extrafiles",
         100, "a.txt\0\0"s, 6},
        {"absent section not empty", kFourLines, "none", 100, "\0"s, 0},
        {"empty section not empty", "[A]\r\n\r\n;c\r\n[B]\r\nx\r\n", "A", 100, "\0"s, 0},
        {"a list that fits exactly cut", "[A]\r\nab\r\ncd\r\n", "A", 7, "ab\0cd\0\0"s, 6},
        {"too small a buffer not cut as Windows cuts", kFourLines, "section1", 24,
         "name1=val1\0name2=\0name\0\0"s, 22},
        {"cut just after a NUL overruns", "[A]\r\nab\r\ncd\r\n", "A", 5, "ab\0\0\0"s, 3},
        {"size 2 overruns", "[A]\r\nab\r\n", "A", 2, "\0\0"s, 0},
        {"size 1 overruns", "[A]\r\nab\r\n", "A", 1, "\0"s, 0},
        {"size 0 writes", "[A]\r\nab\r\n", "A", 0, ""s, 0},
        {"NUL inside a line splits it into two entries", "[A]\r\nab\0cd\r\n\0\r\nef\r\n"s, "A", 100,
         "ab\0ef\0\0"s, 6},
        {"CR-only file not split", "[A]\ra\rb\r", "A", 100, "a\0b\0\0"s, 4},
    };
    for (const SectionRow& row : rows) {
        SCOPED_TRACE(row.fault);
        TempDir dir;
        writeBytes(dir / "f.ini", row.file);
        std::array<char, 128> buffer;
        buffer.fill(kFiller);
        std::size_t count = getSection(row.section, buffer, row.size, dir / "f.ini");
        EXPECT_EQ(count, row.count);
        EXPECT_EQ(std::string(buffer.data(), row.expected.size()), row.expected);
        EXPECT_EQ(buffer[row.expected.size()], kFiller) << "wrote past the end";
    }
}

TEST(GetSection, MissingFileGivesAnEmptyList) {
    TempDir dir;
    std::array<char, 4> buffer;
    buffer.fill(kFiller);
    EXPECT_EQ(getSection("A", buffer, buffer.size(), dir / "none.ini"), 0u);
    EXPECT_EQ(buffer[0], '\0');
}

TEST(Document, SerialisingAParsedDocumentGivesBackItsBytes) {
    const std::string texts[] = {
        "", "no line end", "[A]\r\nk=1\nj=2\r\r\n\r\n;c\r  odd [ line\n", "\r\n\n\r", "x\0y\r\n"s,
    };
    for (const std::string& text : texts) {
        EXPECT_EQ(platform::profile::Document::parse(text).serialize(), text);
    }
}

}  // namespace
