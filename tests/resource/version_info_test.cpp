// The version resource: what we build reads back, what windres writes reads
// as written, readers that share no code with ours read what we build, and
// damaged blocks are refused with their reason.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#ifdef _WIN32
#include <windows.h>
#else
#include <sys/wait.h>
#endif

#include "platform/files/files.h"
#include "platform/resource/resource_update.h"
#include "platform/resource/version_info.h"
#include "tests/resource/resource_test_support.h"
#include "tests/support/temp_dir.h"

namespace {

namespace res = platform::resource;
using res::VersionInfo;
using resource_test::fixturePath;

// What resource 2 of the windres fixture (data/version_info.rc) holds.
VersionInfo example() {
    VersionInfo info;
    info.fileVersion = {1, 2, 3, 4};
    info.productVersion = {5, 6, 7, 8};
    info.companyName = u"Example Co";
    info.fileDescription = u"Example installer";
    info.legalCopyright = u"\u00A9 2024";
    info.productName = u"Caf\u00E9 plugin";
    info.productVersionText = u"5.6 beta";
    return info;
}

std::vector<std::byte> built(const VersionInfo& info) {
    auto bytes = res::buildVersionInfo(info);
    EXPECT_TRUE(bytes.isOk()) << bytes.message();
    return bytes ? *bytes : std::vector<std::byte>{};
}

// Whether a key is written at all, empty or not.
bool holdsKey(const std::vector<std::byte>& bytes, std::u16string_view key) {
    const auto needle = std::as_bytes(std::span(key.data(), key.size()));
    return std::search(bytes.begin(), bytes.end(), needle.begin(), needle.end()) != bytes.end();
}

struct RoundTrip {
    const char* fault;
    VersionInfo in;
    VersionInfo read;  // what reading the built bytes gives back
    std::vector<std::u16string> absentKeys;
};

std::vector<RoundTrip> roundTrips() {
    std::vector<RoundTrip> rows;
    rows.push_back({"every text present, some outside ASCII", example(), example(), {}});

    VersionInfo bare = example();
    bare.companyName.clear();
    bare.legalCopyright.clear();
    rows.push_back({"no company or copyright: left out, not written empty",
                    bare,
                    bare,
                    {u"CompanyName", u"LegalCopyright"}});

    VersionInfo noText = example();
    noText.productVersion = {3, 1, 4, 1};
    noText.productVersionText.clear();
    VersionInfo spelled = noText;
    spelled.productVersionText = u"3.1.4.1";
    rows.push_back(
        {"no ProductVersion text: the product numbers spelled a.b.c.d", noText, spelled, {}});

    VersionInfo limits = example();
    limits.fileVersion = {65535, 0, 65535, 1};
    limits.productVersion = {0, 65535, 1, 65535};
    rows.push_back(
        {"parts at their 16-bit limits: each keeps its own half of its word", limits, limits, {}});

    // Keys and texts of every length modulo 4 put every padding in play.
    VersionInfo padded = example();
    padded.companyName = u"a";
    padded.fileDescription = u"";
    padded.legalCopyright = u"abc";
    padded.productName = u"abcd";
    padded.productVersionText = u"ab";
    rows.push_back({"texts of every length modulo 4, an empty one written", padded, padded, {}});
    return rows;
}

TEST(VersionInfo, WhatIsBuiltReadsBack) {
    for (const RoundTrip& row : roundTrips()) {
        SCOPED_TRACE(row.fault);
        const auto bytes = built(row.in);
        const auto read = res::parseVersionInfo(bytes);
        ASSERT_TRUE(read.isOk()) << read.message();
        EXPECT_EQ(*read, row.read);
        for (const auto& key : row.absentKeys) EXPECT_FALSE(holdsKey(bytes, key));
        EXPECT_TRUE(holdsKey(bytes, u"ProductName"));
    }
}

TEST(VersionInfo, TextsTooLongForTheBlocksLengthsAreRefused) {
    VersionInfo info = example();
    info.fileDescription.assign(40000, u'x');
    const auto bytes = res::buildVersionInfo(info);
    ASSERT_FALSE(bytes.isOk());
    EXPECT_EQ(bytes.kind(), platform::ErrorKind::Unsupported);
}

std::vector<std::byte> fileBytes(const std::filesystem::path& path) {
    auto bytes = platform::files::readFile(path);
    EXPECT_TRUE(bytes.isOk()) << bytes.message();
    return bytes ? *bytes : std::vector<std::byte>{};
}

// A real toolchain's blocks: windres reads the .rc, we read its output.
TEST(VersionInfo, ReadsWhatWindresWrites) {
    REQUIRE_FIXTURE("version_info.dll");
    const auto image = fileBytes(fixturePath("version_info.dll"));
    const auto read = res::readVersionInfo(image);
    ASSERT_TRUE(read.isOk()) << read.message();
    ASSERT_TRUE(read->has_value());
    VersionInfo expected;
    expected.fileVersion = {2, 5, 0, 17};
    expected.productVersion = {3, 1, 4, 1};
    expected.companyName = u"Example Co";  // not the second table's "Beispiel GmbH"
    expected.legalCopyright = u"\u00A9 2024 Example Co";
    expected.productName = u"Example";
    expected.productVersionText = u"3.1-beta";
    EXPECT_EQ(**read, expected);
}

// Our block in an image, as the updater will write it.
std::vector<std::byte> imageWithVersion(const std::vector<std::byte>& block) {
    auto update =
        res::Update::beginFromBytes(fileBytes(fixturePath("pe32_plain.exe")), res::Existing::Keep);
    EXPECT_TRUE(update.isOk()) << update.message();
    if (!update)
        return {};
    update->add(res::kTypeVersion, res::kIdVersion, 1033, block);
    auto image = update->commitToMemory();
    EXPECT_TRUE(image.isOk()) << image.message();
    return image ? *image : std::vector<std::byte>{};
}

// Our reader is not the only judge of our writer: pefile on Linux, and on
// Windows the system's own GetFileVersionInfoW and VerQueryValueW.
TEST(VersionInfo, IndependentReadersReadWhatIsBuilt) {
    REQUIRE_FIXTURE("pe32_plain.exe");
    test_support::TempDir dir;
    const auto path = dir / "installer.exe";
    const auto image = imageWithVersion(built(example()));
    test_support::writeBytes(
        path, std::string_view(reinterpret_cast<const char*>(image.data()), image.size()));
#ifdef _WIN32
    const std::wstring file = path.wstring();
    const DWORD size = GetFileVersionInfoSizeW(file.c_str(), nullptr);
    ASSERT_NE(size, 0u);
    std::vector<char> block(size);
    ASSERT_TRUE(GetFileVersionInfoW(file.c_str(), 0, size, block.data()));
    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT length = 0;
    ASSERT_TRUE(VerQueryValueW(block.data(), L"\\", reinterpret_cast<void**>(&fixed), &length));
    EXPECT_EQ(fixed->dwFileVersionMS, 0x00010002u);
    EXPECT_EQ(fixed->dwFileVersionLS, 0x00030004u);
    EXPECT_EQ(fixed->dwProductVersionMS, 0x00050006u);
    EXPECT_EQ(fixed->dwProductVersionLS, 0x00070008u);
    const std::pair<const wchar_t*, const wchar_t*> strings[] = {
        {L"CompanyName", L"Example Co"},       {L"FileDescription", L"Example installer"},
        {L"FileVersion", L"1.2.3.4"},          {L"LegalCopyright", L"\u00A9 2024"},
        {L"ProductName", L"Caf\u00E9 plugin"}, {L"ProductVersion", L"5.6 beta"}};
    for (const auto& [key, value] : strings) {
        const std::wstring query = std::wstring(L"\\StringFileInfo\\040904B0\\") + key;
        wchar_t* text = nullptr;
        ASSERT_TRUE(
            VerQueryValueW(block.data(), query.c_str(), reinterpret_cast<void**>(&text), &length));
        EXPECT_EQ(std::wstring(text), value);
    }
    WORD* translation = nullptr;
    ASSERT_TRUE(VerQueryValueW(block.data(), L"\\VarFileInfo\\Translation",
                               reinterpret_cast<void**>(&translation), &length));
    ASSERT_EQ(length, 4u);
    EXPECT_EQ(translation[0], 0x0409);
    EXPECT_EQ(translation[1], 1200);
#else
    const std::string command = "/usr/bin/python3 '" TAMSEL_SOURCE_DIR
                                "/tests/resource/read_version.py' '" +
                                path.string() + "' >'" + (dir / "pefile.txt").string() + "' 2>&1";
    const int status = std::system(command.c_str());
    const std::string said = test_support::readBytes(dir / "pefile.txt");
    if (WIFEXITED(status) && WEXITSTATUS(status) == 77)
        GTEST_SKIP() << "no pefile";
    ASSERT_EQ(status, 0) << said;
    EXPECT_EQ(said,
              "file 1.2.3.4\n"
              "product 5.6.7.8\n"
              "table 040904B0\n"
              "CompanyName=Example Co\n"
              "FileDescription=Example installer\n"
              "FileVersion=1.2.3.4\n"
              "LegalCopyright=\xC2\xA9 2024\n"
              "ProductName=Caf\xC3\xA9 plugin\n"
              "ProductVersion=5.6 beta\n"
              "Translation 0x0409 0x04b0\n");
#endif
}

void put16(std::vector<std::byte>& b, std::size_t at, std::uint16_t value) {
    std::memcpy(b.data() + at, &value, sizeof value);
}

// Where the blocks of example()'s bytes lie: VS_VERSION_INFO at 0 with its
// fixed file info at 40, StringFileInfo at 92, the table "040904B0" at 128,
// its first string, CompanyName, at 152.
struct Damage {
    const char* fault;
    std::function<void(std::vector<std::byte>&)> apply;
    const char* reason;  // must appear in the error
};

const Damage kDamages[] = {
    {"empty resource", [](auto& b) { b.clear(); }, "the block at 0x0 runs past the end at 0x0"},
    {"cut inside the first header", [](auto& b) { b.resize(4); }, "runs past the end at 0x4"},
    {"the whole block's length past the end of the resource",
     [](auto& b) { put16(b, 0, static_cast<std::uint16_t>(b.size() + 4)); },
     "bytes long, past the end at"},
    {"first key not VS_VERSION_INFO", [](auto& b) { b[6] = std::byte{'W'}; },
     "its first block is \"WS_VERSION_INFO\", not \"VS_VERSION_INFO\""},
    {"fixed file info signature damaged", [](auto& b) { b[40] = std::byte{0xBE}; },
     "fixed file info at 0x28 has signature 0xFEEF04BE, not 0xFEEF04BD"},
    {"fixed file info of the wrong length", [](auto& b) { put16(b, 2, 48); },
     "fixed file info is 48 bytes long, not 52"},
    {"StringFileInfo's length smaller than its header", [](auto& b) { put16(b, 92, 4); },
     "the block at 0x5C says it is 4 bytes long, shorter than its 6-byte header"},
    {"a string's length past its table's end", [](auto& b) { put16(b, 152, 0x7000); },
     "the block at 0x98 is 28672 bytes long, past the end at"},
    {"a string's key running past its block", [](auto& b) { put16(b, 152, 12); },
     "the key of the block at 0x98 has no end"},
};

TEST(VersionInfo, DamagedBlocksAreRefusedWithTheirReason) {
    for (const Damage& damage : kDamages) {
        SCOPED_TRACE(damage.fault);
        auto bytes = built(example());
        damage.apply(bytes);
        const auto read = res::parseVersionInfo(bytes);
        ASSERT_FALSE(read.isOk());
        EXPECT_EQ(read.kind(), platform::ErrorKind::BadFormat);
        EXPECT_NE(read.message().find(damage.reason), std::string::npos) << read.message();
    }
}

TEST(VersionInfo, EveryCutShortBlockIsRefused) {
    const auto bytes = built(example());
    for (std::size_t size = 0; size < bytes.size(); ++size) {
        SCOPED_TRACE(size);
        EXPECT_FALSE(res::parseVersionInfo(std::span(bytes).first(size)).isOk());
    }
}

struct ImageRow {
    const char* fault;
    std::function<std::vector<std::byte>()> image;
    enum { None, Found, Damaged } outcome;
};

TEST(VersionInfo, AnImageWithoutOneHasNoneAndADamagedOneIsAnError) {
    REQUIRE_FIXTURE("pe32_plain.exe");
    const ImageRow rows[] = {
        {"no version resource", [] { return fileBytes(fixturePath("pe32_plain.exe")); },
         ImageRow::None},
        {"one version resource", [] { return imageWithVersion(built(example())); },
         ImageRow::Found},
        {"a version resource with its signature damaged",
         [] {
             auto block = built(example());
             block[40] = std::byte{0};
             return imageWithVersion(block);
         },
         ImageRow::Damaged},
        {"an empty version resource", [] { return imageWithVersion({}); }, ImageRow::Damaged},
        {"not a PE file", [] { return std::vector<std::byte>(512); }, ImageRow::Damaged},
    };
    for (const ImageRow& row : rows) {
        SCOPED_TRACE(row.fault);
        const auto read = res::readVersionInfo(row.image());
        ASSERT_EQ(read.isOk(), row.outcome != ImageRow::Damaged);
        if (row.outcome == ImageRow::Found) {
            ASSERT_TRUE(read->has_value());
            EXPECT_EQ(**read, example());
        } else if (row.outcome == ImageRow::None) {
            EXPECT_FALSE(read->has_value());
        }
    }
}

}  // namespace
