#include "updater/icon.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "platform/resource/resource_update.h"
#include "tests/support/temp_dir.h"
#include "tests/updater/icon_builder.h"

namespace {
namespace res = platform::resource;
using test_support::TempDir;
using test_support::writeBytes;
using updater_test::entryOffset;
using updater_test::kOffsetField;
using updater_test::kSizeField;
using updater_test::makeIcon;
using updater_test::putU32;

struct Added {
    std::uint16_t type;
    std::uint16_t id;
    std::string data;
};

class RecordingSink : public updater::ResourceSink {
  public:
    void add(std::uint16_t type, std::uint16_t id, std::span<const std::byte> data) override {
        added.push_back(
            {type, id, std::string(reinterpret_cast<const char*>(data.data()), data.size())});
    }
    std::vector<Added> added;
};

std::uint16_t u16At(const std::string& bytes, std::size_t at) {
    std::uint16_t v;
    std::memcpy(&v, bytes.data() + at, sizeof v);
    return v;
}

struct GoodIcon {
    const char* name;
    std::vector<std::size_t> imageSizes;
    std::uint32_t groupId;
    std::vector<std::uint16_t> imageIds;
    std::uint16_t groupResourceId;
    std::size_t groupBytes;
};

// Images in file order with consecutive IDs after the group, then the group,
// whose entries copy the file's 12 common bytes and name those IDs.
TEST(AddIcon, CopiesEveryImageAndAGroupNamingThem) {
    const GoodIcon cases[] = {
        {"one image after no extra files", {40}, 109, {110}, 109, 20},
        {"three images give a 48-byte group", {40, 1, 300}, 109, {110, 111, 112}, 109, 48},
        {"count 0 gives the header alone", {}, 109, {}, 109, 6},
        {"IDs wrap modulo 65536", {5, 6}, 65535, {0, 1}, 65535, 34},
        {"a group ID past 16 bits is taken modulo 65536", {5}, 65536 + 200, {201}, 200, 20},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir dir;
        const std::string file = makeIcon(c.imageSizes);
        writeBytes(dir / "app.ico", file);
        RecordingSink sink;
        EXPECT_EQ(updater::AddIcon(sink, dir.path(), "app.ico", c.groupId), 1);
        ASSERT_EQ(sink.added.size(), c.imageSizes.size() + 1);
        for (std::size_t i = 0; i < c.imageSizes.size(); ++i) {
            EXPECT_EQ(sink.added[i].type, res::kTypeIcon);
            EXPECT_EQ(sink.added[i].id, c.imageIds[i]);
            std::uint32_t offset;
            std::memcpy(&offset, file.data() + entryOffset(i) + kOffsetField, sizeof offset);
            EXPECT_EQ(sink.added[i].data, file.substr(offset, c.imageSizes[i]));
        }
        const Added& group = sink.added.back();
        EXPECT_EQ(group.type, res::kTypeGroupIcon);
        EXPECT_EQ(group.id, c.groupResourceId);
        ASSERT_EQ(group.data.size(), c.groupBytes);
        EXPECT_EQ(group.data.substr(0, 6), file.substr(0, 6));
        for (std::size_t i = 0; i < c.imageSizes.size(); ++i) {
            EXPECT_EQ(group.data.substr(6 + 14 * i, 12), file.substr(entryOffset(i), 12)) << i;
            EXPECT_EQ(u16At(group.data, 6 + 14 * i + 12), c.imageIds[i]) << i;
        }
    }
}

struct BadIcon {
    const char* fault;
    void (*damage)(std::string& file);
};

// A damaged file gives no resources at all: no partial group, no images
// without a group, and no bytes from beyond the file.
TEST(AddIcon, ADamagedFileAddsNothing) {
    const BadIcon cases[] = {
        {"shorter than the header", [](std::string& f) { f.resize(5); }},
        {"empty file", [](std::string& f) { f.clear(); }},
        {"directory cut in its last entry", [](std::string& f) { f.resize(entryOffset(2) - 1); }},
        {"count larger than the directory the file holds", [](std::string& f) { f[4] = 100; }},
        {"last image one byte past the end", [](std::string& f) { f.pop_back(); }},
        {"image offset past the end",
         [](std::string& f) { putU32(f, entryOffset(0) + kOffsetField, 0x10000); }},
        {"offset plus size wraps 32 bits",
         [](std::string& f) {
             putU32(f, entryOffset(1) + kOffsetField, 0xFFFFFFF0u);
             putU32(f, entryOffset(1) + kSizeField, 0x20);
         }},
        {"image size 0", [](std::string& f) { putU32(f, entryOffset(1) + kSizeField, 0); }},
        {"image size 0xFFFFFFFF",
         [](std::string& f) { putU32(f, entryOffset(0) + kSizeField, 0xFFFFFFFFu); }},
        {"two entries naming the same bytes (copied once per entry)",
         [](std::string& f) {
             std::memcpy(f.data() + entryOffset(1) + kSizeField,
                         f.data() + entryOffset(0) + kSizeField, 4);
             std::memcpy(f.data() + entryOffset(1) + kOffsetField,
                         f.data() + entryOffset(0) + kOffsetField, 4);
         }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.fault);
        TempDir dir;
        std::string file = makeIcon({40, 30});
        c.damage(file);
        writeBytes(dir / "bad.ico", file);
        RecordingSink sink;
        EXPECT_EQ(updater::AddIcon(sink, dir.path(), "bad.ico", 109), 0);
        EXPECT_TRUE(sink.added.empty());
    }
}

TEST(AddIcon, NoFileMeansNoIcon) {
    TempDir dir;
    std::filesystem::create_directory(dir / "folder.ico");
    struct Case {
        const char* name;
        const char* warning;  // an empty name is no file: nothing to say
    };
    for (const auto& c :
         {Case{"", ""},
          Case{"missing.ico", "couldn't read \"missing.ico\": No such file or directory"},
          Case{"folder.ico", "couldn't read \"folder.ico\": Is a directory"}}) {
        SCOPED_TRACE(c.name);
        RecordingSink sink;
        std::string warnings;
        EXPECT_EQ(updater::AddIcon(sink, dir.path(), c.name, 109,
                                   [&](const std::string& w) { warnings += w; }),
                  0);
        EXPECT_TRUE(sink.added.empty());
        EXPECT_EQ(warnings, c.warning);
    }
}

// Names typed on Windows reach the file through '/' on Linux; an absolute
// name is used unchanged.
TEST(AddIcon, FindsWindowsStyleAndAbsoluteNames) {
    TempDir dir;
    std::filesystem::create_directories(dir / "art" / "icons");
    writeBytes(dir / "art" / "icons" / "app.ico", makeIcon({8}));
    for (std::string name :
         {std::string("art\\icons\\app.ico"), (dir / "art/icons/app.ico").string()}) {
        SCOPED_TRACE(name);
        RecordingSink sink;
        EXPECT_EQ(updater::AddIcon(sink, dir.path(), name, 109), 1);
        EXPECT_EQ(sink.added.size(), 2u);
    }
}

}  // namespace
