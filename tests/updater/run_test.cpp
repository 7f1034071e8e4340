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

#include "editor/ini/install_record.h"
#include "platform/resource/resource_update.h"
#include "tests/support/child_process.h"
#include "tests/support/golden.h"
#include "tests/support/temp_dir.h"
#include "tests/updater/icon_builder.h"
#include "updater/icon.h"

namespace {
namespace fs = std::filesystem;
namespace res = platform::resource;
using test_support::readBytes;
using test_support::TempDir;
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

// The resources of an image, through our own reader; every one must be
// language-neutral with numeric type and ID.
std::vector<Resource> readResources(const fs::path& image) {
    std::string file = readBytes(image);
    auto bytes = std::as_bytes(std::span(file.data(), file.size()));
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
        EXPECT_TRUE(type && id) << "a resource with a string type or name";
        if (!type || !id || !data)
            continue;
        out.push_back(
            {*type, *id, std::string(reinterpret_cast<const char*>(data->data()), data->size())});
    }
    return out;
}

// The seven texts in their resource IDs, each with its NUL.
std::vector<Resource> texts(std::string name, std::string filename, std::string table,
                            std::string runAfterInstall, std::string vbName, std::string warning,
                            std::string title) {
    return {{kRcData, 101, name + '\0'},   {kRcData, 102, filename + '\0'},
            {kRcData, 103, table},         {kRcData, 104, runAfterInstall + '\0'},
            {kRcData, 105, vbName + '\0'}, {kRcData, 107, warning + '\0'},
            {kRcData, 108, title + '\0'}};
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

std::string crlf(std::initializer_list<std::string_view> lines) {
    std::string out;
    for (auto line : lines) (out += line) += "\r\n";
    return out;
}

const std::string kIconFile = updater_test::makeIcon({40, 12});

struct Outcome {
    int exitCode;
    std::string console;
};

class UpdaterRun : public ::testing::Test {
  protected:
    void SetUp() override {
        if (std::string_view(TAMSEL_TEST_INSTALLER).empty()) {
            GTEST_SKIP() << "no MinGW i686 compiler: no installer.exe to update";
        }
        fs::copy_file(TAMSEL_TEST_INSTALLER, dir / "installer.exe");
    }
    Outcome run(std::string_view key = "\n") {
        std::ostringstream out;
        std::istringstream in{std::string(key)};
        int code = updater::run(dir.path(), out, in);
        return {code, out.str()};
    }
    void write(const std::string& name, const std::string& bytes) {
        fs::create_directories((dir / name).parent_path());
        writeBytes(dir / name, bytes);
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

    TempDir dir;
};

struct Scenario {
    const char* name;  // what the row guards against
    std::optional<std::string> ini;
    std::map<std::string, std::string> files;
    std::string key;
    const char* golden;
    std::vector<Resource> resources;
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
         iconResources(kIconFile, 111)},
    {"no install-info file: defaults, a one-byte table, no plugin, no icon; end of input "
     "still gives Bye",
     std::nullopt,
     {},
     "",
     "no_extra_files.txt",
     texts("Nameles plugin", "", "\0"s, "", "", "", "Plugin installer")},
    {"three lines, the second missing: it keeps its ID and table line, the icon group is 112",
     crlf({"[Files]", "Icon=app.ico", "[ExtraFiles]", "one.txt", "two.txt", "three.txt"}),
     {{"one.txt", "1"}, {"three.txt", "3"}, {"app.ico", kIconFile}},
     "\n",
     "three_lines.txt",
     texts("Nameles plugin", "", "one.txt\0two.txt\0three.txt\0\0"s, "", "", "",
           "Plugin installer") +
         std::vector<Resource>{{kRcData, 109, "1"}, {kRcData, 111, "3"}} +
         iconResources(kIconFile, 112)},
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
         std::vector<Resource>{{kRcData, 106, ""}}},
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
         iconResources(kIconFile, 110)},
    {"a damaged icon gives no icon resources and the run goes on",
     crlf({"[Files]", "Icon=bad.ico"}),
     {{"bad.ico", kIconFile.substr(0, kIconFile.size() - 1)}},
     "\n",
     "no_extra_files.txt",
     texts("Nameles plugin", "", "\0"s, "", "", "", "Plugin installer")},
};

TEST_F(UpdaterRun, WritesExactlyTheResourcesOfTheInstallInfo) {
    for (const auto& s : kScenarios) {
        SCOPED_TRACE(s.name);
        fs::copy_file(TAMSEL_TEST_INSTALLER, dir / "installer.exe",
                      fs::copy_options::overwrite_existing);
        fs::remove(dir / "install_info.ini");
        if (s.ini)
            write("install_info.ini", *s.ini);
        for (const auto& [name, bytes] : s.files) write(name, bytes);
        Outcome outcome = run(s.key);
        EXPECT_EQ(outcome.exitCode, updater::kExitOk);
        expectGolden(s.golden, outcome.console);
        EXPECT_EQ(resources(), describeAll(s.resources));
    }
}

// Our reader is not the only judge of our writer: pefile sees the same
// resources, byte for byte.
TEST_F(UpdaterRun, AnIndependentReaderSeesTheSameResources) {
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

    std::vector<std::string> ours;
    for (const auto& r : readResources(dir / "installer.exe")) {
        ours.push_back(std::to_string(r.type) + " " + std::to_string(r.id) + " 0 " +
                       std::to_string(r.data.size()));
    }
    std::vector<std::string> theirs;
    std::istringstream lines(listing);
    for (std::string line; std::getline(lines, line);) {
        theirs.push_back(line.substr(0, line.rfind(' ')));  // without the hash
    }
    std::sort(ours.begin(), ours.end());
    std::sort(theirs.begin(), theirs.end());
    EXPECT_EQ(theirs, ours);
    EXPECT_EQ(theirs.size(), 7u + 3u + 3u);
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
    EXPECT_EQ(afterRemoval.size(), 7u + 1u + 2u + 3u);
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
}

// The commit fails on the disk: the run says so instead of "Installer
// updated!", ends with 1, and the installer is unchanged with no leftovers.
TEST_F(UpdaterRun, AFailedCommitIsReportedAndChangesNothing) {
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
    const auto before = test_support::listFolder(dir.path());
    for (const auto& c : cases) {
        SCOPED_TRACE(c.fault);
        fs::permissions(dir.path(), c.folder);
        int pipeFds[2];
        ASSERT_EQ(::pipe(pipeFds), 0);
        int code = test_support::runInChild(
            [&] {
                ::close(pipeFds[0]);
                std::ostringstream out;
                std::istringstream in("\n");
                int result = updater::run(dir.path(), out, in);
                const std::string text = out.str();
                if (::write(pipeFds[1], text.data(), text.size()) !=
                    static_cast<ssize_t>(text.size())) {
                    return 99;
                }
                return result;
            },
            c.limits);
        ::close(pipeFds[1]);
        std::string console;
        char chunk[4096];
        for (ssize_t got; (got = ::read(pipeFds[0], chunk, sizeof chunk)) > 0;)
            console.append(chunk, got);
        ::close(pipeFds[0]);
        fs::permissions(dir.path(), fs::perms::owner_all);

        EXPECT_EQ(code, updater::kExitFailed);
        const std::string golden = readBytes(fs::path(TAMSEL_TEST_DATA_DIR) / "two_lines.txt");
        const std::string expectedStart = golden.substr(0, golden.find("Installer updated!"));
        EXPECT_EQ(console.substr(0, expectedStart.size()), expectedStart);
        EXPECT_NE(console.find("Adding Icon...\nCouldn't update installer\n"), std::string::npos)
            << console;
        EXPECT_EQ(console.find("Installer updated!"), std::string::npos) << console;
        EXPECT_EQ(readBytes(dir / "installer.exe"), installer);
        EXPECT_EQ(test_support::listFolder(dir.path()), before);
    }
}

// Fewer bytes than the measured size: /sys files report 4096 bytes and
// yield fewer; the resource holds what was read.
TEST_F(UpdaterRun, AFileYieldingFewerBytesThanItsSizeGivesTheBytesRead) {
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
    };
    const Case cases[] = {
        {"well inside", 10000, Expect::Written},
        {"two bytes under the buffer", 10238, Expect::Written},
        {"the buffer exactly", 10240, Expect::Written},
        {"one byte over: the last name would be cut", 10241, Expect::Refused},
        {"far over: the files at the end would be lost", 30000, Expect::Refused},
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
            line.resize(length, 'x');
            ini += line + "\r\n";
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

// The demo's install-info file is byte for byte what the editor's Save
// writes for its fields, so the demo shows the file the updater really meets.
TEST(DemoFolder, InstallInfoIsWhatTheEditorSaves) {
    TempDir dir;
    editor_ini::InstallRecord record;
    // The demo's name holds a non-ASCII letter, in the ANSI code page
    // (1252) as the file holds it.
    record.values = {"D\xE9mo plugin",
                     "DemoPlugin.Connect",
                     "Demo plugin installer",
                     "Close the host program before installing.",
                     "plugin.dll",
                     "tamsel.ico",
                     "readme.txt"};
    record.extraFiles = {"readme.txt", "data\\notes.txt"};
    ASSERT_TRUE(editor_ini::writeInstallRecord(dir / "saved.ini", record,
                                               editor_ini::WriteMode::FreshFile));
    EXPECT_EQ(readBytes(dir / "saved.ini"),
              readBytes(fs::path(TAMSEL_SOURCE_DIR) / "demo" / "install_info.ini"));
}

}  // namespace
