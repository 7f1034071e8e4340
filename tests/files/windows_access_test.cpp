#include "platform/files/windows_access.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <optional>
#include <string>
#include <vector>

#include "tests/support/child_process.h"
#include "tests/support/temp_dir.h"

namespace {
namespace fs = std::filesystem;
using platform::files::checkWritableAsOnWindows;
using platform::files::findWindowsPath;
using platform::files::whyUnreadable;
using test_support::TempDir;
using test_support::writeBytes;

TEST(FindWindowsPath, FindsNamesAsWindowsUsersWriteThem) {
    TempDir dir;
    fs::create_directories(dir / "data");
    fs::create_directories(dir / "docs");
    for (const char* name : {"plugin.dll", "demo.ico", "readme.txt", "data/readme.txt",
                             "data/notes.txt", "Docs", "docs/a.txt", "Same.txt", "same.txt",
                             "café.dll", "αβγ.txt", "журнал.txt", "Łódź.txt", "big.BIN"}) {
        writeBytes(dir / name, name);
    }
    struct Case {
        const char* name;  // what the row guards against
        std::string written;
        std::optional<std::string> found;  // relative to dir
        std::string notes = "";
    };
    const Case cases[] = {
        {"upper case for lower case", "PLUGIN.DLL", "plugin.dll"},
        {"mixed case", "Demo.ico", "demo.ico"},
        {"a trailing dot", "readme.txt.", "readme.txt"},
        {"trailing dots and blanks", "readme.txt . .", "readme.txt"},
        {"'\\' between folders, and case in both components", "DATA\\README.TXT",
         "data/readme.txt"},
        {"'/' between folders", "data/Notes.TXT", "data/notes.txt"},
        {"a name present as written", "big.BIN", "big.BIN"},
        {"an exact match wins over names that differ in case", "same.txt", "same.txt"},
        {"several matches: the first in byte order, and a note", "SAME.TXT", "Same.txt",
         "\"SAME.TXT\" matches several names that differ only in letter case (\"Same.txt\", "
         "\"same.txt\"); using \"Same.txt\"\n"},
        {"a folder component matches folders only (a file 'Docs' is beside 'docs')", "DOCS\\a.txt",
         "docs/a.txt"},
        {"Latin-1 letters fold", "CAFÉ.DLL", "café.dll"},
        {"Greek letters fold", "ΑΒΓ.txt", "αβγ.txt"},
        {"Cyrillic letters fold", "ЖУРНАЛ.TXT", "журнал.txt"},
        {"Latin Extended-A letters fold", "ŁÓDŹ.TXT", "Łódź.txt"},
        {"'.' components are skipped", ".\\.\\plugin.dll", "plugin.dll"},
        {"a missing file", "missing.dll", std::nullopt},
        {"a file named as a folder", "plugin.dll\\x", std::nullopt},
        {"only dots and blanks", ". .", std::nullopt},
        {"an empty name", "", std::nullopt},
        {"the dotted capital İ has no simple pair", "PLUGİN.DLL", std::nullopt},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::string notes;
        auto found = findWindowsPath(dir.path(), c.written,
                                     [&](const std::string& note) { notes += note + "\n"; });
        if (c.found) {
            ASSERT_TRUE(found);
            EXPECT_EQ(fs::relative(*found, dir.path()), fs::path(*c.found));
            EXPECT_TRUE(fs::equivalent(*found, dir / *c.found));
        } else {
            EXPECT_FALSE(found) << *found;
        }
        EXPECT_EQ(notes, c.notes);
    }
    // An absolute name is looked for from the root, not from the folder.
    auto absolute = findWindowsPath("/nonexistent", (dir / "DATA" / "NOTES.TXT.").string());
    ASSERT_TRUE(absolute);
    EXPECT_EQ(*absolute, dir / "data" / "notes.txt");
}

// Windows opens no read-only file for writing, for an administrator
// neither; an ordinary user may write only what the permissions give it.
TEST(CheckWritableAsOnWindows, RefusesWhatWindowsCouldNotOpenForUpdate) {
    TempDir dir;
    fs::permissions(dir.path(), fs::perms::owner_all | fs::perms::others_exec);
    struct Case {
        const char* name;
        mode_t mode;
        bool asNobody;
        std::string reason;  // empty: writable
    };
    const std::string file = (dir / "installer.exe").string();
    const Case cases[] = {
        {"owner may write", 0644, false, ""},
        {"read-only for everyone, root included", 0444, false, file + " is read-only"},
        {"no permission bits at all", 0000, false, file + " is read-only"},
        {"ordinary user, someone else's file", 0644, true,
         "cannot write " + file + ": Permission denied"},
        {"ordinary user, a file all may write", 0666, true, ""},
        {"ordinary user, read-only", 0444, true, file + " is read-only"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        if (c.asNobody && !test_support::runningAsRoot()) {
            continue;  // only root can become nobody
        }
        writeBytes(dir / "installer.exe", "MZ");
        ::chmod(file.c_str(), c.mode);
        const int code = test_support::runInChild(
            [&] {
                auto status = checkWritableAsOnWindows(dir / "installer.exe");
                return status.message() == c.reason ? 0 : 1;
            },
            {.asNobody = c.asNobody, .maxFileBytes = {}});
        EXPECT_EQ(code, 0) << checkWritableAsOnWindows(dir / "installer.exe").message();
        EXPECT_EQ(test_support::readBytes(dir / "installer.exe"), "MZ");
        fs::remove(dir / "installer.exe");
    }
    EXPECT_EQ(checkWritableAsOnWindows(dir / "missing.exe").message(),
              "cannot open " + (dir / "missing.exe").string() + ": No such file or directory");
}

TEST(WhyUnreadable, NamesTheReason) {
    TempDir dir;
    fs::create_directory(dir / "folder.dll");
    writeBytes(dir / "plugin.dll", "MZ");
    ASSERT_EQ(::mkfifo((dir / "pipe.dll").c_str(), 0644), 0);
    EXPECT_EQ(whyUnreadable(dir / "missing.dll"), "No such file or directory");
    EXPECT_EQ(whyUnreadable(dir / "plugin.dll" / "x"), "Not a directory");
    EXPECT_EQ(whyUnreadable(dir / "folder.dll"), "Is a directory");
    EXPECT_EQ(whyUnreadable(dir / "pipe.dll"), "not a regular file");
}

}  // namespace
