#include "platform/files/windows_access.h"

#include "platform/files/files.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>
#ifdef _WIN32
#include <windows.h>
#endif

#include <optional>
#include <string>
#include <vector>

#include "tests/support/child_process.h"
#include "tests/support/temp_dir.h"

namespace {
namespace fs = std::filesystem;
using platform::files::checkWritableAsOnWindows;
using platform::files::findWindowsPath;
using platform::Status;
using test_support::TempDir;
using test_support::writeBytes;

// On Windows the file system finds the names itself: the look-up is a plain
// open, and the same rows must find the same files, apart from those that
// need two names a Windows folder cannot hold side by side.
#ifdef _WIN32
constexpr bool kFileSystemFindsNames = true;
#else
constexpr bool kFileSystemFindsNames = false;
#endif

TEST(FindWindowsPath, FindsNamesAsWindowsUsersWriteThem) {
    TempDir dir;
    fs::create_directories(dir / "data");
    fs::create_directories(dir / "docs");
    for (const char* name : {"plugin.dll", "demo.ico", "readme.txt", "data/readme.txt",
                             "data/notes.txt", "Docs", "docs/a.txt", "Same.txt", "same.txt",
                             "café.dll", "αβγ.txt", "журнал.txt", "Łódź.txt", "big.BIN"}) {
        if (kFileSystemFindsNames && (name == std::string("Docs") || name == std::string("same.txt")))
            continue;  // one name with "docs" and "Same.txt" on Windows
        writeBytes(dir.path() / platform::files::pathFromUtf8(name), name);
    }
    if (!kFileSystemFindsNames)
        writeBytes(dir / "caf\xE9.txt", "Latin-1 bytes, not UTF-8");
    struct Case {
        const char* name;  // what the row guards against
        std::string written;
        std::optional<std::string> found;  // relative to dir
        std::string notes = "";
        bool onWindows = true;  // false: needs names Windows cannot hold side by side
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
        {"an exact match wins over names that differ in case", "same.txt", "same.txt", "", false},
        {"several matches: the first in byte order, and a note", "SAME.TXT", "Same.txt",
         "\"SAME.TXT\" matches several names that differ only in letter case (\"Same.txt\", "
         "\"same.txt\"); using \"Same.txt\"\n",
         false},
        {"a folder component matches folders only (a file 'Docs' is beside 'docs')", "DOCS\\a.txt",
         "docs/a.txt"},
        {"Latin-1 letters fold", "CAFÉ.DLL", "café.dll"},
        {"Greek letters fold", "ΑΒΓ.txt", "αβγ.txt"},
        {"Cyrillic letters fold", "ЖУРНАЛ.TXT", "журнал.txt"},
        {"Latin Extended-A letters fold", "ŁÓDŹ.TXT", "Łódź.txt"},
        {"'.' components are skipped", ".\\.\\plugin.dll", "plugin.dll"},
        {"a missing file", "missing.dll", std::nullopt},
        {"a file named as a folder", "plugin.dll\\x", std::nullopt},
        // Windows opens ". ." as the folder itself.
        {"only dots and blanks", ". .", std::nullopt, "", false},
        {"an empty name", "", std::nullopt},
        {"the dotted capital İ has no simple pair", "PLUGİN.DLL", std::nullopt},
        {"a byte that is not UTF-8 equals itself", "CAF\xE9.TXT", "caf\xE9.txt", "", false},
        {"and no other byte", "CAF\xE8.TXT", std::nullopt, "", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        if (kFileSystemFindsNames && !c.onWindows)
            continue;
        std::string notes;
        auto found = findWindowsPath(dir.path(), c.written,
                                     [&](const std::string& note) { notes += note + "\n"; });
        if (c.found) {
            ASSERT_TRUE(found);
            const fs::path expected = dir.path() / platform::files::pathFromUtf8(*c.found);
            // Linux gives the name on disk; Windows the name as written.
            if (!kFileSystemFindsNames) {
                EXPECT_EQ(*found, expected);
            }
            EXPECT_TRUE(fs::equivalent(*found, expected));
        } else {
            EXPECT_FALSE(found) << *found;
        }
        EXPECT_EQ(notes, c.notes);
    }
    // An absolute name is looked for from the root, not from the folder.
    const std::string absoluteName =
        platform::files::utf8Name(dir.path()) + "/DATA/NOTES.TXT.";
    auto absolute = findWindowsPath("/nonexistent", absoluteName);
    ASSERT_TRUE(absolute);
    EXPECT_TRUE(fs::equivalent(*absolute, dir / "data" / "notes.txt"));
}

// Windows opens no read-only file for writing, for an administrator
// neither; an ordinary user may write only what the permissions give it.
TEST(CheckWritableAsOnWindows, RefusesWhatWindowsCouldNotOpenForUpdate) {
    TAMSEL_POSIX_ONLY("permission bits and another user; Windows has its own rows below");
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

#ifdef _WIN32
// What only Windows has: the read-only attribute, and a file another program
// holds open without letting others write it. The updater and the profile
// routines ask this before they replace a file. (Wine's ReplaceFileW and
// MoveFileExW replace both all the same, so the check is what guards.)
TEST(CheckWritableAsOnWindows, TheReadOnlyAttributeAndAFileHeldOpen) {
    struct Row {
        const char* fault;
        bool readOnly;
        bool heldOpen;
        std::string reason;  // after the file's name
    };
    const Row rows[] = {
        {"a read-only file overwritten", true, false, " is read-only"},
        {"a file in use by another program overwritten", false, true,
         ": it is in use by another process (Windows error 32)"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.fault);
        TempDir dir;
        const fs::path file = dir / "installer.exe";
        writeBytes(file, "MZ");
        if (row.readOnly)
            fs::permissions(file, fs::perms::owner_write | fs::perms::group_write |
                                      fs::perms::others_write, fs::perm_options::remove);
        HANDLE held = row.heldOpen ? ::CreateFileW(file.c_str(), GENERIC_READ, FILE_SHARE_READ,
                                                   nullptr, OPEN_EXISTING, 0, nullptr)
                                   : INVALID_HANDLE_VALUE;
        const Status status = checkWritableAsOnWindows(file);
        const std::string name = platform::files::utf8Name(file);
        EXPECT_EQ(status.message(), row.heldOpen ? "cannot write " + name + row.reason
                                                 : name + row.reason);
        if (held != INVALID_HANDLE_VALUE)
            ::CloseHandle(held);
        EXPECT_EQ(test_support::readBytes(file), "MZ");
        EXPECT_EQ(test_support::listFolder(dir.path()), std::vector<std::string>{"installer.exe"});
        fs::permissions(file, fs::perms::owner_write, fs::perm_options::add);
    }
}
#endif

}  // namespace
