// Writing an install-info record (Save and the backup file) and scanning its
// extra files back.
#include "editor/ini/install_record.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "editor/ini/ini.h"
#include "tests/ini/write_alone.h"
#include "tests/support/child_process.h"
#include "tests/support/golden.h"
#include "tests/support/rows.h"
#include "tests/support/temp_dir.h"

namespace {
namespace fs = std::filesystem;
using namespace std::string_literals;
using editor_ini::InstallRecord;
using editor_ini::scanExtraFiles;
using editor_ini::writeInstallRecord;
using editor_ini::WriteMode;
using test_support::readBytes;
using test_support::TempDir;
using test_support::writeBytes;

InstallRecord sampleRecord() {
    InstallRecord record;
    record.values = {"My plugin", "Proj.Class", "Installer", "No Warning",
                     "plug.dll",  "icon.ico",   "readme.txt"};
    record.extraFiles = {"readme.txt", "data\\more.bin", "C:\\abs\\x y.txt"};
    return record;
}

fs::path golden(const char* name) {
    return fs::path(TAMSEL_TEST_DATA_DIR) / name;
}

TEST(WriteInstallRecord, SaveWritesTheTableOfLinesAndNothingElse) {
    TempDir dir;
    writeBytes(dir / "install_info.ini", "[Old]\r\nstale=1\r\n[Extrafiles]\r\nold.txt\r\n");
    std::vector<std::size_t> written;
    ASSERT_TRUE(writeInstallRecord(dir / "install_info.ini", sampleRecord(), WriteMode::FreshFile,
                                   [&](std::size_t i) { written.push_back(i); }));
    EXPECT_TRUE(test_support::matchesGolden(readBytes(dir / "install_info.ini"),
                                            golden("save_extras.ini")));
    EXPECT_EQ(written, (std::vector<std::size_t>{0, 1, 2}));
}

TEST(WriteInstallRecord, SaveWithAnEmptyListHasNoExtrafilesSection) {
    TempDir dir;
    InstallRecord record = sampleRecord();
    record.extraFiles.clear();
    record.values[install_info::kFieldWarning] = "no warning";  // other case: a real warning
    record.values[install_info::kFieldRunAfterInstall] = "";
    ASSERT_TRUE(writeInstallRecord(dir / "f.ini", record, WriteMode::FreshFile));
    EXPECT_TRUE(
        test_support::matchesGolden(readBytes(dir / "f.ini"), golden("save_no_extras.ini")));
    EXPECT_EQ(scanExtraFiles(readBytes(dir / "f.ini")), std::nullopt);
}

// Save leaves the bytes that deleting the file and then writing each key with
// WriteINI and each entry with WriteIniSection, each committed on its own,
// would leave, in one commit.
TEST(WriteInstallRecord, SaveEqualsTheSingleCallsAndSavingTwiceGivesTheSameText) {
    TempDir dir;
    const InstallRecord record = sampleRecord();
    const std::string single = (dir / "single.ini").string();
    for (std::size_t i = 0; i < install_info::kFieldOrder.size(); ++i) {
        const auto& field = install_info::kFieldOrder[i];
        ASSERT_TRUE(ini_test::writeIniAlone(single, field.section, field.key,
                                            install_info::warningValueToStore(record.values[i])));
    }
    for (const std::string& entry : record.extraFiles) {
        ASSERT_TRUE(ini_test::writeIniSectionAlone(single, "Extrafiles", entry));
    }
    ASSERT_TRUE(writeInstallRecord(dir / "f.ini", record, WriteMode::FreshFile));
    const std::string first = readBytes(dir / "f.ini");
    EXPECT_EQ(first, readBytes(single));
    ASSERT_TRUE(writeInstallRecord(dir / "f.ini", record, WriteMode::FreshFile));
    EXPECT_EQ(readBytes(dir / "f.ini"), first);
}

// Entries come back in order, also those that read as section headers
// (which must not end the list for the entries after them), by Save and by a
// backup made again over an older one.
TEST(WriteInstallRecord, ExtraFilesReadBackInOrderEvenWhenOneLooksLikeAHeader) {
    InstallRecord record = sampleRecord();
    record.extraFiles = {"a.txt", "[readme].txt", "", "[1]", "b.txt"};
    for (WriteMode mode : {WriteMode::FreshFile, WriteMode::UpdateInPlace}) {
        SCOPED_TRACE(mode == WriteMode::FreshFile ? "save" : "backup made again");
        TempDir dir;
        writeBytes(dir / "f.ini", "[Texts]\r\nName=old\r\n[Extrafiles]\r\nold.txt\r\n");
        ASSERT_TRUE(writeInstallRecord(dir / "f.ini", record, mode));
        EXPECT_EQ(scanExtraFiles(readBytes(dir / "f.ini")), record.extraFiles);
    }
}

// A file the editor wrote on a Western system (code page 1252), loaded and
// saved without edits, comes back byte for byte: every byte from 0x80 up,
// the ones 1252 leaves undefined included.
TEST(WriteInstallRecord, A1252FileLoadedAndSavedComesBackByteForByte) {
    std::string high;
    for (int byte = 0x80; byte <= 0xFF; ++byte) high += static_cast<char>(byte);
    const std::string original = "[Texts]\r\nName=Caf\xE9\r\nVBName=\r\nTitle=" +
                                 high.substr(0, 64) + "\r\nWarning=" + high.substr(64) +
                                 "\r\n[Files]\r\nFilename=plug.dll\r\nIcon=\r\n[Misc]\r\n"
                                 "RunAfterInstall=l\xE9" "ame.txt\r\n[Extrafiles]\r\nl\xE9" "ame.txt\r\n"
                                 "\x80\x81\x8D\x8F\x90\x9D.bin\r\n";
    TempDir dir;
    writeBytes(dir / "install_info.ini", original);
    InstallRecord loaded;
    for (std::size_t i = 0; i < install_info::kFieldOrder.size(); ++i) {
        const auto& field = install_info::kFieldOrder[i];
        loaded.values[i] = editor_ini::ReadINI((dir / "install_info.ini").string(),
                                               std::string(field.section), std::string(field.key),
                                               "", 100, 1252);
    }
    EXPECT_EQ(loaded.values[0], "Caf\xC3\xA9");
    auto text = editor_ini::readInstallInfoText(dir / "install_info.ini");
    ASSERT_TRUE(text);
    loaded.extraFiles = scanExtraFiles(*text).value_or(std::vector<std::string>{});
    ASSERT_TRUE(writeInstallRecord(dir / "install_info.ini", loaded, WriteMode::FreshFile));
    EXPECT_EQ(readBytes(dir / "install_info.ini"), original);
}

// A character the code page cannot hold is never written as '?': one
// message names the field or entry, the character and the code page, and
// the file stays as it was. Other lines of an existing file too.
TEST(WriteInstallRecord, ACharacterTheCodePageCannotHoldWritesNothing) {
    struct Row {
        const char* fault;
        std::string existing;
        std::size_t field;  // the field given the text, or kNoField
        std::string text;
        WriteMode mode;
        std::string named;
    };
    constexpr std::size_t kNoField = 99;
    const std::string zhe = "\xD0\x96";  // Ж, U+0416
    const Row rows[] = {
        {"a field saved with '?'", "[Texts]\r\nName=Old\r\n", install_info::kFieldName,
         "Caf\xC3\xA9 " + zhe, WriteMode::FreshFile,
         "the field \"Name\" holds U+0416 '" + zhe + "', which code page 1252 cannot hold"},
        {"the Warning field saved with '?'", "", install_info::kFieldWarning, "x" + zhe,
         WriteMode::UpdateInPlace, "the field \"Warning\" holds U+0416"},
        {"an extra file saved with '?'", "[Texts]\r\nName=Old\r\n", kNoField,
         "\xE6\x97\xA5.txt", WriteMode::UpdateInPlace,
         "extra file 2 \"\xE6\x97\xA5.txt\" holds U+65E5 '\xE6\x97\xA5', which code page 1252 "
         "cannot hold"},
        {"another line of an existing UTF-8 file turned to '?'",
         "[Texts]\r\nName=Old\r\n[Foreign]\r\nk=" + zhe + "\r\n", kNoField, "", WriteMode::UpdateInPlace,
         "the line \"k=" + zhe + "\" holds U+0416 '" + zhe + "', which code page 1252 cannot hold"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.fault);
        TempDir dir;
        if (!row.existing.empty())
            writeBytes(dir / "f.ini", row.existing);
        InstallRecord record = sampleRecord();
        if (row.field != kNoField)
            record.values[row.field] = row.text;
        else if (!row.text.empty())
            record.extraFiles.insert(record.extraFiles.begin() + 1, row.text);
        const platform::Status written = writeInstallRecord(dir / "f.ini", record, row.mode);
        ASSERT_FALSE(written);
        EXPECT_NE(written.message().find(row.named), std::string::npos) << written.message();
        if (row.existing.empty())
            EXPECT_FALSE(fs::exists(dir / "f.ini"));
        else
            EXPECT_EQ(readBytes(dir / "f.ini"), row.existing);
    }
}

// A backup made again over a UTF-8 or UTF-16 file keeps its other lines,
// rewritten in the code page.
TEST(WriteInstallRecord, ABackupMadeOverAUnicodeFileRewritesItInTheCodePage) {
    using Row = test_support::BytesRow;
    const Row rows[] = {
        {"UTF-8 lines kept as UTF-8", "[Foreign]\r\nk=Caf\xC3\xA9\r\n[Texts]\r\nName=Old\r\n"},
        {"the UTF-8 mark kept", "\xEF\xBB\xBF[Foreign]\r\nk=Caf\xC3\xA9\r\n[Texts]\r\nName=Old\r\n"},
        {"UTF-16 kept",
         "\xFF\xFE[\0F\0o\0r\0e\0i\0g\0n\0]\0\r\0\n\0k\0=\0C\0a\0f\0\xE9\0\r\0\n\0"s},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.fault);
        TempDir dir;
        writeBytes(dir / "b.ini", row.bytes);
        InstallRecord record = sampleRecord();
        record.values[install_info::kFieldName] = "Caf\xC3\xA9";
        ASSERT_TRUE(writeInstallRecord(dir / "b.ini", record, WriteMode::UpdateInPlace));
        const std::string written = readBytes(dir / "b.ini");
        EXPECT_EQ(written.substr(0, 28), "[Foreign]\r\nk=Caf\xE9\r\n[Texts]\r\n");
        EXPECT_NE(written.find("Name=Caf\xE9\r\n"), std::string::npos);
    }
}

// Made again and again over itself, a backup holds exactly what a new one
// holds, whatever its extra files look like.
TEST(WriteInstallRecord, ABackupMadeAgainHoldsWhatANewOneHolds) {
    InstallRecord record = sampleRecord();
    record.extraFiles = {"a.txt", "[readme].txt", "", "[1]", "b.txt", "[last]"};
    TempDir dir;
    ASSERT_TRUE(writeInstallRecord(dir / "new.ini", record, WriteMode::FreshFile));
    const std::string fresh = readBytes(dir / "new.ini");
    for (int make = 1; make <= 3; ++make) {
        SCOPED_TRACE(make);
        ASSERT_TRUE(writeInstallRecord(dir / "b.ini", record, WriteMode::UpdateInPlace));
        EXPECT_EQ(readBytes(dir / "b.ini"), fresh);
    }
}

TEST(WriteInstallRecord, ReadsBackAsWritten) {
    TempDir dir;
    const InstallRecord record = sampleRecord();
    ASSERT_TRUE(writeInstallRecord(dir / "f.ini", record, WriteMode::FreshFile));
    const std::string file = (dir / "f.ini").string();
    for (std::size_t i = 0; i < install_info::kFieldOrder.size(); ++i) {
        const auto& field = install_info::kFieldOrder[i];
        std::string expected = i == install_info::kFieldWarning ? "" : record.values[i];
        EXPECT_EQ(
            editor_ini::ReadINI(file, std::string(field.section), std::string(field.key), "", 100),
            expected)
            << field.key;
    }
    EXPECT_EQ(scanExtraFiles(readBytes(file)), record.extraFiles);
}

TEST(WriteInstallRecord, UpdateInPlaceKeepsForeignSectionsAndRebuildsExtrafilesAtTheEnd) {
    TempDir dir;
    writeBytes(dir / "b.ini",
               "; made by hand\r\n[Misc]\r\nRunAfterInstall=old\r\nNote=keep\r\n"
               "[ExtraFiles]\r\nold1.txt\r\nold2.txt\r\n[Foreign]\r\nx=1\r\n"
               "[Texts]\r\nname=Old\r\n");
    ASSERT_TRUE(writeInstallRecord(dir / "b.ini", sampleRecord(), WriteMode::UpdateInPlace));
    EXPECT_TRUE(
        test_support::matchesGolden(readBytes(dir / "b.ini"), golden("update_in_place.ini")));

    InstallRecord none = sampleRecord();
    none.extraFiles.clear();
    ASSERT_TRUE(writeInstallRecord(dir / "b.ini", none, WriteMode::UpdateInPlace));
    EXPECT_EQ(scanExtraFiles(readBytes(dir / "b.ini")), std::nullopt);
    EXPECT_NE(readBytes(dir / "b.ini").find("[Foreign]\r\nx=1\r\n"), std::string::npos);
}

// A fresh file drops what the window does not show, but for the updater's
// signing command, which the next installer would otherwise ship without.
TEST(WriteInstallRecord, AFreshFileKeepsOnlyTheSigningCommand) {
    TempDir dir;
    const std::string command = "osslsigncode sign -in \"%1\" -out \"%1.s\" && mv \"%1.s\" \"%1\"" +
                                std::string(300, ' ') + "x";
    writeBytes(dir / "f.ini", "[Foreign]\r\nx=1\r\n[Sign]\r\nCommand=" + command +
                                  "\r\n[Texts]\r\nName=Old\r\n");
    ASSERT_TRUE(writeInstallRecord(dir / "f.ini", sampleRecord(), WriteMode::FreshFile));
    const std::string saved = readBytes(dir / "f.ini");
    EXPECT_NE(saved.find("[Misc]\r\nRunAfterInstall=readme.txt\r\n[Sign]\r\nCommand=" + command +
                         "\r\n[Extrafiles]\r\n"),
              std::string::npos)
        << saved;
    EXPECT_EQ(saved.find("[Foreign]"), std::string::npos);
}

TEST(WriteInstallRecord, AFailureIsReportedAndLeavesTheFileAsItWas) {
    TAMSEL_POSIX_ONLY("a read-only folder, tried as another user in a forked child");
    TempDir dir;
    const std::string original = "[Texts]\r\nName=Old\r\n";
    writeBytes(dir / "f.ini", original);
    fs::permissions(dir.path(), fs::perms::owner_read | fs::perms::owner_exec |
                                    fs::perms::others_read | fs::perms::others_exec);
    for (WriteMode mode : {WriteMode::FreshFile, WriteMode::UpdateInPlace}) {
        int code = test_support::runInChild(
            [&] {
                platform::Status status = writeInstallRecord(dir / "f.ini", sampleRecord(), mode);
                return !status && !status.message().empty() ? 0 : 1;
            },
            {.asNobody = true, .maxFileBytes = {}});
        EXPECT_EQ(code, 0) << "failure not reported, or without its reason";
        EXPECT_EQ(readBytes(dir / "f.ini"), original);
    }
}

// A line break pasted into one box must fail the whole write: committing the
// other steps would replace the file without that key while the window says
// it could not save (and leave a backup half old, half new).
TEST(WriteInstallRecord, ARefusedValueOrEntryWritesNothingAndIsNamed) {
    struct Row {
        const char* fault;
        std::size_t field;  // kFieldOrder index, or kFieldOrder.size() for an extra file
        std::string text;
        std::string named;
    };
    const std::size_t kExtraFile = install_info::kFieldOrder.size();
    const Row rows[] = {
        {"a\nb in txtName", install_info::kFieldName, "a\nb", "\"Name\""},
        {"a\nb in txtProgID", install_info::kFieldVBName, "a\nb", "\"VBName\""},
        {"planted keys in Title", install_info::kFieldTitle, "two\r\n[Files]\r\nFilename=evil.dll",
         "\"Title\""},
        {"CR in Warning", install_info::kFieldWarning, "a\rb", "\"Warning\""},
        {"a\nb in Filename", install_info::kFieldFilename, "a\nb", "\"Filename\""},
        {"a\nb in Icon", install_info::kFieldIcon, "a\nb", "\"Icon\""},
        {"a\nb in RunAfterInstall", install_info::kFieldRunAfterInstall, "a\nb",
         "\"RunAfterInstall\""},
        {"a line break in the second extra file", kExtraFile, "x\r\ny.txt", "extra file 2"},
    };
    const std::string original = "; by hand\r\n[Texts]\r\nName=Old\r\n[Extrafiles]\r\nold.txt";
    for (WriteMode mode : {WriteMode::FreshFile, WriteMode::UpdateInPlace}) {
        for (const Row& row : rows) {
            SCOPED_TRACE(std::string(row.fault) +
                         (mode == WriteMode::FreshFile ? " (Save)" : " (backup)"));
            TempDir dir;
            writeBytes(dir / "f.ini", original);
            InstallRecord record = sampleRecord();
            if (row.field == kExtraFile)
                record.extraFiles[1] = row.text;
            else
                record.values[row.field] = row.text;
            const platform::Status status = writeInstallRecord(dir / "f.ini", record, mode);
            EXPECT_FALSE(status);
            EXPECT_NE(status.message().find(row.named), std::string::npos) << status.message();
            EXPECT_EQ(status.message().find((dir / "f.ini").string()), std::string::npos)
                << "the caller's message names the file";
            EXPECT_EQ(readBytes(dir / "f.ini"), original);
            EXPECT_EQ(test_support::listFolder(dir.path()), std::vector<std::string>{"f.ini"});
        }
    }
}

struct ScanRow {
    const char* fault;
    std::string text;
    std::optional<std::vector<std::string>> expected;
};

TEST(ScanExtraFiles, TakesEveryLineAfterTheExactHeader) {
    using Lines = std::vector<std::string>;
    const ScanRow rows[] = {
        {"no header not told apart from an empty list", "[Texts]\r\nName=x\r\n", std::nullopt},
        {"header with a capital F matched", "[ExtraFiles]\r\na.txt\r\n", std::nullopt},
        {"header with blanks matched", " [Extrafiles]\r\na.txt\r\n", std::nullopt},
        {"header alone gives an entry", "[Extrafiles]\r\n", Lines{}},
        {"header at the end without a line end", "[Texts]\r\n[Extrafiles]", Lines{}},
        {"last line end makes an extra entry", "[Extrafiles]\r\na\r\nb\r\n", Lines{"a", "b"}},
        {"last line without a line end lost", "[Extrafiles]\r\na\r\nb", Lines{"a", "b"}},
        {"blank line dropped", "[Extrafiles]\r\na\r\n\r\n b \r\n", Lines{"a", "", " b "}},
        {"LF or CR alone not a line end", "[Extrafiles]\na\rb\r\nc", Lines{"a", "b", "c"}},
        {"scan stops at a later section", "[Extrafiles]\r\na\r\n[Other]\r\nk=v\r\n",
         Lines{"a", "[Other]", "k=v"}},
        {"second header not an entry", "[Extrafiles]\r\na\r\n[Extrafiles]\r\nb\r\n",
         Lines{"a", "[Extrafiles]", "b"}},
    };
    for (const ScanRow& row : rows) {
        SCOPED_TRACE(row.fault);
        EXPECT_EQ(scanExtraFiles(row.text), row.expected);
    }
}

}  // namespace
