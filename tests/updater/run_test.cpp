// End-to-end runs of the updater in a temporary folder, against a real
// MinGW-built installer.exe: console text against golden files, resources
// through our listing and, in one test, through pefile as well.
#include "updater/run.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <map>
#include <optional>
#include <sstream>

#include "common/installer_manifest.h"
#include "common/installer_resources.h"
#include "editor/ini/install_record.h"
#include "platform/files/files.h"
#include "platform/resource/resource_update.h"
#include "platform/resource/version_info.h"
#include "platform/text/codepage.h"
#include "tests/support/child_process.h"
#include "tests/support/golden.h"
#include "tests/support/system_note.h"
#include "tests/support/temp_dir.h"
#include "tests/updater/icon_builder.h"
#include "updater/icon.h"

namespace {
namespace fs = std::filesystem;
namespace res = platform::resource;
using test_support::readBytes;
using test_support::TempDir;
using test_support::utf16le;
using test_support::writeBytes;
using namespace std::string_literals;

constexpr std::uint16_t kRcData = res::kTypeRcData;
constexpr std::uint16_t kIcon = res::kTypeIcon;
constexpr std::uint16_t kGroup = res::kTypeGroupIcon;

// "type/id: bytes" with non-printable bytes escaped, so that a mismatch
// shows which resource differs and how.
std::string describe(std::uint16_t type, std::uint16_t id, std::string_view data) {
    std::string out = std::to_string(type) + "/" + std::to_string(id) + ": ";
    if (data.size() > 200)
        return out + std::to_string(data.size()) + " bytes";
    for (unsigned char c : data) {
        if (c >= 0x20 && c < 0x7F && c != '\\') {
            out += static_cast<char>(c);
        } else {
            char hex[5];
            std::snprintf(hex, sizeof hex, "\\x%02X", c);
            out += hex;
        }
    }
    return out;
}

struct Resource {
    std::uint16_t type;
    std::uint16_t id;
    std::string data;
};

std::vector<std::string> describeAll(std::vector<Resource> resources) {
    std::sort(resources.begin(), resources.end(), [](const Resource& a, const Resource& b) {
        return std::pair(a.type, a.id) < std::pair(b.type, b.id);
    });
    std::vector<std::string> out;
    for (const auto& r : resources) out.push_back(describe(r.type, r.id, r.data));
    return out;
}

std::vector<Resource> readResources(std::span<const std::byte> bytes, std::string* uninstaller);

// The uninstaller the installer carries must be the installer without its
// payload (the plugin, 106, and the extra files, past 108) and without
// itself, marked as the uninstaller and otherwise the same.
void expectUninstallerOf(const std::vector<Resource>& installer, const std::string& carried) {
    std::string inner;
    auto resources = readResources(std::as_bytes(std::span(carried.data(), carried.size())), &inner);
    EXPECT_TRUE(inner.empty()) << "an uninstaller that carries an uninstaller";
    std::vector<Resource> expected;
    for (const Resource& r : installer)
        if (r.type != kRcData || (r.id != install_info::kIdPlugin && r.id <= 108))
            expected.push_back(r);
    EXPECT_EQ(describeAll(resources), describeAll(expected));
}

// The resources of an image, through our own reader; every one must be
// language-neutral with numeric type and ID, but for the uninstaller the
// installer carries (its bytes in *uninstaller) and the uninstaller's mark.
std::vector<Resource> readResources(std::span<const std::byte> bytes, std::string* uninstaller) {
    auto listed = res::listResources(bytes);
    EXPECT_TRUE(listed) << listed.message();
    std::vector<Resource> out;
    if (!listed)
        return out;
    for (const auto& r : *listed) {
        EXPECT_EQ(r.language, res::kLanguageNeutral);
        auto data = res::resourceData(bytes, r);
        EXPECT_TRUE(data) << data.message();
        const auto* type = std::get_if<std::uint16_t>(&r.type);
        const auto* id = std::get_if<std::uint16_t>(&r.name);
        const auto* name = std::get_if<std::u16string>(&r.name);
        if (data && type && *type == kRcData && name && *name == u"UNINSTALLER") {
            uninstaller->assign(reinterpret_cast<const char*>(data->data()), data->size());
            continue;
        }
        if (data && type && *type == kRcData && name && *name == u"TAMSEL_UNINSTALLER") {
            EXPECT_EQ(data->size(), 1u);
            continue;
        }
        // Every update writes one; its content has a test of its own.
        if (data && type && *type == res::kTypeVersion) {
            EXPECT_TRUE(res::parseVersionInfo(*data)) << "a damaged version resource";
            continue;
        }
        EXPECT_TRUE(type && id) << "a resource with a string type or name";
        if (!type || !id || !data)
            continue;
        out.push_back(
            {*type, *id, std::string(reinterpret_cast<const char*>(data->data()), data->size())});
    }
    return out;
}

// An updated installer's resources; the uninstaller it carries is checked
// against them, and its bytes are put in *uninstaller where asked for.
std::vector<Resource> readResources(const fs::path& image, std::string* uninstaller = nullptr) {
    std::string file = readBytes(image);
    std::string carried;
    auto resources = readResources(std::as_bytes(std::span(file.data(), file.size())), &carried);
    EXPECT_FALSE(carried.empty()) << "no uninstaller in " << image;
    expectUninstallerOf(resources, carried);
    if (uninstaller)
        *uninstaller = std::move(carried);
    return resources;
}

constexpr std::uint16_t kManifest = install_info::kTypeManifest;
const std::string kManifestText(install_info::kInstallerManifest);

// The seven texts in their resource IDs, each with its NUL, and the
// program's manifest, which every run writes.
std::vector<Resource> texts(std::string name, std::string filename, std::string table,
                            std::string runAfterInstall, std::string vbName, std::string warning,
                            std::string title) {
    return {{kRcData, 101, name + '\0'},   {kRcData, 102, filename + '\0'},
            {kRcData, 103, table},         {kRcData, 104, runAfterInstall + '\0'},
            {kRcData, 105, vbName + '\0'}, {kRcData, 107, warning + '\0'},
            {kRcData, 108, title + '\0'},  {kManifest, install_info::kIdManifest, kManifestText}};
}

// The icon resources AddIcon writes for `file` at `groupId`.
std::vector<Resource> iconResources(const std::string& file, std::uint16_t groupId) {
    auto bytes = std::as_bytes(std::span(file.data(), file.size()));
    auto icon = updater::parseIcon(bytes);
    EXPECT_TRUE(icon);
    std::vector<Resource> out;
    if (!icon)
        return out;
    for (std::size_t i = 0; i < icon->images.size(); ++i) {
        const auto& data = icon->images[i].data;
        out.push_back({kIcon, static_cast<std::uint16_t>(groupId + 1 + i),
                       std::string(reinterpret_cast<const char*>(data.data()), data.size())});
    }
    auto group = updater::groupDirectory(*icon, groupId);
    out.push_back(
        {kGroup, groupId, std::string(reinterpret_cast<const char*>(group.data()), group.size())});
    return out;
}

std::vector<Resource> operator+(std::vector<Resource> a, const std::vector<Resource>& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

void expectGolden(const std::string& name, const std::string& actual) {
    EXPECT_TRUE(test_support::matchesGolden(actual, fs::path(TAMSEL_TEST_DATA_DIR) / name));
}

// Files below `folder`, in all its sub-folders.
std::size_t fileCount(const fs::path& folder) {
    std::size_t count = 0;
    for (const auto& entry : fs::recursive_directory_iterator(folder))
        count += entry.is_regular_file() ? 1 : 0;
    return count;
}

std::string crlf(std::initializer_list<std::string_view> lines) {
    std::string out;
    for (auto line : lines) (out += line) += "\r\n";
    return out;
}

const std::string kIconFile = updater_test::makeIcon({40, 12});

// What the run says of a plugin file too short to be a program, and the
// line that counts the warnings before "Installer updated!".
const std::string kTooShortForPe = " is not a PE DLL (not a PE file: too short for a DOS header)\n";
const std::string kOneWarning = "1 warning above: the installer may not work as intended.\n";
const std::string kTwoWarnings = "2 warnings above: the installer may not work as intended.\n";
const std::string kThreeWarnings = "3 warnings above: the installer may not work as intended.\n";

#ifndef _WIN32
bool sendAll(int fd, const std::string& text) {
    return ::write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size());
}

std::string receiveAll(int fd) {
    std::string text;
    char chunk[4096];
    for (ssize_t got; (got = ::read(fd, chunk, sizeof chunk)) > 0;) text.append(chunk, got);
    ::close(fd);
    return text;
}
#endif

struct Outcome {
    int exitCode;
    std::string console;
    std::string errors;  // standard error
};

class UpdaterRun : public ::testing::Test {
  protected:
    void SetUp() override {
        if (std::string_view(TAMSEL_TEST_INSTALLER).empty()) {
            GTEST_SKIP() << "no MinGW i686 compiler: no installer.exe to update";
        }
        fs::copy_file(TAMSEL_TEST_INSTALLER, dir / "installer.exe");
    }
    Outcome run(std::string_view key = "\n",
                updater::EarlyEnd earlyEnd = updater::EarlyEnd::AtOnce) {
        std::ostringstream out;
        std::ostringstream err;
        std::istringstream in{std::string(key)};
        int code = updater::run(dir.path(), out, err, in, earlyEnd);
        return {code, out.str(), err.str()};
    }
    // `name` in UTF-8, as the file system's names are taken everywhere.
    void write(const std::string& name, const std::string& bytes) {
        const fs::path path = dir.path() / platform::files::pathFromUtf8(name);
        fs::create_directories(path.parent_path());
        writeBytes(path, bytes);
    }
    // One RT_RCDATA resource's bytes, or a marker when it is missing.
    std::string rcData(std::uint16_t id) {
        for (const auto& r : readResources(dir / "installer.exe")) {
            if (r.type == kRcData && r.id == id)
                return r.data;
        }
        return "<missing>";
    }
    std::vector<std::string> resources() {
        return describeAll(readResources(dir / "installer.exe"));
    }
    // The run in a child process under `limits`: as nobody, for whom the
    // permission bits count, or with a file-size limit.
    Outcome runInChild(test_support::ChildLimits limits) {
#ifdef _WIN32
        static_cast<void>(limits);
        return {-1, "", ""};
#else
        int outFds[2];
        int errFds[2];
        if (::pipe(outFds) != 0 || ::pipe(errFds) != 0) {
            ADD_FAILURE() << "no pipe";
            return {-1, "", ""};
        }
        const int code = test_support::runInChild(
            [&] {
                std::ostringstream out;
                std::ostringstream err;
                std::istringstream in("\n");
                const int result = updater::run(dir.path(), out, err, in);
                return sendAll(outFds[1], out.str()) && sendAll(errFds[1], err.str()) ? result : 99;
            },
            limits);
        ::close(outFds[1]);
        ::close(errFds[1]);
        return {code, receiveAll(outFds[0]), receiveAll(errFds[0])};
#endif
    }

    TempDir dir;
};

// On Windows the file system finds names itself and keeps no two names that
// differ only in letter case; a row that needs two such names is for Linux.
#ifdef _WIN32
constexpr bool kFileSystemFindsNames = true;
#else
constexpr bool kFileSystemFindsNames = false;
#endif

struct Scenario {
    const char* name;  // what the row guards against
    std::optional<std::string> ini;
    std::map<std::string, std::string> files;
    std::string key;
    const char* golden;
    std::vector<Resource> resources;
    std::string errors = "";  // standard error: a warning for each skipped or chosen file;
                              // "<folder>" stands for the working folder
    int exitCode = updater::kExitOk;  // on a failure the installer must be left as it was
};

const std::string kTwoLineIni =
    crlf({"[Texts]", "Name=Demo", "VBName=Demo.Connect", "Title=Demo installer",
          "Warning=Close the host first", "[Files]", "Filename=plugin.dll", "Icon=app.ico",
          "[Misc]", "RunAfterInstall=a.txt", "[Extrafiles]", "a.txt", "b.txt"});

const Scenario kScenarios[] = {
    {"the two-line example: every step in order, files 109 and 110, icon after them",
     kTwoLineIni,
     {{"plugin.dll", "MZ plugin"}, {"a.txt", "first"}, {"b.txt", "second"}, {"app.ico", kIconFile}},
     "\n",
     "two_lines.txt",
     texts("Demo", "plugin.dll", "a.txt\0b.txt\0\0"s, "a.txt", "Demo.Connect",
           "Close the host first", "Demo installer") +
         std::vector<Resource>{
             {kRcData, 106, "MZ plugin"}, {kRcData, 109, "first"}, {kRcData, 110, "second"}} +
         iconResources(kIconFile, 111),
     "warning: \"plugin.dll\"" + kTooShortForPe + kOneWarning},
    {"no install-info file: defaults, a one-byte table, no plugin, no icon; end of input "
     "still gives Bye",
     std::nullopt,
     {},
     "",
     "no_extra_files.txt",
     texts("Nameles plugin", "", "\0"s, "", "", "", "Plugin installer"),
     "warning: no install_info.ini in <folder>: every value is its default\n" + kOneWarning},
    {"an install-info file that cannot be read is no silent default: said, exit 1, installer "
     "untouched",
     std::nullopt,
     {{"install_info.ini/inside", ""}},
     "\n",
     "unreadable_install_info.txt",
     {},
     "",
     updater::kExitFailed},
    {"three lines, the second missing: it keeps its ID and table line, the icon group is 112",
     crlf({"[Files]", "Icon=app.ico", "[ExtraFiles]", "one.txt", "two.txt", "three.txt"}),
     {{"one.txt", "1"}, {"three.txt", "3"}, {"app.ico", kIconFile}},
     "\n",
     "three_lines.txt",
     texts("Nameles plugin", "", "one.txt\0two.txt\0three.txt\0\0"s, "", "", "",
           "Plugin installer") +
         std::vector<Resource>{{kRcData, 109, "1"}, {kRcData, 111, "3"}} +
         iconResources(kIconFile, 112),
     "warning: couldn't read \"two.txt\": " + test_support::noSuchFile() + "\n" + kOneWarning},
    {"a line with '=' is a whole file name, not a key",
     crlf({"[extrafiles]", "key=value.txt"}),
     {{"key=value.txt", "kv"}},
     "\n",
     "equals_line.txt",
     texts("Nameles plugin", "", "key=value.txt\0\0"s, "", "", "", "Plugin installer") +
         std::vector<Resource>{{kRcData, 109, "kv"}}},
    {"a Name present and empty stays empty; an empty plugin file gives an empty 106",
     crlf({"[Texts]", "Name=", "Warning=", "[Files]", "Filename=empty.dll"}),
     {{"empty.dll", ""}},
     "\n",
     "no_extra_files.txt",
     texts("", "empty.dll", "\0"s, "", "", "", "Plugin installer") +
         std::vector<Resource>{{kRcData, 106, ""}},
     "warning: \"empty.dll\"" + kTooShortForPe + kOneWarning},
    {"a value longer than 1022 characters reaches the installer cut to 1022",
     crlf({"[Texts]", "Title=" + std::string(1500, 't')}),
     {},
     "\n",
     "no_extra_files.txt",
     texts("Nameles plugin", "", "\0"s, "", "", "", std::string(1022, 't'))},
    {"a NUL key ends the run without Bye",
     crlf({"[Texts]", "Name=Quiet"}),
     {},
     "\0"s,
     "nul_key.txt",
     texts("Quiet", "", "\0"s, "", "", "", "Plugin installer")},
    {"Windows-style names are found through '/', and kept as written",
     crlf({"[Files]", "Filename=bin\\plugin.dll", "Icon=art\\app.ico", "[Extrafiles]",
           "data\\notes.txt"}),
     {{"bin/plugin.dll", "dll"}, {"data/notes.txt", "notes"}, {"art/app.ico", kIconFile}},
     "\n",
     "backslash_name.txt",
     texts("Nameles plugin", "bin\\plugin.dll", "data\\notes.txt\0\0"s, "", "", "",
           "Plugin installer") +
         std::vector<Resource>{{kRcData, 106, "dll"}, {kRcData, 109, "notes"}} +
         iconResources(kIconFile, 110),
     "warning: \"bin\\plugin.dll\"" + kTooShortForPe + kOneWarning},
    {"a damaged icon gives no icon resources and the run goes on",
     crlf({"[Files]", "Icon=bad.ico"}),
     {{"bad.ico", kIconFile.substr(0, kIconFile.size() - 1)}},
     "\n",
     "no_extra_files.txt",
     texts("Nameles plugin", "", "\0"s, "", "", "", "Plugin installer"),
     "warning: couldn't read \"bad.ico\": not a usable icon file\n" + kOneWarning},
    {"names as Windows users write them: letter case, a trailing dot, '\\' with case; "
     "the resources keep them as written",
     crlf({"[Files]", "Filename=PLUGIN.DLL", "Icon=Demo.ico", "[Extrafiles]", "README.TXT",
           "readme.txt.", "data\\README.TXT"}),
     {{"plugin.dll", "dll"},
      {"demo.ico", kIconFile},
      {"readme.txt", "top"},
      {"data/readme.txt", "nested"}},
     "\n",
     "windows_names.txt",
     texts("Nameles plugin", "PLUGIN.DLL", "README.TXT\0readme.txt.\0data\\README.TXT\0\0"s, "", "",
           "", "Plugin installer") +
         std::vector<Resource>{{kRcData, 106, "dll"},
                               {kRcData, 109, "top"},
                               {kRcData, 110, "top"},
                               {kRcData, 111, "nested"}} +
         iconResources(kIconFile, 112),
     "warning: \"PLUGIN.DLL\"" + kTooShortForPe +
         "warning: \"README.TXT\" and \"readme.txt.\" are one file to Windows (\"README.TXT\"); "
         "the installer will refuse to install\n" +
         kTwoWarnings},
    {"an exact name wins over one in other case; of several in other case the first in byte "
     "order, said on standard error",
     crlf({"[Files]", "Filename=Plugin.dll", "[Extrafiles]", "a.txt", "b.txt"}),
     {{"Plugin.dll", "exact"},
      {"plugin.dll", "lower"},
      {"a.TXT", "a lower"},
      {"A.txt", "a upper"},
      {"b.txt", "b"}},
     "\n",
     "two_lines.txt",
     texts("Nameles plugin", "Plugin.dll", "a.txt\0b.txt\0\0"s, "", "", "", "Plugin installer") +
         std::vector<Resource>{
             {kRcData, 106, "exact"}, {kRcData, 109, "a upper"}, {kRcData, 110, "b"}},
     "warning: \"Plugin.dll\"" + kTooShortForPe +
         "warning: \"a.txt\" matches several names that differ only in letter case (\"A.txt\", "
         "\"a.TXT\"); using \"A.txt\"\n" +
         kTwoWarnings},
    {"an extra file named like the plugin: the installer would refuse, said on standard error",
     crlf({"[Files]", "Filename=bin\\A.TXT", "[Extrafiles]", "a.txt", "b.txt"}),
     {{"bin/A.TXT", "p"}, {"a.txt", "a"}, {"b.txt", "b"}},
     "\n",
     "two_lines.txt",
     texts("Nameles plugin", "bin\\A.TXT", "a.txt\0b.txt\0\0"s, "", "", "", "Plugin installer") +
         std::vector<Resource>{{kRcData, 106, "p"}, {kRcData, 109, "a"}, {kRcData, 110, "b"}},
     "warning: \"bin\\A.TXT\"" + kTooShortForPe +
         "warning: \"bin\\A.TXT\" and \"a.txt\" are one file to Windows (\"A.TXT\"); the "
         "installer will refuse to install\n" +
         kTwoWarnings},
    {"skipped inputs are said on standard error, stdout as before: a missing plugin, a missing "
     "extra file",
     crlf({"[Files]", "Filename=plugin.dll", "[Extrafiles]", "a.txt", "b.txt"}),
     {{"b.txt", "b"}},
     "\n",
     "two_lines.txt",
     texts("Nameles plugin", "plugin.dll", "a.txt\0b.txt\0\0"s, "", "", "", "Plugin installer") +
         std::vector<Resource>{{kRcData, 110, "b"}},
     "warning: couldn't read \"plugin.dll\": " + test_support::noSuchFile() +
         "; the installer will refuse to install\nwarning: couldn't read \"a.txt\": " +
         test_support::noSuchFile() + "\n" + kTwoWarnings},
    {"folders named as files are skipped and said: the plugin, an extra file, the icon",
     crlf({"[Files]", "Filename=plugin.dll", "Icon=app.ico", "[Extrafiles]", "a.txt", "b.txt"}),
     {{"plugin.dll/inside", ""}, {"a.txt/inside", ""}, {"app.ico/inside", ""}, {"b.txt", "b"}},
     "\n",
     "two_lines.txt",
     texts("Nameles plugin", "plugin.dll", "a.txt\0b.txt\0\0"s, "", "", "", "Plugin installer") +
         std::vector<Resource>{{kRcData, 110, "b"}},
     "warning: couldn't read \"plugin.dll\": Is a directory; the installer will refuse to "
     "install\n"
     "warning: couldn't read \"a.txt\": Is a directory\n"
     "warning: couldn't read \"app.ico\": Is a directory\n" +
         kThreeWarnings},
};

// With TAMSEL_KEEP_SCENARIOS set, each scenario's folder as the run finds it
// is copied to <that folder>/NN, with its key in NN.key and its name in
// NN.name, so that scripts/windows.sh can run updater.exe on the same
// inputs. A row with names that differ only in letter case is marked
// NN.linux-only: a Windows folder holds no two such names.
void keepScenario(const fs::path& keep, std::size_t index, const Scenario& s, const fs::path& folder) {
    char number[8];
    std::snprintf(number, sizeof number, "%02zu", index);
    fs::create_directories(keep);
    fs::copy(folder, keep / number, fs::copy_options::recursive);
    writeBytes(keep / (std::string(number) + ".key"), s.key);
    writeBytes(keep / (std::string(number) + ".name"), s.name);
    for (auto a = s.files.begin(); a != s.files.end(); ++a) {
        for (auto b = std::next(a); b != s.files.end(); ++b) {
            if (platform::text::sameNameIgnoringCase(a->first, b->first))
                writeBytes(keep / (std::string(number) + ".linux-only"), "");
        }
    }
}

TEST_F(UpdaterRun, WritesExactlyTheResourcesOfTheInstallInfo) {
    for (const auto& s : kScenarios) {
        SCOPED_TRACE(s.name);
        // Each row starts from an empty folder: a file an earlier row left
        // would be found by the next one's look-up.
        for (const auto& entry : fs::directory_iterator(dir.path())) fs::remove_all(entry.path());
        fs::copy_file(TAMSEL_TEST_INSTALLER, dir / "installer.exe");
        if (s.ini)
            write("install_info.ini", *s.ini);
        for (const auto& [name, bytes] : s.files) write(name, bytes);
        if (kFileSystemFindsNames && fileCount(dir.path()) < s.files.size() + 1 + (s.ini ? 1 : 0))
            continue;  // names that differ only in letter case: one file on Windows
        if (const char* keep = std::getenv("TAMSEL_KEEP_SCENARIOS"))
            keepScenario(keep, static_cast<std::size_t>(&s - kScenarios), s, dir.path());
        Outcome outcome = run(s.key);
        EXPECT_EQ(outcome.exitCode, s.exitCode);
        expectGolden(s.golden, outcome.console);
        std::string errors = s.errors;
        if (const auto at = errors.find("<folder>"); at != std::string::npos)
            errors.replace(at, 8, fs::weakly_canonical(dir.path()).string());
        EXPECT_EQ(outcome.errors, errors);
        if (s.exitCode == updater::kExitOk)
            EXPECT_EQ(resources(), describeAll(s.resources));
        else
            EXPECT_TRUE(readBytes(dir / "installer.exe") == readBytes(TAMSEL_TEST_INSTALLER));
    }
}

// The plugin as the installer will meet it: one warning for each reason it
// may not work, counted at the end; the run still writes it, and standard
// output stays as it was. The demo plugin (x86, exporting DllRegisterServer)
// and the x86 installer, each also with another Machine in its file header.
TEST_F(UpdaterRun, ThePluginIsCheckedForTheInstaller) {
    // One 16-bit field set, `field` bytes after "PE\0\0" (e_lfanew is at 0x3C).
    const auto with = [](std::string image, std::size_t field, std::uint16_t value) {
        const std::size_t at = static_cast<unsigned char>(image[0x3C]) +
                               256 * static_cast<unsigned char>(image[0x3D]) + 4 + field;
        image[at] = static_cast<char>(value & 0xFF);
        image[at + 1] = static_cast<char>(value >> 8);
        return image;
    };
    const auto withMachine = [&with](std::string image, std::uint16_t machine) {
        return with(std::move(image), 0, machine);
    };
    const std::string x86 = readBytes(TAMSEL_TEST_PLUGIN);
    const std::string x86Installer = readBytes(TAMSEL_TEST_INSTALLER);
    const std::string x64Installer = withMachine(x86Installer, 0x8664);
    std::string noExport = x86;
    noExport[noExport.find("DllRegisterServer") + 16] = 'R';  // GetProcAddress finds no "...Server"
    const std::string said = "warning: \"plugin.dll\" ";
    const std::string noEntry =
        said +
        "exports no DllRegisterServer; the installer cannot register it as \"Demo.Connect\"\n";
    struct Row {
        const char* fault;
        const std::string& installer;
        std::optional<std::string> plugin;  // nullopt: no file
        const char* progId;
        std::string errors;
    };
    const Row rows[] = {
        {"a plugin that fits was questioned", x86Installer, x86, "Demo.Connect", ""},
        {"a missing plugin did not say that the installer refuses", x86Installer, std::nullopt,
         "Demo.Connect",
         "warning: couldn't read \"plugin.dll\": " + test_support::noSuchFile() +
             "; the installer will refuse to install\n" + kOneWarning},
        {"a text file taken for a DLL", x86Installer,
         crlf({"Read me first.", std::string(80, '-')}), "",
         said + "is not a PE DLL (not a PE file: no MZ signature at 0x0)\n" + kOneWarning},
        {"a program taken for a DLL", x86Installer, x86Installer, "",
         said + "is not a PE DLL (a program, not a DLL)\n" + kOneWarning},
        {"a ProgID for a DLL without DllRegisterServer", x86Installer, noExport, "Demo.Connect",
         noEntry + kOneWarning},
        {"no ProgID: nothing registers, no export is needed", x86Installer, noExport, "", ""},
        {"an x86-64 plugin in the x86 installer", x86Installer, withMachine(x86, 0x8664),
         "Demo.Connect",
         "note: \"plugin.dll\" is an x86-64 DLL and installer.exe an x86 program: the installer "
         "registers it through its x86-64 registration helper, so it needs 64-bit Windows\n"},
        {"no ProgID: nothing registers, any architecture is copied", x86Installer,
         withMachine(x86, 0xAA64), "", ""},
        {"an ARM64 plugin, which no installer registers", x64Installer, withMachine(x86, 0xAA64),
         "Demo.Connect",
         said +
             "is an ARM64 DLL and installer.exe an x86-64 program: the installer registers "
             "32-bit and 64-bit DLLs for Intel and AMD processors only\n" +
             kOneWarning},
        {"an export table outside the sections' data (its RVA's low half, after the file and "
         "optional headers, set to 0x10)",
         x86Installer, with(x86, 20 + 96, 0x10), "Demo.Connect",
         said +
             "exports no DllRegisterServer (bad export table: 0x10 does not lie in a section's "
             "data); the installer cannot register it as \"Demo.Connect\"\n" +
             kOneWarning},
        {"an unknown machine type, counted with a missing export", x86Installer,
         withMachine(noExport, 0x5032), "Demo.Connect",
         noEntry + said +
             "is a DLL for machine type 0x5032 and installer.exe an x86 program: the "
             "installer registers 32-bit and 64-bit DLLs for Intel and AMD processors only\n" +
             kTwoWarnings},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.fault);
        for (const auto& entry : fs::directory_iterator(dir.path())) fs::remove_all(entry.path());
        write("installer.exe", row.installer);
        write("install_info.ini", crlf({"[Texts]", std::string("VBName=") + row.progId, "[Files]",
                                        "Filename=plugin.dll"}));
        if (row.plugin)
            write("plugin.dll", *row.plugin);
        const Outcome outcome = run();
        EXPECT_EQ(outcome.exitCode, updater::kExitOk);
        expectGolden("no_extra_files.txt", outcome.console);
        EXPECT_EQ(outcome.errors, row.errors);
        EXPECT_EQ(rcData(106), row.plugin.value_or("<missing>"));
    }
}

// Our reader is not the only judge of our writer: pefile sees the same
// resources, byte for byte.
TEST_F(UpdaterRun, AnIndependentReaderSeesTheSameResources) {
    TAMSEL_POSIX_ONLY("the host's Python with pefile reads the image (the Linux build checks the same writer)");
#ifndef _WIN32
    write("install_info.ini", kTwoLineIni);
    for (const auto& [name, bytes] : kScenarios[0].files) write(name, bytes);
    ASSERT_EQ(run().exitCode, updater::kExitOk);

    const std::string command = "/usr/bin/python3 '" + std::string(TAMSEL_LIST_RESOURCES_PY) +
                                "' '" + (dir / "installer.exe").string() + "'";
    FILE* pipe = ::popen(command.c_str(), "r");
    ASSERT_NE(pipe, nullptr);
    std::string listing;
    char chunk[4096];
    while (std::size_t got = std::fread(chunk, 1, sizeof chunk, pipe)) listing.append(chunk, got);
    int status = ::pclose(pipe);
    if (WIFEXITED(status) && WEXITSTATUS(status) == 77)
        GTEST_SKIP() << "no pefile";
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << listing;

    const auto listed = res::listResources(dir / "installer.exe");
    ASSERT_TRUE(listed) << listed.message();
    const auto named = [](const res::ResourceName& name) {
        const auto* id = std::get_if<std::uint16_t>(&name);
        const auto* text = std::get_if<std::u16string>(&name);
        return id ? std::to_string(*id) : std::string(text->begin(), text->end());
    };
    std::vector<std::string> ours;
    for (const auto& r : *listed)
        ours.push_back(named(r.type) + " " + named(r.name) + " 0 " + std::to_string(r.size));
    std::vector<std::string> theirs;
    std::istringstream lines(listing);
    for (std::string line; std::getline(lines, line);) {
        theirs.push_back(line.substr(0, line.rfind(' ')));  // without the hash
    }
    std::sort(ours.begin(), ours.end());
    std::sort(theirs.begin(), theirs.end());
    EXPECT_EQ(theirs, ours);
    EXPECT_EQ(theirs.size(), 8u + 3u + 3u + 2u);  // and the uninstaller and the version
#endif
}

// The prepared installer carries, before its first update, the manifest
// every update writes back: one file gives both.
TEST_F(UpdaterRun, ThePreparedInstallerCarriesTheManifestEveryUpdateWrites) {
    const std::string file = readBytes(TAMSEL_TEST_INSTALLER);
    std::string uninstaller;
    std::vector<std::string> manifests;
    for (const auto& r :
         readResources(std::as_bytes(std::span(file.data(), file.size())), &uninstaller)) {
        if (r.type == kManifest)
            manifests.push_back(describe(r.type, r.id, r.data));
    }
    EXPECT_EQ(manifests, describeAll({{kManifest, install_info::kIdManifest, kManifestText}}));
}

// A second run replaces everything: the same install info gives the same
// resources, and a file taken out of the list leaves nothing behind (the
// result equals a run on a fresh installer).
TEST_F(UpdaterRun, ASecondRunLeavesNoTraceOfTheFirst) {
    const std::string three = crlf({"[Files]", "Filename=p.dll", "Icon=app.ico", "[Extrafiles]",
                                    "one.txt", "two.txt", "three.txt"});
    write("install_info.ini", three);
    for (auto name : {"p.dll", "one.txt", "two.txt", "three.txt"}) write(name, name);
    write("app.ico", kIconFile);
    ASSERT_EQ(run().exitCode, updater::kExitOk);
    const auto first = resources();
    ASSERT_EQ(run().exitCode, updater::kExitOk);
    EXPECT_EQ(resources(), first);

    const std::string two =
        crlf({"[Files]", "Filename=p.dll", "Icon=app.ico", "[Extrafiles]", "one.txt", "three.txt"});
    write("install_info.ini", two);
    ASSERT_EQ(run().exitCode, updater::kExitOk);
    const auto afterRemoval = resources();
    fs::copy_file(TAMSEL_TEST_INSTALLER, dir / "installer.exe",
                  fs::copy_options::overwrite_existing);
    ASSERT_EQ(run().exitCode, updater::kExitOk);
    EXPECT_EQ(afterRemoval, resources());
    EXPECT_EQ(afterRemoval.size(), 8u + 1u + 2u + 3u);
}

// Failures end with exit code 1 and leave the installer byte for byte as it was.
TEST_F(UpdaterRun, AnInstallerThatCannotBeOpenedIsReported) {
    struct Case {
        const char* fault;
        void (*prepare)(const fs::path& installer);
    };
    const Case cases[] = {
        {"missing installer", [](const fs::path& p) { fs::remove(p); }},
        {"not a PE file", [](const fs::path& p) { writeBytes(p, "MZ but nothing more"); }},
        {"PE signature offset past the file",
         [](const fs::path& p) {
             std::string b = readBytes(p);
             b[0x3C + 2] = 0x7F;  // e_lfanew now points far past the end
             writeBytes(p, b);
         }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.fault);
        fs::copy_file(TAMSEL_TEST_INSTALLER, dir / "installer.exe",
                      fs::copy_options::overwrite_existing);
        c.prepare(dir / "installer.exe");
        const bool existed = fs::exists(dir / "installer.exe");
        const std::string before = existed ? readBytes(dir / "installer.exe") : "";
        Outcome outcome = run();
        EXPECT_EQ(outcome.exitCode, updater::kExitFailed);
        // One line of its own, then the reason on one more line; no key is awaited.
        EXPECT_EQ(outcome.console.substr(0, 24), "Couldn't open installer\n");
        EXPECT_EQ(std::count(outcome.console.begin(), outcome.console.end(), '\n'), 2);
        EXPECT_EQ(fs::exists(dir / "installer.exe"), existed);
        if (existed) {
            EXPECT_EQ(readBytes(dir / "installer.exe"), before);
        }
    }
    // In a console window of the updater's own, which closes as it ends, an
    // early end waits for the key: an installer it cannot open, and an
    // install-info file it cannot read.
    fs::remove(dir / "installer.exe");
    for (const char* folder : {"", "install_info.ini"}) {
        SCOPED_TRACE(*folder ? "unreadable install_info.ini" : "missing installer");
        fs::create_directories(dir / folder);
        const std::string console = run("\n", updater::EarlyEnd::AfterKey).console;
        EXPECT_TRUE(console.starts_with(*folder ? "Couldn't read" : "Couldn't open")) << console;
        EXPECT_TRUE(console.ends_with("\nPress any key to continue\nBye!\n")) << console;
    }
}

// install_info.ini and installer.exe are found as Windows finds them; the
// installer found is the one updated, under its own name.
TEST_F(UpdaterRun, TheFixedNamesAreFoundWhateverTheirLetterCase) {
    struct Case {
        const char* name;
        const char* infoFile;
        std::vector<std::string> installers;
        std::string updated;
        std::string errors;
    };
    const Case cases[] = {
        {"install-info file in capitals",
         "INSTALL_INFO.INI",
         {"installer.exe"},
         "installer.exe",
         ""},
        {"installer stored as Installer.EXE",
         "install_info.ini",
         {"Installer.EXE"},
         "Installer.EXE",
         ""},
        {"two installers differing in case: the first in byte order, said",
         "Install_Info.ini",
         {"Installer.exe", "INSTALLER.EXE"},
         "INSTALLER.EXE",
         "warning: \"installer.exe\" matches several names that differ only in letter case "
         "(\"INSTALLER.EXE\", \"Installer.exe\"); using \"INSTALLER.EXE\"\n" +
             kOneWarning},
    };
    const std::string installer = readBytes(dir / "installer.exe");
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        for (const auto& entry : fs::directory_iterator(dir.path())) fs::remove_all(entry.path());
        write(c.infoFile, crlf({"[Texts]", "Name=Found"}));
        for (const auto& name : c.installers) write(name, installer);
        const auto before = test_support::listFolder(dir.path());
        if (before.size() != c.installers.size() + 1) {
            // Windows keeps one of two names that differ only in letter case.
            EXPECT_TRUE(kFileSystemFindsNames) << "a file was not written";
            continue;
        }

        Outcome outcome = run();
        EXPECT_EQ(outcome.exitCode, updater::kExitOk);
        expectGolden("no_extra_files.txt", outcome.console);
        EXPECT_EQ(outcome.errors, c.errors);
        EXPECT_EQ(test_support::listFolder(dir.path()), before);
        for (const auto& name : c.installers) {
            SCOPED_TRACE(name);
            if (name == c.updated) {
                EXPECT_EQ(describeAll(readResources(dir / name)),
                          describeAll(texts("Found", "", "\0"s, "", "", "", "Plugin installer")));
            } else {
                EXPECT_EQ(readBytes(dir / name), installer);
            }
        }
    }
}

// A name arrives in the ANSI code page and is looked for in UTF-8, the file
// system's encoding, letter case ignored beyond ASCII; 102 keeps its bytes.
TEST_F(UpdaterRun, NamesAreConvertedFromTheAnsiCodePage) {
    const unsigned codePage = platform::text::ansiCodePage();
    if (!platform::text::isSingleByte(codePage)) {
        GTEST_SKIP() << "0xC9 and 0xE9 are a capital and small letter in single-byte code pages";
    }
    const std::string onDisk = platform::text::ansiToUtf8("caf\xE9.dll", codePage).utf8;
    write(onDisk, "plugin bytes");
    for (const std::string written : {"caf\xE9.dll", "CAF\xC9.DLL"}) {
        SCOPED_TRACE(written);
        write("install_info.ini", crlf({"[Files]", "Filename=" + written}));
        Outcome outcome = run();
        EXPECT_EQ(outcome.exitCode, updater::kExitOk);
        EXPECT_EQ(outcome.errors, "warning: \"" +
                                      platform::text::ansiToUtf8(written, codePage).utf8 + "\"" +
                                      kTooShortForPe + kOneWarning);
        EXPECT_EQ(rcData(102), written + '\0');
        EXPECT_EQ(rcData(106), "plugin bytes");
    }
}

// Windows opens no read-only file for update, for an administrator neither;
// an ordinary user may update only a file it may write. Before, root and a
// user with a writable folder replaced it through the folder.
TEST_F(UpdaterRun, AnInstallerThatMayNotBeWrittenIsRefused) {
    TAMSEL_POSIX_ONLY("permission bits and another user in a forked child; CheckWritableAsOnWindows has the Windows rows");
    struct Case {
        const char* fault;
        fs::perms mode;
        bool asNobody;
        std::string reason;
    };
    const std::string path = (dir / "installer.exe").string();
    const auto readOnly = fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read;
    const Case cases[] = {
        {"read-only, run by root", readOnly, false, path + " is read-only"},
        {"read-only, run by an ordinary user", readOnly, true, path + " is read-only"},
        {"an ordinary user without the write bit (root's file, 0644)",
         readOnly | fs::perms::owner_write, true, "cannot write " + path + ": Permission denied"},
    };
    write("install_info.ini", kTwoLineIni);
    for (const auto& [name, bytes] : kScenarios[0].files) write(name, bytes);
    for (auto& entry : fs::directory_iterator(dir.path())) {
        fs::permissions(entry.path(), fs::perms::others_read, fs::perm_options::add);
    }
    // The folder would let anyone replace the file: only its own bits decide.
    fs::permissions(dir.path(), fs::perms::all);
    const std::string installer = readBytes(dir / "installer.exe");
    const auto before = test_support::listFolder(dir.path());
    for (const auto& c : cases) {
        SCOPED_TRACE(c.fault);
        if (c.asNobody && !test_support::runningAsRoot())
            continue;  // only root can become nobody
        fs::permissions(dir / "installer.exe", c.mode);
        Outcome outcome = runInChild({.asNobody = c.asNobody, .maxFileBytes = {}});
        EXPECT_EQ(outcome.exitCode, updater::kExitFailed);
        EXPECT_EQ(outcome.console, "Couldn't open installer\n" + c.reason + "\n");
        EXPECT_EQ(outcome.errors, "");
        EXPECT_EQ(readBytes(dir / "installer.exe"), installer);
        EXPECT_EQ(fs::status(dir / "installer.exe").permissions(), c.mode);
        EXPECT_EQ(test_support::listFolder(dir.path()), before);
    }
    fs::permissions(dir.path(), fs::perms::owner_all);
}

// A file the user may not read is skipped like a missing one, and said.
TEST_F(UpdaterRun, AnUnreadableIconIsSaidOnStandardError) {
    TAMSEL_POSIX_ONLY("a file only its owner may read, tried as another user in a forked child");
    if (!test_support::runningAsRoot())
        GTEST_SKIP() << "needs root to run as nobody";
    write("install_info.ini", crlf({"[Files]", "Icon=app.ico"}));
    write("app.ico", kIconFile);
    fs::permissions(dir / "install_info.ini", fs::perms::others_read, fs::perm_options::add);
    fs::permissions(dir / "installer.exe", fs::perms::others_read | fs::perms::others_write,
                    fs::perm_options::add);
    fs::permissions(dir / "app.ico", fs::perms::owner_read | fs::perms::owner_write);
    fs::permissions(dir.path(), fs::perms::all);
    Outcome outcome = runInChild({.asNobody = true, .maxFileBytes = {}});
    fs::permissions(dir.path(), fs::perms::owner_all);
    EXPECT_EQ(outcome.exitCode, updater::kExitOk);
    expectGolden("no_extra_files.txt", outcome.console);
    EXPECT_EQ(outcome.errors,
              "warning: couldn't read \"app.ico\": Permission denied\n" + kOneWarning);
    EXPECT_EQ(resources(),
              describeAll(texts("Nameles plugin", "", "\0"s, "", "", "", "Plugin installer")));
}

// The commit fails on the disk: the run says so instead of "Installer
// updated!", ends with 1, and the installer is unchanged with no leftovers.
TEST_F(UpdaterRun, AFailedCommitIsReportedAndChangesNothing) {
    TAMSEL_POSIX_ONLY("a read-only folder and a file-size limit, in a forked child");
    struct Case {
        const char* fault;
        test_support::ChildLimits limits;
        fs::perms folder;
    };
    const std::string installer = readBytes(dir / "installer.exe");
    const Case cases[] = {
        // Half the old image: the new one is written partway whatever the
        // sizes of the resources the update takes away and adds.
        {"disk full (file-size limit below the new image)",
         {.asNobody = false, .maxFileBytes = installer.size() / 2},
         fs::perms::owner_all},
        {"read-only folder",
         {.asNobody = true, .maxFileBytes = {}},
         fs::perms::owner_read | fs::perms::owner_exec | fs::perms::others_read |
             fs::perms::others_exec},
    };
    write("install_info.ini", kTwoLineIni);
    for (const auto& [name, bytes] : kScenarios[0].files) write(name, bytes);
    for (auto& entry : fs::directory_iterator(dir.path())) {
        fs::permissions(entry.path(), fs::perms::others_read, fs::perm_options::add);
    }
    // The folder alone stops the write: nobody may write the installer itself.
    fs::permissions(dir / "installer.exe", fs::perms::others_write, fs::perm_options::add);
    const auto before = test_support::listFolder(dir.path());
    for (const auto& c : cases) {
        SCOPED_TRACE(c.fault);
        fs::permissions(dir.path(), c.folder);
        const auto [code, console, errors] = runInChild(c.limits);
        fs::permissions(dir.path(), fs::perms::owner_all);

        EXPECT_EQ(code, updater::kExitFailed);
        const std::string golden = readBytes(fs::path(TAMSEL_TEST_DATA_DIR) / "two_lines.txt");
        const std::string expectedStart = golden.substr(0, golden.find("Installer updated!"));
        EXPECT_EQ(console.substr(0, expectedStart.size()), expectedStart);
        EXPECT_NE(console.find("Adding Icon...\nCouldn't update installer\n"), std::string::npos)
            << console;
        EXPECT_EQ(console.find("Installer updated!"), std::string::npos) << console;
        // No count of warnings: no installer was written.
        EXPECT_EQ(errors, "warning: \"plugin.dll\"" + kTooShortForPe);
        EXPECT_EQ(readBytes(dir / "installer.exe"), installer);
        EXPECT_EQ(test_support::listFolder(dir.path()), before);
    }
}

// Fewer bytes than the measured size: /sys files report 4096 bytes and
// yield fewer; the resource holds what was read.
TEST_F(UpdaterRun, AFileYieldingFewerBytesThanItsSizeGivesTheBytesRead) {
    TAMSEL_POSIX_ONLY("a Linux /sys file reports more bytes than it yields");
    const fs::path shortFile = "/sys/kernel/mm/transparent_hugepage/enabled";
    std::error_code ec;
    if (!fs::exists(shortFile, ec) || fs::file_size(shortFile, ec) <= readBytes(shortFile).size()) {
        GTEST_SKIP() << "no file that reports more bytes than it yields";
    }
    write("install_info.ini", crlf({"[Files]", "Filename=" + shortFile.string()}));
    ASSERT_EQ(run().exitCode, updater::kExitOk);
    EXPECT_EQ(rcData(106), readBytes(shortFile));
}

// Files of several MB take their own read path (straight into their block);
// every byte must arrive, the last ones included, whether the file is
// named as written or only found with '\' read as a folder separator.
TEST_F(UpdaterRun, LargeFilesArriveWhole) {
    std::string plugin(4 * 1024 * 1024 + 5, '\0');
    std::string extra(6 * 1024 * 1024 + 1, '\0');
    for (std::size_t i = 0; i < plugin.size(); ++i) plugin[i] = static_cast<char>(i * 7 + i / 4096);
    for (std::size_t i = 0; i < extra.size(); ++i) extra[i] = static_cast<char>(i * 13 + 1);
    write("plugin.dll", plugin);
    write("data/big.bin", extra);
    write("install_info.ini",
          crlf({"[Files]", "Filename=plugin.dll", "[Extrafiles]", "data\\big.bin"}));
    ASSERT_EQ(run().exitCode, updater::kExitOk);
    EXPECT_TRUE(rcData(106) == plugin) << "the plugin lost or changed bytes";
    EXPECT_TRUE(rcData(109) == extra) << "the extra file lost or changed bytes";
}

// The whole section must reach the table: a section too long for the
// 10240-byte buffer is refused, never cut; one that fits is written whole.
TEST_F(UpdaterRun, AnExtraFileListTooLongForTheTableIsRefused) {
    enum class Expect { Written, Refused };
    struct Case {
        const char* name;
        std::size_t tableBytes;  // lines, their NULs and the final NUL
        Expect expected;
        bool utf8 = false;  // names of e-acutes in a UTF-8 file: 2 bytes there, 1 in the table
    };
    const Case cases[] = {
        {"well inside", 10000, Expect::Written},
        {"two bytes under the buffer", 10238, Expect::Written},
        {"the buffer exactly", 10240, Expect::Written},
        {"one byte over: the last name would be cut", 10241, Expect::Refused},
        {"far over: the files at the end would be lost", 30000, Expect::Refused},
        {"UTF-8 bytes counted: a list that fits once converted was refused", 10240,
         Expect::Written, true},
        {"converted bytes one over the buffer: the last name would be cut", 10241,
         Expect::Refused, true},
    };
    const std::string installer = readBytes(dir / "installer.exe");
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        // Lines of 99 characters and a NUL, the last one shortened to hit the size.
        std::string ini = "[Extrafiles]\r\n";
        std::string table;
        std::size_t left = c.tableBytes - 1;
        for (int i = 0; left > 0; ++i) {
            std::size_t length = std::min<std::size_t>(99, left - 1);
            if (left - (length + 1) == 1)
                --length;  // never leave a one-byte remainder
            std::string line = std::to_string(100000 + i);
            std::string text = line;
            if (c.utf8) {
                for (std::size_t k = line.size(); k < length; ++k) text += "\xC3\xA9";
                line.resize(length, '\xE9');
            } else {
                line.resize(length, 'x');
                text = line;
            }
            ini += text + "\r\n";
            table += line + '\0';
            left -= length + 1;
        }
        table += '\0';
        ASSERT_EQ(table.size(), c.tableBytes);
        write("install_info.ini", ini);
        fs::copy_file(TAMSEL_TEST_INSTALLER, dir / "installer.exe",
                      fs::copy_options::overwrite_existing);
        auto outcome = run();
        if (c.expected == Expect::Written) {
            EXPECT_EQ(outcome.exitCode, updater::kExitOk);
            EXPECT_EQ(rcData(103), table);
        } else {
            EXPECT_EQ(outcome.exitCode, updater::kExitFailed);
            EXPECT_EQ(readBytes(dir / "installer.exe"), installer);
            const std::string message =
                "The extra-file list is too long for the installer's table (" +
                std::to_string(c.tableBytes) + " bytes, at most 10240); nothing was written.\n";
            EXPECT_NE(outcome.console.find("Writing extra files...\n" + message), std::string::npos)
                << outcome.console;
            EXPECT_EQ(outcome.console.find("Adding"), std::string::npos);
        }
    }
}

// Every encoding of the install-info file gives the installer the same ANSI
// texts: an ANSI file its very bytes, the others their converted text. Files
// are found by those ANSI names, read as UTF-8 on the disk.
TEST_F(UpdaterRun, EveryEncodingOfTheFileGivesTheSameAnsiTexts) {
    struct Row {
        const char* fault;
        std::string ini;
        std::string extraFileName;  // as found in the folder
    };
    const Row rows[] = {
        {"1252 bytes changed on their way",
         "[Texts]\r\nName=Caf\xE9\r\nTitle=\x80\x81\xFF\r\n[Extrafiles]\r\nd\xE9.txt\r\n",
         "d\xC3\xA9.txt"},
        {"UTF-8 of an earlier version written as UTF-8 (CafÃ©)",
         "[Texts]\r\nName=Caf\xC3\xA9\r\nTitle=\xE2\x82\xAC\xC2\x81\xC3\xBF\r\n[Extrafiles]\r\n"
         "d\xC3\xA9.txt\r\n",
         "d\xC3\xA9.txt"},
        {"UTF-8 mark: the Texts section lost",
         "\xEF\xBB\xBF[Texts]\r\nName=Caf\xC3\xA9\r\nTitle=\xE2\x82\xAC\xC2\x81\xC3\xBF\r\n"
         "[Extrafiles]\r\nd\xC3\xA9.txt\r\n",
         "d\xC3\xA9.txt"},
        {"UTF-16: every value its default",
         utf16le(u"[Texts]\r\nName=Caf\u00E9\r\nTitle=\u20AC\u0081\u00FF\r\n[Extrafiles]\r\nd\u00E9.txt\r\n"),
         "d\xC3\xA9.txt"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.fault);
        fs::copy_file(TAMSEL_TEST_INSTALLER, dir / "installer.exe",
                      fs::copy_options::overwrite_existing);
        fs::remove_all(dir.path() / platform::files::pathFromUtf8(row.extraFileName));
        write("install_info.ini", row.ini);
        write(row.extraFileName, "extra");
        const Outcome outcome = run();
        EXPECT_EQ(outcome.exitCode, updater::kExitOk);
        EXPECT_EQ(outcome.errors, "");
        EXPECT_EQ(rcData(101), "Caf\xE9\0"s);
        EXPECT_EQ(rcData(108), "\x80\x81\xFF\0"s);
        EXPECT_EQ(rcData(103), "d\xE9.txt\0\0"s);
        EXPECT_EQ(rcData(109), "extra");
        fs::remove(dir.path() / platform::files::pathFromUtf8(row.extraFileName));
    }
}

// A character the code page cannot hold reaches the installer as '?', as
// Windows' conversion makes it, and one line on standard error names it.
TEST_F(UpdaterRun, ACharacterTheCodePageCannotHoldIsWrittenAsAQuestionMarkAndNamed) {
    write("install_info.ini", "[Texts]\r\nName=\xD0\x96" "ar \xD0\x96\r\nTitle=Caf\xC3\xA9\r\n"
                              "[Extrafiles]\r\na.txt\r\n\xE6\x97\xA5.txt\r\n");
    write("\xE6\x97\xA5.txt", "sun");
    const Outcome outcome = run();
    EXPECT_EQ(outcome.exitCode, updater::kExitOk);
    EXPECT_EQ(rcData(101), "?ar ?\0"s);
    EXPECT_EQ(rcData(108), "Caf\xE9\0"s);
    EXPECT_EQ(rcData(103), "a.txt\0?.txt\0\0"s);
    // Windows looks the file up by its ANSI name, "?.txt", which names no file.
    EXPECT_EQ(rcData(110), "<missing>");
    EXPECT_EQ(outcome.errors,
              "warning: \"Name\": U+0416 '\xD0\x96' is not in code page 1252; written as \"?\"\n"
              "warning: \"Name\": U+0416 '\xD0\x96' is not in code page 1252; written as \"?\"\n"
              "warning: \"ExtraFiles\" line 2: U+65E5 '\xE6\x97\xA5' is not in code page 1252; "
              "written as \"?\"\n"
                  "warning: couldn't read \"a.txt\": " + test_support::noSuchFile() +
                  // "?" is no name Windows takes: not "not found" but "invalid name"
                  "\nwarning: couldn't read \"?.txt\": No such file or directory" +
                  test_support::windowsNote(123) +
                  "\n5 warnings above: the installer may not work as intended.\n");
    EXPECT_NE(outcome.console.find("Installer updated!"), std::string::npos);
}

TEST_F(UpdaterRun, ASignedInstallerIsToldToBeSignedAgain) {
    if (std::string_view(TAMSEL_TEST_SIGNED_INSTALLER).empty()) {
        GTEST_SKIP() << "no osslsigncode: no signed installer";
    }
    fs::copy_file(TAMSEL_TEST_SIGNED_INSTALLER, dir / "installer.exe",
                  fs::copy_options::overwrite_existing);
    write("install_info.ini", crlf({"[Texts]", "Name=Signed"}));
    Outcome outcome = run();
    EXPECT_EQ(outcome.exitCode, updater::kExitOk);
    expectGolden("signed.txt", outcome.console);
    EXPECT_EQ(resources(), describeAll(texts("Signed", "", "\0"s, "", "", "", "Plugin installer")));
}

// Both programs carry a version resource: the plugin's numbers, company,
// copyright and product version where its DLL has a version resource, else
// 1.0.0.0 and no company; the Name as the product, the Title as the
// description.
TEST_F(UpdaterRun, TheVersionResourceIsThePluginsWithTheTexts) {
    struct Row {
        const char* plugin;
        std::string bytes;
        res::VersionNumbers version;
        std::u16string company;
        std::u16string productVersion;
    };
    const Row rows[] = {
        {"the demo plugin, with a version resource", readBytes(TAMSEL_TEST_PLUGIN), {1, 2, 0, 0},
         u"Demo Plugin Works", u"1.2"},
        {"no PE file: no version resource", "MZ plugin", {1, 0, 0, 0}, u"", u""},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.plugin);
        fs::copy_file(TAMSEL_TEST_INSTALLER, dir / "installer.exe",
                      fs::copy_options::overwrite_existing);
        write("p.dll", row.bytes);
        write("install_info.ini",
              crlf({"[Texts]", "Name=Demo", "Title=Demo installer", "[Files]", "Filename=p.dll"}));
        ASSERT_EQ(run().exitCode, updater::kExitOk);
        std::string uninstaller;
        readResources(dir / "installer.exe", &uninstaller);
        for (const std::string& image : {readBytes(dir / "installer.exe"), uninstaller}) {
            auto version = res::readVersionInfo(std::as_bytes(std::span(image.data(), image.size())));
            ASSERT_TRUE(version && *version) << "no version resource";
            EXPECT_EQ((*version)->fileVersion, row.version);
            EXPECT_EQ((*version)->companyName, row.company);
            EXPECT_EQ((*version)->productVersionText,
                      row.productVersion.empty() ? u"1.0.0.0" : row.productVersion);
            EXPECT_EQ((*version)->productName, u"Demo");
            EXPECT_EQ((*version)->fileDescription, u"Demo installer");
        }
    }
}

// The author's signing command runs on the uninstaller, then on the
// installer while it is still the temporary file: both come out signed, and
// a command that fails, on either, or leaves anything but the same program
// with a certificate table fails the run with the installer untouched. The
// path reaches the command as a path, whatever shell syntax its folder's
// name holds, and the signed installer keeps its permission bits.
TEST_F(UpdaterRun, TheSigningCommandSignsBothProgramsOrNothingIsWritten) {
    TAMSEL_POSIX_ONLY("the command runs through /bin/sh; the Windows build runs cmd.exe");
    if (std::string_view(TAMSEL_TEST_SIGN_CERT).empty())
        GTEST_SKIP() << "no osslsigncode or openssl";
    const std::string sign = std::string(TAMSEL_OSSLSIGNCODE) + " sign -certs " +
                             TAMSEL_TEST_SIGN_CERT + " -key " + TAMSEL_TEST_SIGN_KEY +
                             R"( -in "%1" -out "%1.signed" >/dev/null && mv "%1.signed" "%1")";
    const auto verifies = [](const fs::path& file) {
        const std::string command = std::string(TAMSEL_OSSLSIGNCODE) + " verify -CAfile " +
                                    TAMSEL_TEST_SIGN_CERT + " -in '" + file.string() +
                                    "' >/dev/null 2>&1";
        return std::system(command.c_str()) == 0;
    };
    struct Row {
        const char* fault;
        std::string command;
        int exitCode;
        const char* folder = ".";
    };
    const Row rows[] = {
        {"none: both signed", sign, updater::kExitOk},
        {"the folder's name is read as shell syntax", sign, updater::kExitOk, R"(a$1 `false` "b)"},
        {"the command fails", "false", updater::kExitFailed},
        {"it fails on the installer only",
         R"(case "%1" in *uninstall.exe) )" + sign + R"( ;; *) exit 3 ;; esac)",
         updater::kExitFailed},
        {"it appends bytes that are no certificate table", R"(printf x >> "%1")",
         updater::kExitFailed},
        {"it signs, then changes a byte of the program",
         sign + R"( && printf X | dd of="%1" bs=1 seek=600 conv=notrunc 2>/dev/null)",
         updater::kExitFailed},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.fault);
        const fs::path folder = dir / row.folder;
        fs::create_directories(folder);
        writeBytes(folder / "p.dll", readBytes(TAMSEL_TEST_PLUGIN));
        fs::copy_file(TAMSEL_TEST_INSTALLER, folder / "installer.exe",
                      fs::copy_options::overwrite_existing);
        fs::permissions(folder / "installer.exe", fs::perms(0750));
        const std::string before = readBytes(folder / "installer.exe");
        writeBytes(folder / "install_info.ini",
                   crlf({"[Files]", "Filename=p.dll", "[Sign]", "Command=" + row.command}));
        std::ostringstream out, err;
        std::istringstream in("\n");
        const int exitCode = updater::run(folder, out, err, in, updater::EarlyEnd::AtOnce);
        EXPECT_EQ(exitCode, row.exitCode) << out.str() << err.str();
        std::size_t left = 0;
        for (const auto& entry : fs::directory_iterator(folder))
            left += entry.path().filename().string().starts_with(platform::files::kTemporaryPrefix);
        EXPECT_EQ(left, 0u) << "a temporary file was left";
        if (row.exitCode != updater::kExitOk) {
            EXPECT_EQ(readBytes(folder / "installer.exe"), before);
            continue;
        }
        EXPECT_EQ(out.str().find("signature was removed"), std::string::npos);
        EXPECT_EQ(fs::status(folder / "installer.exe").permissions(), fs::perms(0750));
        EXPECT_TRUE(verifies(folder / "installer.exe"));
        std::string uninstaller;
        readResources(folder / "installer.exe", &uninstaller);
        writeBytes(folder / "uninstall.exe", uninstaller);
        EXPECT_TRUE(verifies(folder / "uninstall.exe"));
    }
}

// The demo's install-info file is byte for byte what the editor's Save
// writes for its fields, so the demo shows the file the updater really meets.
TEST(DemoFolder, InstallInfoIsWhatTheEditorSaves) {
    TempDir dir;
    editor_ini::InstallRecord record;
    // The demo's name holds a non-ASCII letter; Save writes it in the ANSI
    // code page (1252), as the file holds it.
    record.values = {"D\xC3\xA9mo plugin",
                     "DemoPlugin.Connect",
                     "Demo plugin installer",
                     "Close the host program before installing.",
                     "plugin.dll",
                     "tamsel.ico",
                     "plugin-readme.txt"};
    record.extraFiles = {"plugin-readme.txt", "data\\notes.txt"};
    ASSERT_TRUE(editor_ini::writeInstallRecord(dir / "saved.ini", record,
                                               editor_ini::WriteMode::FreshFile));
    EXPECT_EQ(readBytes(dir / "saved.ini"),
              readBytes(fs::path(TAMSEL_SOURCE_DIR) / "demo" / "install_info.ini"));
}

}  // namespace
