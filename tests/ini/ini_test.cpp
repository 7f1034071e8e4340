// ReadINI, WriteINI and WriteIniSection: the editor's view of an INI file.
#include "editor/ini/ini.h"
#include "editor/ini/install_record.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "tests/ini/write_alone.h"
#include "tests/support/child_process.h"
#include "tests/support/golden.h"
#include "tests/support/rows.h"
#include "tests/support/temp_dir.h"

namespace {
namespace fs = std::filesystem;
using editor_ini::ReadINI;
using ini_test::writeIniAlone;
using ini_test::writeIniSectionAlone;
using test_support::readBytes;
using test_support::TempDir;
using test_support::utf16le;
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
        const std::string file = test_support::rowFile(dir, row.file).string();
        EXPECT_EQ(ReadINI(file, row.section, row.key, row.defaultValue, row.size), row.expected);
    }
}

// The cut at Size - 1 counts bytes of the ANSI code page, whatever the
// file's encoding, and a character it would split is dropped whole, so that
// Save writes neither half a character nor U+FFFD in its place.
TEST(ReadINI, TheCutCountsAnsiBytesAndNeverSplitsACharacter) {
    const std::string e = "\xC3\xA9";             // é: 2 UTF-8 bytes, 1 in 1252
    const std::string euro = "\xE2\x82\xAC";      // €: 3 UTF-8 bytes, 1 in 1252
    const std::string clef = "\xF0\x9D\x84\x9E";  // 𝄞: not in 1252, its '?' takes 1
    const std::string sun = "\xE6\x97\xA5";       // 日: 2 bytes in 932 (93 FA)
    const std::string kana = "\xEF\xBD\xB1";      // half-width ｱ: 1 byte in 932 (B1)
    auto repeat = [](const std::string& text, int times) {
        std::string result;
        for (int i = 0; i < times; ++i) result += text;
        return result;
    };
    struct Row {
        const char* fault;
        unsigned codePage;
        std::string value;  // the file's bytes after "k="
        std::string expected;
    };
    const Row rows[] = {
        {"ASCII exactly at the limit loses nothing", 1252, std::string(99, 'a'),
         std::string(99, 'a')},
        {"ASCII past the limit is cut at 99 bytes", 1252, std::string(120, 'a'),
         std::string(99, 'a')},
        {"UTF-8 file: 2-byte characters counted as their one ANSI byte", 1252, repeat(e, 120),
         repeat(e, 99)},
        {"UTF-8 file: 3-byte characters counted as their one ANSI byte", 1252, repeat(euro, 120),
         repeat(euro, 99)},
        {"UTF-8 file: a character 1252 cannot hold counts as its '?'", 1252, repeat(clef, 120),
         repeat(clef, 99)},
        {"ANSI file: 99 bytes read as 99 characters", 1252, std::string(120, '\xE9'),
         repeat(e, 99)},
        {"a value that fits keeps its last character", 1252, repeat(e, 10), repeat(e, 10)},
        {"932: a double-byte character ending exactly at the cut stays", 932,
         "a" + repeat(sun, 60), "a" + repeat(sun, 49)},
        {"932: a double-byte character straddling the cut is dropped", 932, repeat(sun, 60),
         repeat(sun, 49)},
        {"932 ANSI file: the lead byte before the cut is dropped with its trail", 932,
         repeat("\x93\xFA", 60), repeat(sun, 49)},
        {"932 ANSI file: one-byte katakana cut at 99", 932, std::string(120, '\xB1'),
         repeat(kana, 99)},
        {"blanks before the dropped character are trimmed after the drop", 932,
         std::string(96, 'a') + "  " + sun, std::string(96, 'a')},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.fault);
        TempDir dir;
        writeBytes(dir / "f.ini", "[A]\r\nk=" + row.value + "\r\n");
        EXPECT_EQ(ReadINI((dir / "f.ini").string(), "A", "k", "", 100, row.codePage),
                  row.expected);
    }
}

// Every encoding an install-info file may come in reads as the same text:
// the keys through ReadINI and the extra files through the scan.
TEST(ReadINI, EveryEncodingOfAFileReadsAsTheSameText) {
    using Row = test_support::BytesRow;
    const Row rows[] = {
        {"1252 bytes read as UTF-8 show U+FFFD", "[Texts]\r\nName=Caf\xE9\r\n[Extrafiles]\r\nd\xE9.txt\r\n"},
        {"UTF-8 of an earlier version read as 1252",
         "[Texts]\r\nName=Caf\xC3\xA9\r\n[Extrafiles]\r\nd\xC3\xA9.txt\r\n"},
        {"UTF-8 mark taken for part of the first header",
         "\xEF\xBB\xBF[Texts]\r\nName=Caf\xC3\xA9\r\n[Extrafiles]\r\nd\xC3\xA9.txt\r\n"},
        {"UTF-16 read as bytes: no key found",
         utf16le(u"[Texts]\r\nName=Caf\u00E9\r\n[Extrafiles]\r\nd\u00E9.txt\r\n")},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.fault);
        TempDir dir;
        writeBytes(dir / "f.ini", row.bytes);
        EXPECT_EQ(ReadINI((dir / "f.ini").string(), "texts", "NAME", "", 100, 1252),
                  "Caf\xC3\xA9");
        auto text = editor_ini::readInstallInfoText(dir / "f.ini");
        ASSERT_TRUE(text) << text.message();
        EXPECT_EQ(editor_ini::scanExtraFiles(*text), std::vector<std::string>{"d\xC3\xA9.txt"});
    }
}

TEST(WriteINI, CreatesTheFileAndReplacesAValueWhereItStands) {
    TempDir dir;
    const std::string file = (dir / "f.ini").string();
    EXPECT_TRUE(writeIniAlone(file, "Texts", "Name", "First"));
    EXPECT_EQ(readBytes(file), "[Texts]\r\nName=First\r\n");
    EXPECT_TRUE(writeIniAlone(file, "Texts", "Title", "T"));
    EXPECT_TRUE(writeIniAlone(file, "Files", "Icon", ""));
    EXPECT_TRUE(writeIniAlone(file, "TEXTS", "NAME", "Second"));
    EXPECT_TRUE(test_support::matchesGolden(
        readBytes(file), fs::path(TAMSEL_TEST_DATA_DIR) / "writeini_replace.ini"));
    EXPECT_EQ(ReadINI(file, "texts", "name", "", 100), "Second");
}

TEST(WriteIniSection, ThreeCallsLeaveTheHeaderAndTheTextsInCallOrder) {
    TempDir dir;
    const std::string file = (dir / "f.ini").string();
    writeBytes(file, "[Texts]\r\nName=x");
    EXPECT_TRUE(writeIniSectionAlone(file, "Extrafiles", "one.txt"));
    EXPECT_TRUE(writeIniSectionAlone(file, "Extrafiles", "two = 2.txt"));
    EXPECT_TRUE(writeIniSectionAlone(file, "Extrafiles", "three.txt"));
    EXPECT_EQ(readBytes(file),
              "[Texts]\r\nName=x\r\n[Extrafiles]\r\none.txt\r\ntwo = 2.txt\r\nthree.txt\r\n");
}

// A refused write, whether WriteINI or WriteIniSection refuses it or the file
// does, is reported and leaves the file as it was.
TEST(WriteINI, ARefusedWriteIsReportedAndLeavesTheFile) {
    TAMSEL_POSIX_ONLY("a read-only file, tried as another user in a forked child");
    TempDir dir;
    const std::string original = "[A]\r\nk=1\r\n";
    writeBytes(dir / "f.ini", original);
    EXPECT_FALSE(writeIniAlone(dir / "f.ini", "A", "k", "two\r\n[B]"));
    EXPECT_FALSE(writeIniSectionAlone(dir / "f.ini", "A", "x\ny"));
    EXPECT_EQ(readBytes(dir / "f.ini"), original);

    fs::permissions(dir / "f.ini", fs::perms::owner_read | fs::perms::others_read);
    fs::permissions(dir.path(), fs::perms::all);
    int code = test_support::runInChild(
        [&] {
            const bool keyRefused = !writeIniAlone(dir / "f.ini", "A", "k", "2");
            const bool lineRefused = !writeIniSectionAlone(dir / "f.ini", "A", "x");
            return keyRefused && lineRefused ? 0 : 1;
        },
        {.asNobody = true, .maxFileBytes = {}});
    EXPECT_EQ(code, 0);
    EXPECT_EQ(readBytes(dir / "f.ini"), original);
}

}  // namespace
