#include "editor/ini/backup_store.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <functional>

#include "common/install_info.h"
#include "editor/ini/ini.h"
#include "tests/support/child_process.h"
#include "tests/support/golden.h"
#include "tests/support/rows.h"
#include "tests/support/temp_dir.h"

namespace {
namespace fs = std::filesystem;
using editor_ini::checkBackupName;
using editor_ini::BackupPath;
using editor_ini::DeleteBackup;
using editor_ini::InstallRecord;
using editor_ini::checkNewBackupName;
using editor_ini::ReadBackupList;
using editor_ini::Removal;
using editor_ini::WriteBackupFile;
using editor_ini::WriteBackupList;
using test_support::listFolder;
using test_support::readBytes;
using test_support::TempDir;
using test_support::writeBytes;
using Names = std::vector<std::string>;

std::string golden(const std::string& name) {
    return readBytes(fs::path(TAMSEL_TEST_DATA_DIR) / name);
}

void expectGolden(const fs::path& actualFile, const std::string& goldenName) {
    EXPECT_TRUE(test_support::matchesGolden(readBytes(actualFile),
                                            fs::path(TAMSEL_TEST_DATA_DIR) / goldenName));
}

std::string repeat(std::string_view text, int times) {
    std::string out;
    for (int i = 0; i < times; ++i) out += text;
    return out;
}

InstallRecord sampleRecord(std::string warning = "No Warning") {
    InstallRecord record;
    record.values = {"My plugin",  "My.Plugin",  "My installer", std::move(warning),
                     "plugin.dll", "plugin.ico", "readme.txt"};
    record.extraFiles = {"readme.txt", "data.bin"};
    return record;
}

TEST(BackupStore, FirstUseCreatesTheListAndTheBackupFile) {
    TempDir dir;
    EXPECT_EQ(ReadBackupList(dir.path()), Names{});

    std::vector<std::size_t> selected;
    ASSERT_TRUE(WriteBackupFile(dir.path(), "first", sampleRecord(),
                                [&](std::size_t i) { selected.push_back(i); }));
    ASSERT_TRUE(WriteBackupList(dir.path(), {"first"}));

    EXPECT_EQ(readBytes(dir / "backup.ini"), "[GEN]\r\nBackups=1\r\n[Backups]\r\n1=first\r\n");
    // "No Warning" is stored as an empty value; no extension is added to the name.
    expectGolden(dir / "first", "first_backup.ini");
    EXPECT_EQ(selected, (std::vector<std::size_t>{0, 1}));
    EXPECT_EQ(ReadBackupList(dir.path()), Names{"first"});
    EXPECT_EQ(listFolder(dir.path()), (Names{"backup.ini", "first"}));
}

TEST(BackupStore, ADuplicateNameRewritesTheOneFile) {
    TempDir dir;
    ASSERT_TRUE(WriteBackupFile(dir.path(), "alpha", sampleRecord()));
    ASSERT_TRUE(WriteBackupFile(dir.path(), "beta", sampleRecord()));
    InstallRecord second = sampleRecord("no warning");
    second.values[install_info::kFieldName] = "Second";
    second.extraFiles.clear();
    ASSERT_TRUE(WriteBackupFile(dir.path(), "alpha", second));
    ASSERT_TRUE(WriteBackupList(dir.path(), {"alpha", "beta", "alpha"}));

    expectGolden(dir / "backup.ini", "list_alpha_beta_alpha.ini");
    EXPECT_EQ(ReadBackupList(dir.path()), (Names{"alpha", "beta", "alpha"}));
    EXPECT_EQ(listFolder(dir.path()), (Names{"alpha", "backup.ini", "beta"}));
    // New values in place, the Warning text in other letter case kept as typed,
    // and with no extra files left no Extrafiles section.
    EXPECT_EQ(readBytes(dir / "alpha"),
              "[Texts]\r\nName=Second\r\nVBName=My.Plugin\r\nTitle=My installer\r\n"
              "Warning=no warning\r\n[Files]\r\nFilename=plugin.dll\r\nIcon=plugin.ico\r\n"
              "[Misc]\r\nRunAfterInstall=readme.txt\r\n");
}

TEST(BackupStore, ABackupOverAnExistingFileKeepsItsOtherSections) {
    TempDir dir;
    writeBytes(dir / "old", golden("existing_backup_before.ini"));
    ASSERT_TRUE(WriteBackupFile(dir.path(), "old", sampleRecord("no warning")));
    // Keys set where they stand, [Foreign] kept, Extrafiles rebuilt at the end.
    expectGolden(dir / "old", "existing_backup_after.ini");
}

TEST(BackupStore, RemovingTheOnlyBackupLeavesACountOfZero) {
    TempDir dir;
    ASSERT_TRUE(WriteBackupFile(dir.path(), "only", sampleRecord()));
    ASSERT_TRUE(WriteBackupList(dir.path(), {"only"}));

    ASSERT_TRUE(DeleteBackup(dir.path(), "only"));
    ASSERT_TRUE(WriteBackupList(dir.path(), {}));

    EXPECT_EQ(readBytes(dir / "backup.ini"), "[GEN]\r\nBackups=0\r\n");
    EXPECT_EQ(listFolder(dir.path()), Names{"backup.ini"});
    EXPECT_EQ(ReadBackupList(dir.path()), Names{});
}

TEST(BackupStore, ShorterListsLeaveNoStalePositions) {
    TempDir dir;
    ASSERT_TRUE(WriteBackupList(dir.path(), {"a", "b", "c"}));
    ASSERT_TRUE(WriteBackupList(dir.path(), {"a", "c"}));
    EXPECT_EQ(readBytes(dir / "backup.ini"), "[GEN]\r\nBackups=2\r\n[Backups]\r\n1=a\r\n2=c\r\n");
}

TEST(BackupStore, DeletingKeepsEverythingButTheOneFile) {
    TAMSEL_POSIX_ONLY("\"ab\" and \"AB\" side by side; a Windows folder holds one of them");
    TempDir dir;
    const std::string backup = "[Texts]\r\nName=the backup\r\n";
    writeBytes(dir / "ab", backup);
    writeBytes(dir / "AB", backup);
    writeBytes(dir / "ab.ini", backup);

    EXPECT_EQ(DeleteBackup(dir.path(), "ab").value(), Removal::Deleted);
    EXPECT_EQ(listFolder(dir.path()), (Names{"AB", "ab.ini"}));
    EXPECT_EQ(DeleteBackup(dir.path(), "gone").value(), Removal::NotFound)
        << "a file already gone is no failure";
}

// What is in a folder, entry by entry: a file's bytes, a link's target, or
// that it is a folder.
std::string snapshot(const fs::path& folder) {
    std::string text;
    for (const std::string& name : listFolder(folder)) {
        const fs::path path = folder / name;
        text += name + ": ";
        if (fs::is_symlink(path))
            text += "-> " + fs::read_symlink(path).string();
        else if (fs::is_directory(path))
            text += "folder";
        else
            text += readBytes(path);
        text += "\n";
    }
    return text;
}

// Make and Remove overwrite or delete only a backup file: a name that is also
// the name of the installer, a readme or a plugin wrote INI text into it, and
// Remove deleted it.
TEST(BackupStore, OnlyBackupFilesAreOverwrittenOrDeleted) {
    TempDir outside;
    const std::string outsideText = "[Texts]\r\nName=outside the folder\r\n";
    writeBytes(outside / "target.ini", outsideText);
    const std::string realBackup = "[Texts]\r\nName=Old\r\n[Misc]\r\nRunAfterInstall=\r\n";
    struct Row {
        const char* fault;
        std::string name;
        std::function<void(const fs::path&)> place;  // puts what the name names in the folder
        bool makeWrites;
        Removal removal;
    };
    const Row rows[] = {
        {"an installer overwritten with INI text", "installer.exe",
         [](const fs::path& p) { writeBytes(p, std::string("MZ\x90\0\x03\0\0\0PE\0\0", 12)); },
         false, Removal::NotABackup},
        {"a readme overwritten or deleted", "readme.txt",
         [](const fs::path& p) { writeBytes(p, "Read me first.\r\n"); }, false,
         Removal::NotABackup},
        {"another program's INI file (no Texts section)", "plugin.ini",
         [](const fs::path& p) { writeBytes(p, "[Settings]\r\nName=x\r\n"); }, false,
         Removal::NotABackup},
        {"a symlink whose target outside the folder was written", "link",
         [&](const fs::path& p) { fs::create_symlink(outside / "target.ini", p); }, false,
         Removal::NotABackup},
        {"a folder", "sub", [](const fs::path& p) { fs::create_directory(p); }, false,
         Removal::NotABackup},
        {"a real backup made again or removed", "old",
         [&](const fs::path& p) { writeBytes(p, realBackup); }, true, Removal::Deleted},
        {"a missing file made or removed", "new", [](const fs::path&) {}, true, Removal::NotFound},
        {"a backup saved again by Notepad as Unicode taken for another file", "notepad",
         [](const fs::path& p) {
             writeBytes(p, std::string("\xFF\xFE[\0T\0e\0x\0t\0s\0]\0\r\0\n\0N\0=\0x\0", 26));
         },
         true, Removal::Deleted},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.fault);
#ifdef _WIN32
        if (row.name == "link")
            continue;  // symbolic links need a privilege most Windows users lack
#endif
        {
            TempDir dir;
            row.place(dir / row.name);
            const std::string before = snapshot(dir.path());
            const platform::Status made = WriteBackupFile(dir.path(), row.name, sampleRecord());
            EXPECT_EQ(made.isOk(), row.makeWrites) << made.message();
            if (row.makeWrites) {
                EXPECT_TRUE(editor_ini::isBackupFile(dir / row.name));
                EXPECT_EQ(editor_ini::ReadINI((dir / row.name).string(), "Texts", "Name", "", 100),
                          "My plugin");
            } else {
                EXPECT_NE(made.message().find("not a backup file"), std::string::npos)
                    << made.message();
                EXPECT_EQ(snapshot(dir.path()), before);
            }
        }
        {
            TempDir dir;
            row.place(dir / row.name);
            const std::string before = snapshot(dir.path());
            const auto removed = DeleteBackup(dir.path(), row.name);
            ASSERT_TRUE(removed) << removed.message();
            EXPECT_EQ(removed.value(), row.removal);
            if (row.removal == Removal::Deleted)
                EXPECT_EQ(listFolder(dir.path()), Names{});
            else
                EXPECT_EQ(snapshot(dir.path()), before);
        }
        EXPECT_EQ(readBytes(outside / "target.ini"), outsideText);
    }
}

// Names are stored whole and read back trimmed: a backup made as " readme.txt"
// reads back as "readme.txt", which names the real readme.
TEST(BackupStore, ANameReadBackTrimmedNeverDeletesTheFileItNowNames) {
    TempDir dir;
    writeBytes(dir / "readme.txt", "Read me first.\r\n");
    ASSERT_TRUE(WriteBackupFile(dir.path(), " readme.txt", sampleRecord()));
    ASSERT_TRUE(WriteBackupList(dir.path(), {" readme.txt"}));
    const Names listed = ReadBackupList(dir.path());
    ASSERT_EQ(listed, Names{"readme.txt"});
    EXPECT_EQ(DeleteBackup(dir.path(), listed[0]).value(), Removal::NotABackup);
    EXPECT_EQ(readBytes(dir / "readme.txt"), "Read me first.\r\n");
    EXPECT_FALSE(WriteBackupFile(dir.path(), listed[0], sampleRecord()));
    EXPECT_EQ(readBytes(dir / "readme.txt"), "Read me first.\r\n");
}

TEST(BackupStore, ReadingTheList) {
    struct Row {
        const char* fault;
        std::string fileText;
        Names expected;
    };
    const std::vector<Row> rows = {
        {"missing positions must give empty names, not shorten the list",
         "[GEN]\r\nBackups=4\r\n[Backups]\r\n1=a\r\n3=c\r\n",
         {"a", "", "c", ""}},
        {"a fractional count rounds down",
         "[gen]\r\nbackups=2.9\r\n[BACKUPS]\r\n1=a\r\n2=b\r\n3=c\r\n",
         {"a", "b"}},
        {"blanks around names are trimmed",
         "[GEN]\r\nBackups=1\r\n[Backups]\r\n1=  spaced  \r\n",
         {"spaced"}},
        {"a count of zero ignores leftover entries",
         "[GEN]\r\nBackups=0\r\n[Backups]\r\n1=a\r\n",
         {}},
        {"a negative count", "[GEN]\r\nBackups=-1\r\n[Backups]\r\n1=a\r\n", {}},
        {"a count past the 16-bit range", "[GEN]\r\nBackups=32767\r\n[Backups]\r\n1=a\r\n", {}},
        {"a huge count", "[GEN]\r\nBackups=99999999999999999999999\r\n", {}},
        {"a count that is no number", "[GEN]\r\nBackups=abc\r\n[Backups]\r\n1=a\r\n", {}},
        {"a count with trailing text", "[GEN]\r\nBackups=1x\r\n[Backups]\r\n1=a\r\n", {}},
        {"inf is no count", "[GEN]\r\nBackups=inf\r\n", {}},
        {"nan is no count", "[GEN]\r\nBackups=nan\r\n", {}},
        {"an empty count", "[GEN]\r\nBackups=\r\n[Backups]\r\n1=a\r\n", {}},
        {"no count at all", "[Backups]\r\n1=a\r\n", {}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.fault);
        TempDir dir;
        writeBytes(dir / "backup.ini", row.fileText);
        EXPECT_EQ(ReadBackupList(dir.path()), row.expected);
    }
}

// The list is read from one parse of the file, and must give what a ReadINI
// of each key gives.
TEST(BackupStore, TheListReadsAsReadINIReadsEachKey) {
    const std::string e = "\xC3\xA9";
    std::string name120(120, 'n');
    // é is one byte in the code page: the 100th byte, past the cut.
    std::string splitAtCut(99, 'a');
    splitAtCut += e;
    const std::string fileText =
        "[GEN]\r\nBackups= 7 \r\n[Backups]\r\n"
        "1=  spaced  \r\n"
        "2=" +
        name120 +
        "\r\n"
        "3=\r\n"
        "5=five\r\n"
        "6=" +
        splitAtCut +
        "\r\n"
        "[backups]\r\n7=second section not read\r\n";
    TempDir dir;
    writeBytes(dir / "backup.ini", fileText);
    const std::string file = (dir / "backup.ini").string();
    Names perKey;
    for (int position = 1; position <= 7; ++position) {
        perKey.push_back(editor_ini::ReadINI(file, "Backups", std::to_string(position), "", 100));
    }
    EXPECT_EQ(perKey,
              (Names{"spaced", name120.substr(0, 99), "", "", "five", std::string(99, 'a'), ""}));
    EXPECT_EQ(ReadBackupList(dir.path()), perKey);
}

TEST(BackupStore, ALongNameIsStoredWholeAndReadBackCut) {
    TempDir dir;
    const std::string name(120, 'n');
    ASSERT_TRUE(WriteBackupFile(dir.path(), name, sampleRecord()));
    ASSERT_TRUE(WriteBackupList(dir.path(), {name}));
    EXPECT_TRUE(fs::is_regular_file(BackupPath(dir.path(), name)));
    EXPECT_EQ(readBytes(dir / "backup.ini"),
              "[GEN]\r\nBackups=1\r\n[Backups]\r\n1=" + name + "\r\n");
    EXPECT_EQ(ReadBackupList(dir.path()), Names{name.substr(0, 99)});
}

// A trailing blank is refused as a backup name (Windows drops it), a
// leading one is not; the list holds both and reads back trimmed.
TEST(BackupStore, ANameWithBlanksIsStoredWholeAndReadBackTrimmed) {
    TempDir dir;
    ASSERT_TRUE(WriteBackupFile(dir.path(), " spaced", sampleRecord()));
    ASSERT_TRUE(WriteBackupList(dir.path(), {" spaced "}));
    EXPECT_TRUE(fs::is_regular_file(dir / " spaced"));
    EXPECT_EQ(readBytes(dir / "backup.ini"), "[GEN]\r\nBackups=1\r\n[Backups]\r\n1= spaced \r\n");
    EXPECT_EQ(ReadBackupList(dir.path()), Names{"spaced"});
}

TEST(BackupStore, UnsafeNamesAreRefusedAndTouchNothing) {
    using Row = test_support::NameRow<std::string>;
    const std::vector<Row> refused = {
        {"", "an empty name would name the folder itself"},
        {"sub/name", "a folder part writes outside the program folder"},
        {"..\\up", "a backslash is a folder separator on Windows"},
        {"/etc/passwd", "an absolute path replaces the folder when joined"},
        {".", "the folder itself"},
        {"..", "the parent folder"},
        {"a<b", "not in a Windows file name"},
        {"a>b", "not in a Windows file name"},
        {"c:name", "a drive or stream on Windows"},
        {"say \"hi\"", "not in a Windows file name"},
        {"a|b", "not in a Windows file name"},
        {"what?", "not in a Windows file name"},
        {"*", "not in a Windows file name"},
        {"tab\there", "control characters"},
        {std::string("nul\0x", 5), "an embedded NUL would cut the name"},
        {"line\nbreak", "a line break would break the list file"},
        {std::string(256, 'x'), "longer than a file name may be"},
        {"install_info.ini", "the editor's own install-info file"},
        {"INSTALL_INFO.INI", "letter case is ignored"},
        {"install_info backup.ini", "the copy made before each save"},
        {"Backup.ini", "the list file itself"},
        {"tamsel", "the editor program"},
        {"TAMSEL.EXE", "the editor program on Windows"},
        {"updater", "the updater program"},
        {"Updater.exe", "the updater program on Windows"},
        {"install_info.ini.", "Windows opens install_info.ini: Make would write over it, Remove "
         "delete it", "would be the file \"install_info.ini\""},
        {"install_info backup.ini.", "Windows opens Save's safety copy", "drops dots and blanks"},
        {"Backup.ini ", "a trailing blank: Windows opens the list file", "drops dots and blanks"},
        {" spaced ", "Windows opens \" spaced\", another file", "\" spaced\""},
        {"...", "nothing is left once the trailing dots go", "dots and blanks only"},
        {"NUL", "a device: the write reaches no file", "device"},
        {"con", "a device in any letter case", "device"},
        {"COM1.txt", "a device with any extension", "device"},
        {"lpt9 .log", "a device with blanks before its extension", "device"},
    };
    for (const Row& row : refused) {
        SCOPED_TRACE(row.fault);
        TempDir dir;
        writeBytes(dir / "install_info.ini", "[Texts]\r\nName=keep\r\n");
        writeBytes(dir / "backup.ini", "[GEN]\r\nBackups=0\r\n");
        const platform::Status checked = checkBackupName(row.name);
        ASSERT_FALSE(checked);
        EXPECT_EQ(checked.kind(), platform::ErrorKind::InvalidName);
        EXPECT_NE(checked.message().find(row.said), std::string::npos) << checked.message();
        const platform::Status written = WriteBackupFile(dir.path(), row.name, sampleRecord());
        EXPECT_EQ(written.kind(), platform::ErrorKind::InvalidName);
        EXPECT_EQ(DeleteBackup(dir.path(), row.name).value(), Removal::NotABackup);
        EXPECT_EQ(listFolder(dir.path()), (Names{"backup.ini", "install_info.ini"}));
        EXPECT_EQ(readBytes(dir / "install_info.ini"), "[Texts]\r\nName=keep\r\n");
        EXPECT_EQ(readBytes(dir / "backup.ini"), "[GEN]\r\nBackups=0\r\n");
    }
    for (const std::string& accepted :
         Names{"first", "first.ini", " spaced", "install_info.ini.old", "my backup.ini", "...x",
               "Größe", "console", "COM10", "nul-not", std::string(255, 'x')}) {
        SCOPED_TRACE(accepted);
        EXPECT_TRUE(checkBackupName(accepted)) << checkBackupName(accepted).message();
    }
}

// Make backup refuses what the code page cannot hold, in the name (which
// backup.ini must hold) or in the record, with one message and no file.
TEST(BackupStore, ACharacterTheCodePageCannotHoldMakesNoBackup) {
    struct Row {
        const char* fault;
        std::string name;
        std::string plugin;
        std::string named;
    };
    const Row rows[] = {
        {"a backup file no list can name", "\xD0\x96" "ar", "My plugin",
         "The backup name \"\xD0\x96" "ar\" holds U+0416 '\xD0\x96', which code page 1252 cannot hold"},
        {"a plugin name written as '?'", "plain", "\xE6\x97\xA5",
         "the field \"Name\" holds U+65E5 '\xE6\x97\xA5', which code page 1252 cannot hold"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.fault);
        TempDir dir;
        editor_ini::InstallRecord record = sampleRecord();
        record.values[install_info::kFieldName] = row.plugin;
        const platform::Status made = WriteBackupFile(dir.path(), row.name, record);
        ASSERT_FALSE(made);
        EXPECT_NE(made.message().find(row.named), std::string::npos) << made.message();
        EXPECT_EQ(listFolder(dir.path()), Names{});
    }
}

// The list file is replaced, never deleted first: a write that fails part way
// (a full disk, a read-only folder) leaves the previous list as it was.
TEST(BackupStore, AFailedListWriteKeepsThePreviousList) {
    TAMSEL_POSIX_ONLY("a read-only folder and a file-size limit, in a forked child");
    struct Row {
        const char* fault;
        test_support::ChildLimits limits;
        fs::perms folderPerms;
    };
    const std::vector<Row> rows = {
        {"full disk", {.maxFileBytes = 64}, fs::perms::all},
        {"read-only folder", {.asNobody = true, .maxFileBytes = std::nullopt}, fs::perms(0555)},
    };
    const std::string previous = "[GEN]\r\nBackups=1\r\n[Backups]\r\n1=keep\r\n";
    for (const Row& row : rows) {
        SCOPED_TRACE(row.fault);
        TempDir dir;
        writeBytes(dir / "backup.ini", previous);
        fs::permissions(dir.path(), row.folderPerms);
        const Names longList(20, std::string(50, 'x'));
        const int code = test_support::runInChild(
            [&] { return WriteBackupList(dir.path(), longList).isOk() ? 0 : 1; }, row.limits);
        fs::permissions(dir.path(), fs::perms::owner_all, fs::perm_options::add);
        EXPECT_EQ(code, 1) << "the failure is reported";
        EXPECT_EQ(readBytes(dir / "backup.ini"), previous);
        EXPECT_EQ(listFolder(dir.path()), Names{"backup.ini"});
    }
}

TEST(BackupStore, AListTooLongToReadBackIsNotWritten) {
    TempDir dir;
    writeBytes(dir / "backup.ini", "[GEN]\r\nBackups=0\r\n");
    EXPECT_FALSE(WriteBackupList(dir.path(), Names(editor_ini::kMaxBackups + 1, "n")));
    EXPECT_EQ(readBytes(dir / "backup.ini"), "[GEN]\r\nBackups=0\r\n");
}

// A new backup's name must come back from the list file as it was typed, and
// must not name a file of the folder that is no backup. Code page 1252 here.
TEST(BackupStore, ANewNameMustReadBackUnchanged) {
    struct Row {
        std::string name;
        const char* fault;  // empty for a name that is taken
        std::string reasonHolds;
    };
    const std::vector<Row> rows = {
        {std::string(99, 'n'), "", ""},
        {std::string(100, 'n'), "read back cut to 99 characters", "at most 99 bytes"},
        {std::string(150, 'n'), "the list cuts it, though a file name could hold it", "150"},
        {repeat("\xc3\xa9", 99), "", ""},  // 198 bytes of UTF-8, but 99 in 1252
        {" spaced", "read back without its leading blank", "blank"},
        {"spaced ", "read back without its trailing blank", "blank"},
        {"inner space", "", ""},
        {"\xd0\x96ук", "1252 cannot hold it", "U+0416"},
        {"installer.exe", "a file of the folder that is no backup", "not a backup"},
        {"install_info.ini", "the editor's own file keeps its own reason", "file of this program"},
        {"old", "", ""},  // a backup of that name is made again
        {"sub", "a folder is no backup", "not a backup"},
    };
    TempDir dir;
    writeBytes(dir / "installer.exe", "MZ stand-in");
    writeBytes(dir / "old", "[Texts]\r\nName=old\r\n");
    fs::create_directory(dir / "sub");
    for (const Row& row : rows) {
        SCOPED_TRACE(row.fault[0] ? row.fault : row.name.c_str());
        const platform::Status checked = checkNewBackupName(dir.path(), row.name, 1252);
        if (row.reasonHolds.empty()) {
            EXPECT_TRUE(checked) << checked.message();
            continue;
        }
        ASSERT_FALSE(checked);
        EXPECT_EQ(checked.kind(), platform::ErrorKind::InvalidName);
        EXPECT_NE(checked.message().find(row.reasonHolds), std::string::npos) << checked.message();
    }
    // The limit counts bytes of the code page, not characters: 50 kanji are
    // 100 bytes of 932, 49 are 98.
    EXPECT_FALSE(checkNewBackupName(dir.path(), repeat("\xe6\xbc\xa2", 50), 932));
    EXPECT_TRUE(checkNewBackupName(dir.path(), repeat("\xe6\xbc\xa2", 49), 932));
}

}  // namespace
