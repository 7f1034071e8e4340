// The installer's rules for names and its command line (installer/names.c).
#include "names.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

// Shift-JIS (code page 932): these bytes open a two-byte character whose
// second byte may be '\' (0x5C) or '|' (0x7C).
int isShiftJisLead(unsigned char byte) {
    return (byte >= 0x81 && byte <= 0x9F) || (byte >= 0xE0 && byte <= 0xFC);
}

struct NameCase {
    const char* what;
    std::string name;
    NameRule rule;
    NameResult result;
    std::string installed;
    LeadBytePredicate isLead = nullptr;
};

TEST(InstalledName, FollowsTheRulesForExtraFilesAndThePlugin) {
    const std::vector<NameCase> cases = {
        {"a relative name keeps its sub-folders", "data\\notes.txt", kKeepFolders, kNameOk,
         "data\\notes.txt"},
        {"'/' separates as '\\' does", "data/sub/notes.txt", kKeepFolders, kNameOk,
         "data\\sub\\notes.txt"},
        {"'.' components drop out", ".\\tools\\.\\x.exe", kKeepFolders, kNameOk, "tools\\x.exe"},
        {"doubled separators are one", "data\\\\notes.txt", kKeepFolders, kNameOk,
         "data\\notes.txt"},
        {"a drive letter keeps the last component", "C:\\Windows\\abs.txt", kKeepFolders,
         kNameOk, "abs.txt"},
        {"a drive-relative name is absolute too", "d:abs.txt", kKeepFolders, kNameOk, "abs.txt"},
        {"a leading '\\' keeps the last component", "\\lead\\x.txt", kKeepFolders, kNameOk,
         "x.txt"},
        {"a network name keeps the last component", "\\\\server\\share\\x.txt", kKeepFolders,
         kNameOk, "x.txt"},
        {"'..' leads out of the folder", "..\\escape.txt", kKeepFolders, kNameParent, ""},
        {"'..' deeper down still leads out", "data\\..\\..\\x.txt", kKeepFolders, kNameParent, ""},
        {"'..' in an absolute name is refused too", "C:\\a\\..\\b.txt", kKeepFolders,
         kNameParent, ""},
        {"'..' as the file itself", "data\\..", kKeepFolders, kNameParent, ""},
        {"'.. ' would become '..' in Windows' hands", ".. \\x.txt", kKeepFolders, kNameInvalid,
         ""},
        {"'...' likewise (trailing dots drop)", "...\\x.txt", kKeepFolders, kNameInvalid, ""},
        {"a trailing separator names a folder", "data\\", kKeepFolders, kNameNoFile, ""},
        {"a trailing '.' names a folder", "data\\.", kKeepFolders, kNameNoFile, ""},
        {"a drive alone names no file", "C:", kKeepFolders, kNameNoFile, ""},
        {"an empty name", "", kKeepFolders, kNameEmpty, ""},
        {"a colon past the drive would open a stream", "notes.txt:hidden", kKeepFolders,
         kNameInvalid, ""},
        {"wildcards are no file names", "data\\*.txt", kKeepFolders, kNameInvalid, ""},
        {"a control character", "a\tb.txt", kKeepFolders, kNameInvalid, ""},
        {"a trailing space", "notes.txt ", kKeepFolders, kNameInvalid, ""},
        {"a device name, with any extension", "data\\nul.txt", kKeepFolders, kNameInvalid, ""},
        {"COM1 to COM9 are devices", "com7", kKeepFolders, kNameInvalid, ""},
        {"a name that only starts like a device", "console.txt", kKeepFolders, kNameOk,
         "console.txt"},
        {"the plugin's own path does not matter", "..\\build\\plugin.dll", kLastComponent,
         kNameOk, "plugin.dll"},
        {"the plugin under a drive", "C:\\src\\plugin.dll", kLastComponent, kNameOk,
         "plugin.dll"},
        {"the plugin named '..'", "build\\..", kLastComponent, kNameParent, ""},
        {"the plugin named by a folder", "build\\", kLastComponent, kNameNoFile, ""},
        {"a two-byte character whose second byte is '\\' stays whole",
         "\x83\x5C\\\x83\x5C.txt", kKeepFolders, kNameOk, "\x83\x5C\\\x83\x5C.txt",
         isShiftJisLead},
        {"a second byte '|' is no wildcard", "\x83\x7C.txt", kKeepFolders, kNameOk,
         "\x83\x7C.txt", isShiftJisLead},
        {"a lead byte at the very end stands alone", "a\x83", kKeepFolders, kNameOk, "a\x83",
         isShiftJisLead},
    };
    for (const NameCase& c : cases) {
        SCOPED_TRACE(c.what);
        char out[kInstallerPathMax];
        EXPECT_EQ(installedName(c.name.c_str(), c.rule, c.isLead, out, sizeof out), c.result);
        if (c.result == kNameOk) {
            EXPECT_EQ(std::string(out), c.installed);
        }
    }
}

TEST(InstalledName, RefusesWhatDoesNotFitTheBuffer) {
    const std::string longName = "data\\" + std::string(300, 'x');
    char out[kInstallerPathMax];
    EXPECT_EQ(installedName(longName.c_str(), kKeepFolders, nullptr, out, sizeof out),
              kNameTooLong);
    char small[9];  // "data\x.txt" needs 11 with its NUL
    EXPECT_EQ(installedName("data\\x.txt", kKeepFolders, nullptr, small, sizeof small),
              kNameTooLong);
}

std::vector<std::string> tableLines(const std::string& table) {
    TableCursor cursor{table.data(), table.size(), 0};
    std::vector<std::string> lines;
    const char* line;
    size_t length;
    while (nextTableLine(&cursor, &line, &length)) lines.emplace_back(line, length);
    return lines;
}

TEST(LocationTable, GivesEachLineUpToTheEmptyOne) {
    using Lines = std::vector<std::string>;
    const struct {
        const char* what;
        std::string table;
        Lines lines;
    } cases[] = {
        {"two lines, as the updater writes them", {"a.txt\0data\\b.txt\0\0", 19},
         {"a.txt", "data\\b.txt"}},
        {"no extra files: one NUL", {"\0", 1}, {}},
        {"a table that lost its last NULs", {"a\0b", 3}, {"a", "b"}},
        {"the walk stops at the empty line", {"a\0\0b\0\0", 6}, {"a"}},
        {"an empty resource", "", {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(tableLines(c.table), c.lines);
    }
    TableCursor none{nullptr, 0, 0};
    const char* line;
    size_t length;
    EXPECT_EQ(nextTableLine(&none, &line, &length), 0) << "a missing table has no lines";
}

TEST(CommandLine, SkipsTheProgramName) {
    const struct {
        const char* line;
        const char* arguments;
    } cases[] = {
        {"\"C:\\Program Files\\x\\installer.exe\" /S", "/S"},
        {"installer.exe   /S /D=C:\\x", "/S /D=C:\\x"},
        {"C:\\\"odd place\"\\installer.exe /S", "/S"},
        {"installer.exe", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.line);
        EXPECT_STREQ(skipProgramName(c.line), c.arguments);
    }
}

TEST(CommandLine, ReadsSilentAndTheFolder) {
    const struct {
        const char* what;
        std::string arguments;
        int ok;
        int silent;
        const char* folder;  // nullptr: no /D=
    } cases[] = {
        {"no arguments: asks", "", 1, 0, nullptr},
        {"/S", "/S", 1, 1, nullptr},
        {"letter case does not matter", "/s /d=C:\\x", 1, 1, "C:\\x"},
        {"/D= takes the rest, spaces included", "/S /D=C:\\My Plugins\\x  ", 1, 1,
         "C:\\My Plugins\\x"},
        {"/D= comes last: what follows is the folder's", "/D=C:\\x /S", 1, 0, "C:\\x /S"},
        {"quotes around the folder go", "/S /D=\"C:\\a b\"", 1, 1, "C:\\a b"},
        {"/D= without a folder", "/S /D=", 0, 1, nullptr},
        {"an unknown option; /S after it still counts", "/X /S", 0, 1, nullptr},
        {"/S glued to more is unknown", "/Sx", 0, 0, nullptr},
        {"a folder too long for the ANSI routines", "/D=C:\\" + std::string(300, 'x'), 0, 0,
         nullptr},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        InstallerOptions options;
        char problem[200];
        EXPECT_EQ(parseArguments(c.arguments.c_str(), &options, problem, sizeof problem), c.ok);
        EXPECT_EQ(options.silent, c.silent);
        EXPECT_EQ(options.hasFolder, c.folder != nullptr ? 1 : 0);
        if (c.folder != nullptr) {
            EXPECT_STREQ(options.folder, c.folder);
        }
        EXPECT_EQ(problem[0] != 0, c.ok == 0) << problem;
    }
}

}  // namespace
