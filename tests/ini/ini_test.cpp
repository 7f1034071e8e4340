// ReadINI, WriteINI and WriteIniSection: the editor's view of an INI file.
#include "editor/ini/ini.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>

#include "tests/support/child_process.h"
#include "tests/support/golden.h"
#include "tests/support/temp_dir.h"

namespace {
namespace fs = std::filesystem;
using editor_ini::ReadINI;
using editor_ini::WriteINI;
using editor_ini::WriteIniSection;
using test_support::readBytes;
using test_support::TempDir;
using test_support::writeBytes;

struct ReadRow {
    const char* fault;
    std::optional<std::string> file;
    std::string section;
    std::string key;
    std::string defaultValue;
    std::int32_t size;
    std::string expected;
};

TEST(ReadINI, FollowsItsAlgorithm) {
    const std::string value150 = std::string(100, 'a') + std::string(50, 'b');
    const ReadRow rows[] = {
        {"150 characters not cut to Size - 1", "[Texts]\r\nName=" + value150 + "\r\n", "Texts",
         "Name", "", 100, std::string(99, 'a')},
        {"spaces around the value kept", "[Texts]\r\nName=   Tool   \r\n", "Texts", "Name", "", 100,
         "Tool"},
        {"cut counted after the trim", std::nullopt, "A", "k", "  abcdef", 5, "ab"},
        {"tab trimmed as if it were a space", std::nullopt, "A", "k", "\td\t", 100, "\td\t"},
        {"key in lower case under a header in capitals missed", "[TEXTS]\r\nname=Tool\r\n", "Texts",
         "Name", "", 100, "Tool"},
        {"absent key not Default", "[A]\r\n", "A", "k", "dflt", 100, "dflt"},
        {"empty value not Default", "[A]\r\nk=\r\n", "A", "k", "dflt", 100, "dflt"},
        {"missing file not Default", std::nullopt, "A", "k", "dflt", 100, "dflt"},
        {"missing file with empty Default not empty", std::nullopt, "A", "k", "", 100, ""},
        {"Default not trimmed", std::nullopt, "A", "k", "  d  ", 100, "d"},
        {"Size above 300 overruns the buffer", "[A]\r\nk=" + std::string(400, 'x') + "\r\n", "A",
         "k", "", 1000, std::string(299, 'x')},
        {"Size 0 or below not clamped to 1", "[A]\r\nk=v\r\n", "A", "k", "dflt", -5, "dflt"},
        {"Size 1 copies a character", "[A]\r\nk=v\r\n", "A", "k", "dflt", 1, "dflt"},
        {"quotes stripped", "[A]\r\nk=\"quoted\"\r\n", "A", "k", "", 100, "\"quoted\""},
    };
    for (const ReadRow& row : rows) {
        SCOPED_TRACE(row.fault);
        TempDir dir;
        if (row.file)
            writeBytes(dir / "f.ini", *row.file);
        EXPECT_EQ(
            ReadINI((dir / "f.ini").string(), row.section, row.key, row.defaultValue, row.size),
            row.expected);
    }
}

// The cut at Size - 1 counts bytes; a character it splits is dropped whole,
// so that Save does not write U+FFFD in its place.
TEST(ReadINI, TheCutNeverSplitsAUtf8Character) {
    const std::string e = "\xC3\xA9";             // é, 2 bytes
    const std::string euro = "\xE2\x82\xAC";      // €, 3 bytes
    const std::string clef = "\xF0\x9D\x84\x9E";  // 𝄞, 4 bytes
    auto repeat = [](const std::string& text, int times) {
        std::string result;
        for (int i = 0; i < times; ++i) result += text;
        return result;
    };
    struct Row {
        const char* fault;
        std::string value;
        std::string expected;
    };
    const Row rows[] = {
        {"ASCII exactly at the limit loses nothing", std::string(99, 'a'), std::string(99, 'a')},
        {"ASCII past the limit is cut at 99 bytes", std::string(120, 'a'), std::string(99, 'a')},
        {"2-byte character straddling the cut", repeat(e, 50), repeat(e, 49)},
        {"2-byte character ending exactly at the cut", "a" + repeat(e, 50), "a" + repeat(e, 49)},
        {"3-byte character with one byte before the cut", "aa" + repeat(euro, 34),
         "aa" + repeat(euro, 32)},
        {"3-byte character with two bytes before the cut", "a" + repeat(euro, 34),
         "a" + repeat(euro, 32)},
        {"3-byte character ending exactly at the cut", repeat(euro, 34), repeat(euro, 33)},
        {"4-byte character with three bytes before the cut", repeat(clef, 25), repeat(clef, 24)},
        {"4-byte character with one byte before the cut", "aa" + repeat(clef, 25),
         "aa" + repeat(clef, 24)},
        {"a value that fits keeps its last character", repeat(e, 10), repeat(e, 10)},
        {"blanks before the split character are trimmed after the drop",
         std::string(96, 'a') + "  " + e, std::string(96, 'a')},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.fault);
        TempDir dir;
        writeBytes(dir / "f.ini", "[A]\r\nk=" + row.value + "\r\n");
        EXPECT_EQ(ReadINI((dir / "f.ini").string(), "A", "k", "", 100), row.expected);
    }
}

TEST(WriteINI, CreatesTheFileAndReplacesAValueWhereItStands) {
    TempDir dir;
    const std::string file = (dir / "f.ini").string();
    WriteINI(file, "Texts", "Name", "First");
    EXPECT_EQ(readBytes(file), "[Texts]\r\nName=First\r\n");
    WriteINI(file, "Texts", "Title", "T");
    WriteINI(file, "Files", "Icon", "");
    WriteINI(file, "TEXTS", "NAME", "Second");
    EXPECT_TRUE(test_support::matchesGolden(
        readBytes(file), fs::path(TAMSEL_TEST_DATA_DIR) / "writeini_replace.ini"));
    EXPECT_EQ(ReadINI(file, "texts", "name", "", 100), "Second");
}

TEST(WriteIniSection, ThreeCallsLeaveTheHeaderAndTheTextsInCallOrder) {
    TempDir dir;
    const std::string file = (dir / "f.ini").string();
    writeBytes(file, "[Texts]\r\nName=x");
    WriteIniSection(file, "Extrafiles", "one.txt");
    WriteIniSection(file, "Extrafiles", "two = 2.txt");
    WriteIniSection(file, "Extrafiles", "three.txt");
    EXPECT_EQ(readBytes(file),
              "[Texts]\r\nName=x\r\n[Extrafiles]\r\none.txt\r\ntwo = 2.txt\r\nthree.txt\r\n");
}

// WriteINI and WriteIniSection report nothing; a refused write must still
// leave the file as it was.
TEST(WriteINI, ARefusedWriteLeavesTheFileSilently) {
    TempDir dir;
    const std::string original = "[A]\r\nk=1\r\n";
    writeBytes(dir / "f.ini", original);
    WriteINI((dir / "f.ini").string(), "A", "k", "two\r\n[B]");
    WriteIniSection((dir / "f.ini").string(), "A", "x\ny");
    EXPECT_EQ(readBytes(dir / "f.ini"), original);

    fs::permissions(dir / "f.ini", fs::perms::owner_read | fs::perms::others_read);
    fs::permissions(dir.path(), fs::perms::all);
    int code = test_support::runInChild(
        [&] {
            WriteINI((dir / "f.ini").string(), "A", "k", "2");
            WriteIniSection((dir / "f.ini").string(), "A", "x");
            return 0;
        },
        {.asNobody = true, .maxFileBytes = {}});
    EXPECT_EQ(code, 0);
    EXPECT_EQ(readBytes(dir / "f.ini"), original);
}

}  // namespace
