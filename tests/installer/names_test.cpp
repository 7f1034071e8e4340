// How Windows reads a file name (common/windows_names.c), and the installer's
// location table and command line (installer/names.c).
#include "names.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

// The installer folds case through Windows' CompareStringOrdinal; here the
// ASCII letters, Latin-1's and a few Cyrillic ones stand in for it.
char16_t fold(char16_t c) {
    if ((c >= u'a' && c <= u'z') || (c >= 0xE0 && c <= 0xFE && c != 0xF7)) return c - 0x20;
    if (c >= 0x430 && c <= 0x44F) return c - 0x20;
    return c;
}

int sameIgnoringCase(const NameChar* a, const NameChar* b, size_t length) {
    for (size_t i = 0; i < length; ++i)
        if (fold(a[i]) != fold(b[i])) return 0;
    return 1;
}

struct NameCase {
    const char* what;
    std::u16string name;
    NameRule rule;
    NameResult result;
    std::u16string installed;
};

TEST(InstalledName, FollowsTheRulesForExtraFilesAndThePlugin) {
    const std::vector<NameCase> cases = {
        {"a relative name keeps its sub-folders", u"data\\notes.txt", kKeepFolders, kNameOk,
         u"data\\notes.txt"},
        {"'/' separates as '\\' does", u"data/sub/notes.txt", kKeepFolders, kNameOk,
         u"data\\sub\\notes.txt"},
        {"'.' components drop out", u".\\tools\\.\\x.exe", kKeepFolders, kNameOk, u"tools\\x.exe"},
        {"doubled separators are one", u"data\\\\notes.txt", kKeepFolders, kNameOk,
         u"data\\notes.txt"},
        {"a drive letter keeps the last component", u"C:\\Windows\\abs.txt", kKeepFolders,
         kNameOk, u"abs.txt"},
        {"a drive-relative name is absolute too", u"d:abs.txt", kKeepFolders, kNameOk, u"abs.txt"},
        {"a leading '\\' keeps the last component", u"\\lead\\x.txt", kKeepFolders, kNameOk,
         u"x.txt"},
        {"a network name keeps the last component", u"\\\\server\\share\\x.txt", kKeepFolders,
         kNameOk, u"x.txt"},
        {"'..' leads out of the folder", u"..\\escape.txt", kKeepFolders, kNameParent, u""},
        {"'..' deeper down still leads out", u"data\\..\\..\\x.txt", kKeepFolders, kNameParent,
         u""},
        {"'..' in an absolute name is refused too", u"C:\\a\\..\\b.txt", kKeepFolders,
         kNameParent, u""},
        {"'..' as the file itself", u"data\\..", kKeepFolders, kNameParent, u""},
        {"'.. ' would become '..' in Windows' hands", u".. \\x.txt", kKeepFolders, kNameInvalid,
         u""},
        {"'...' would vanish (trailing dots drop)", u"...\\x.txt", kKeepFolders, kNameInvalid,
         u""},
        {"a trailing dot drops, as Windows drops it", u"readme.txt.", kKeepFolders, kNameOk,
         u"readme.txt"},
        {"trailing dots and blanks drop in every component", u"data. \\notes.txt . ",
         kKeepFolders, kNameOk, u"data\\notes.txt"},
        {"a trailing dot on the plugin's name", u"bin\\plugin.dll.", kLastComponent, kNameOk,
         u"plugin.dll"},
        {"a trailing separator names a folder", u"data\\", kKeepFolders, kNameNoFile, u""},
        {"a trailing '.' names a folder", u"data\\.", kKeepFolders, kNameNoFile, u""},
        {"a drive alone names no file", u"C:", kKeepFolders, kNameNoFile, u""},
        {"an empty name", u"", kKeepFolders, kNameEmpty, u""},
        {"a colon past the drive would open a stream", u"notes.txt:hidden", kKeepFolders,
         kNameInvalid, u""},
        {"wildcards are no file names", u"data\\*.txt", kKeepFolders, kNameInvalid, u""},
        {"a control character", u"a\tb.txt", kKeepFolders, kNameInvalid, u""},
        {"a device name, with any extension", u"data\\nul.txt", kKeepFolders, kNameInvalid, u""},
        {"a device name with a trailing dot", u"Aux.", kKeepFolders, kNameInvalid, u""},
        {"COM1 to COM9 are devices", u"com7", kKeepFolders, kNameInvalid, u""},
        {"COM0 and LPT0 are devices too", u"COM0.log", kKeepFolders, kNameInvalid, u""},
        {"LPT0", u"lpt0", kKeepFolders, kNameInvalid, u""},
        {"COM with a superscript digit", u"COM\u00B9.txt", kKeepFolders, kNameInvalid, u""},
        {"LPT with a superscript three", u"lpt\u00B3", kKeepFolders, kNameInvalid, u""},
        {"console input", u"conin$", kKeepFolders, kNameInvalid, u""},
        {"the console", u"CON", kKeepFolders, kNameInvalid, u""},
        {"the printer", u"prn.log", kKeepFolders, kNameInvalid, u""},
        {"auxiliary", u"aux", kKeepFolders, kNameInvalid, u""},
        {"the null device", u"NUL", kKeepFolders, kNameInvalid, u""},
        {"console output", u"CONOUT$.txt", kKeepFolders, kNameInvalid, u""},
        {"a blank before the extension goes as Windows trims it", u"nul .txt", kKeepFolders,
         kNameInvalid, u""},
        {"a name that only starts like a device", u"console.txt", kKeepFolders, kNameOk,
         u"console.txt"},
        {"COM10 is no device", u"COM10", kKeepFolders, kNameOk, u"COM10"},
        {"the plugin's own path does not matter", u"..\\build\\plugin.dll", kLastComponent,
         kNameOk, u"plugin.dll"},
        {"the plugin under a drive", u"C:\\src\\plugin.dll", kLastComponent, kNameOk,
         u"plugin.dll"},
        {"the plugin named '..'", u"build\\..", kLastComponent, kNameParent, u""},
        {"the plugin named by a folder", u"build\\", kLastComponent, kNameNoFile, u""},
        {"a character whose Shift-JIS form ends in the byte of '\\' stays whole",
         u"\u8868\\\u80FD.txt", kKeepFolders, kNameOk, u"\u8868\\\u80FD.txt"},
        {"a part of 255 characters", u"d\\" + std::u16string(255, u'x'), kKeepFolders, kNameOk,
         u"d\\" + std::u16string(255, u'x')},
        {"a part of 256 characters", u"d\\" + std::u16string(256, u'x'), kKeepFolders,
         kNameTooLong, u""},
    };
    for (const NameCase& c : cases) {
        SCOPED_TRACE(c.what);
        std::vector<NameChar> out(c.name.size() + 1);
        EXPECT_EQ(installedName(c.name.c_str(), c.rule, sameIgnoringCase, out.data()), c.result);
        if (c.result == kNameOk) {
            EXPECT_EQ(std::u16string(out.data()), c.installed);
        }
    }
}

TEST(SameNames, FindsTwoNamesThatAreOneFile) {
    const struct {
        const char* what;
        std::vector<std::u16string> names;
        int found;
        size_t first, second;
    } cases[] = {
        {"letter case", {u"data\\a.txt", u"b.txt", u"DATA\\A.TXT"}, 1, 0, 2},
        {"letter case beyond ASCII", {u"\u00E9t\u00E9.txt", u"\u00C9T\u00C9.TXT"}, 1, 0, 1},
        {"different names", {u"a.txt", u"a.txt2", u"b.txt"}, 0, 0, 0},
        {"the first pair found", {u"x", u"y", u"Y", u"X"}, 1, 1, 2},
        {"trailing dots and blanks", {u"readme.txt", u"README.TXT. "}, 1, 0, 1},
        {"a leading blank is kept", {u"readme.txt", u" readme.txt"}, 0, 0, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        std::vector<const NameChar*> names;
        for (const auto& name : c.names) names.push_back(name.c_str());
        size_t first = 0, second = 0;
        EXPECT_EQ(findSameNames(names.data(), names.size(), sameIgnoringCase, &first, &second),
                  c.found);
        if (c.found) {
            EXPECT_EQ(first, c.first);
            EXPECT_EQ(second, c.second);
        }
    }
}

std::vector<std::string> tableLines(const std::string& table) {
    TableCursor cursor{table.data(), table.size(), 0};
    std::vector<std::string> lines;
    const char* line;
    size_t length;
    for (TableStep step; (step = nextTableLine(&cursor, &line, &length)) != kTableEnd;)
        lines.push_back(step == kTableLine ? std::string(line, length) : "<empty>");
    return lines;
}

TEST(LocationTable, IsReadToItsEnd) {
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
        {"an empty line with names after it is reported, and the names kept",
         {"a\0\0b\0\0", 6}, {"a", "<empty>", "b"}},
        {"an empty line first", {"\0a\0\0", 4}, {"<empty>", "a"}},
        {"NULs to the end close the table", {"a\0\0\0\0", 5}, {"a"}},
        {"an empty resource", "", {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(tableLines(c.table), c.lines);
    }
    TableCursor none{nullptr, 0, 0};
    const char* line;
    size_t length;
    EXPECT_EQ(nextTableLine(&none, &line, &length), kTableEnd) << "a missing table has no lines";
}

TEST(CommandLine, SkipsTheProgramName) {
    const struct {
        std::u16string line;
        std::u16string arguments;
    } cases[] = {
        {u"\"C:\\Program Files\\x\\installer.exe\" /S", u"/S"},
        {u"installer.exe   /S /D=C:\\x", u"/S /D=C:\\x"},
        {u"C:\\\"odd place\"\\installer.exe /S", u"/S"},
        {u"installer.exe", u""},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(std::u16string(skipProgramName(c.line.c_str())), c.arguments);
    }
}

// /? and /LOG= among the others: the log file is one word or a quoted name,
// and /D= after it still takes the rest of the line.
TEST(CommandLine, ReadsHelpAndTheLogFile) {
    const struct {
        std::u16string arguments;
        int help;
        std::u16string log;
        std::u16string folder;
    } cases[] = {
        {u"/?", 1, u"", u""},
        {u"/S /?", 1, u"", u""},
        {u"/LOG=C:\\run.log", 0, u"C:\\run.log", u""},
        {u"/S /log=C:\\run.log /D=C:\\a b", 0, u"C:\\run.log", u"C:\\a b"},
        {u"/LOG=\"C:\\my logs\\run.log\" /S", 0, u"C:\\my logs\\run.log", u""},
        {u"\"/LOG=C:\\my logs\\run.log\" /D=C:\\x", 0, u"C:\\my logs\\run.log", u"C:\\x"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.arguments.begin(), c.arguments.end()));
        InstallerOptions options;
        ASSERT_EQ(parseArguments(c.arguments.c_str(), sameIgnoringCase, &options), kArgumentsOk);
        EXPECT_EQ(options.help, c.help);
        EXPECT_EQ(std::u16string(options.log != nullptr ? options.log : u"", options.logLength),
                  c.log);
        EXPECT_EQ(std::u16string(options.folder != nullptr ? options.folder : u"",
                                 options.folderLength),
                  c.folder);
    }
}

TEST(CommandLine, ReadsSilentAndTheFolder) {
    const struct {
        const char* what;
        std::u16string arguments;
        ArgumentsResult result;
        int silent;
        const char16_t* folder;  // nullptr: no /D=
        std::u16string unknown = u"";
    } cases[] = {
        {"no arguments: asks", u"", kArgumentsOk, 0, nullptr},
        {"/S", u"/S", kArgumentsOk, 1, nullptr},
        {"letter case does not matter", u"/s /d=C:\\x", kArgumentsOk, 1, u"C:\\x"},
        {"/D= takes the rest, spaces included", u"/S /D=C:\\My Plugins\\x  ", kArgumentsOk, 1,
         u"C:\\My Plugins\\x"},
        {"/D= comes last: what follows is the folder's", u"/D=C:\\x /S", kArgumentsOk, 0,
         u"C:\\x /S"},
        {"quotes around the folder go", u"/S /D=\"C:\\a b\"", kArgumentsOk, 1, u"C:\\a b"},
        {"quotes around the whole option go, as argument quoting writes it",
         u"/S \"/D=C:\\dest q\"", kArgumentsOk, 1, u"C:\\dest q"},
        {"blanks after /D= go, as blanks at the end do", u"/S /D= Z:\\x ", kArgumentsOk, 1,
         u"Z:\\x"},
        {"a folder of any length", u"/D=C:\\" + std::u16string(300, u'x'), kArgumentsOk, 0,
         nullptr},
        {"a folder outside every code page", u"/S /D=C:\\\u041F\u043B\u0430\u0433\u0438\u043D",
         kArgumentsOk, 1, u"C:\\\u041F\u043B\u0430\u0433\u0438\u043D"},
        {"/D= without a folder", u"/S /D=", kArgumentsNoFolder, 1, nullptr},
        {"/D= with blanks only", u"/S /D=   ", kArgumentsNoFolder, 1, nullptr},
        {"an unknown option; /S after it still counts", u"/X /S", kArgumentsUnknownOption, 1,
         nullptr, u"/X"},
        {"/S glued to more is unknown", u"/Sx", kArgumentsUnknownOption, 0, nullptr, u"/Sx"},
        {"/? glued to more is unknown", u"/?x", kArgumentsUnknownOption, 0, nullptr, u"/?x"},
        {"/LOG= without a file", u"/S /LOG= /D=C:\\x", kArgumentsNoLogFile, 1, nullptr},
        {"/LOG= with a quoted empty name", u"/LOG=\"\"", kArgumentsNoLogFile, 0, nullptr},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        InstallerOptions options;
        ASSERT_EQ(parseArguments(c.arguments.c_str(), sameIgnoringCase, &options), c.result);
        EXPECT_EQ(options.silent, c.silent);
        if (c.folder != nullptr) {
            EXPECT_EQ(std::u16string(options.folder, options.folderLength), c.folder);
        }
        EXPECT_EQ(std::u16string(options.unknown != nullptr ? options.unknown : u"",
                                 options.unknownLength),
                  c.unknown);
    }
}

}  // namespace
