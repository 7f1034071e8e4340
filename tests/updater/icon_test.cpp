#include "updater/icon.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <utility>

#include "platform/resource/resource_update.h"
#include "tests/support/system_note.h"
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
    std::span<const std::byte> view;   // what the sink was handed
    bool shared = false;               // as a view into shared bytes, not to copy
    std::shared_ptr<const void> keep;  // the bytes behind `view`
    std::string data() const { return {reinterpret_cast<const char*>(view.data()), view.size()}; }
};

// Records what it is handed without copying shared bytes, so that an icon
// naming one image thousands of times is cheap to record.
class RecordingSink : public updater::ResourceSink {
  public:
    void add(std::uint16_t type, std::uint16_t id, std::span<const std::byte> data) override {
        auto copy = std::make_shared<const std::vector<std::byte>>(data.begin(), data.end());
        added.push_back({type, id, *copy, false, copy});
    }
    void addShared(std::uint16_t type, std::uint16_t id,
                   platform::resource::SharedBytes data) override {
        added.push_back({type, id, data.bytes, true, data.owner});
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
            EXPECT_EQ(sink.added[i].data(), file.substr(offset, c.imageSizes[i]));
            EXPECT_TRUE(sink.added[i].shared) << "an image is a view into the file, not a copy";
        }
        const Added& group = sink.added.back();
        EXPECT_EQ(group.type, res::kTypeGroupIcon);
        EXPECT_EQ(group.id, c.groupResourceId);
        const std::string groupData = group.data();
        ASSERT_EQ(groupData.size(), c.groupBytes);
        EXPECT_EQ(groupData.substr(0, 6), file.substr(0, 6));
        for (std::size_t i = 0; i < c.imageSizes.size(); ++i) {
            EXPECT_EQ(groupData.substr(6 + 14 * i, 12), file.substr(entryOffset(i), 12)) << i;
            EXPECT_EQ(u16At(groupData, 6 + 14 * i + 12), c.imageIds[i]) << i;
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
        // Hotspots would be taken as planes and bit count.
        {"a cursor file (type 2)", [](std::string& f) { f[2] = 2; }},
        // An empty group would be reported as an icon added.
        {"count 0", [](std::string& f) { f[4] = 0; }},
        {"reserved not 0", [](std::string& f) { f[0] = 1; }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.fault);
        TempDir dir;
        std::string file = makeIcon({40, 30});
        c.damage(file);
        writeBytes(dir / "bad.ico", file);
        RecordingSink sink;
        std::vector<std::string> warnings;
        const updater::Warn warn = [&](const std::string& w) { warnings.push_back(w); };
        EXPECT_EQ(updater::AddIcon(sink, dir.path(), "bad.ico", 109, warn), 0);
        EXPECT_TRUE(sink.added.empty());
        EXPECT_EQ(warnings,
                  std::vector<std::string>{"couldn't read \"bad.ico\": not a usable icon file"});
    }
}

// Makes entry `to` name the same image bytes as entry `from`.
void shareImage(std::string& file, std::size_t from, std::size_t to) {
    std::memcpy(file.data() + entryOffset(to) + kSizeField,
                file.data() + entryOffset(from) + kSizeField, 8);
}

struct SharingIcon {
    const char* name;
    std::size_t images;
    std::vector<std::pair<std::size_t, std::size_t>> shared;  // (from, to) entries
};

// Entries naming the same bytes are no damage: each gets its RT_ICON, as
// Windows writes it, and the group names them all. They are views of the
// same bytes, never copies (once a copy per entry asked for count x size).
TEST(AddIcon, EntriesNamingTheSameBytesEachGetAnIconOfThoseBytes) {
    const SharingIcon cases[] = {
        {"two entries naming the same bytes (once copied per entry, then refused)", 2, {{0, 1}}},
        {"the first and last of three sharing, the middle its own", 3, {{0, 2}}},
        {"every entry naming the last image", 4, {{3, 0}, {3, 1}, {3, 2}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir dir;
        std::string file = makeIcon(std::vector<std::size_t>(c.images, 40));
        for (const auto& [from, to] : c.shared) shareImage(file, from, to);
        writeBytes(dir / "shared.ico", file);
        RecordingSink sink;
        ASSERT_EQ(updater::AddIcon(sink, dir.path(), "shared.ico", 109), 1);
        ASSERT_EQ(sink.added.size(), c.images + 1);
        for (std::size_t i = 0; i < c.images; ++i) {
            EXPECT_EQ(sink.added[i].type, res::kTypeIcon);
            EXPECT_EQ(sink.added[i].id, 110 + i);
            std::uint32_t offset;
            std::memcpy(&offset, file.data() + entryOffset(i) + kOffsetField, sizeof offset);
            EXPECT_EQ(sink.added[i].data(), file.substr(offset, 40)) << i;
        }
        for (const auto& [from, to] : c.shared) {
            EXPECT_EQ(sink.added[to].view.data(), sink.added[from].view.data())
                << "entry " << to << " holds a copy instead of entry " << from << "'s bytes";
        }
        const std::string group = sink.added.back().data();
        ASSERT_EQ(group.size(), 6 + 14 * c.images);
        for (std::size_t i = 0; i < c.images; ++i)
            EXPECT_EQ(u16At(group, 6 + 14 * i + 12), 110 + i) << i;
    }
}

// The case that once faulted: a 2 MB image named by 32767 entries. Each
// entry is handed the one image, so nothing asks for 64 GB.
TEST(AddIcon, A2MbImageNamedBy32767EntriesIsHandedOverOnce) {
    constexpr std::size_t kEntries = 32767;
    constexpr std::uint32_t kImageSize = 2 << 20;
    std::string file = makeIcon({kImageSize});
    const std::string entry = file.substr(entryOffset(0), 16);
    std::string directory;
    for (std::size_t i = 0; i < kEntries; ++i) directory += entry;
    const std::uint32_t imageOffset = static_cast<std::uint32_t>(entryOffset(kEntries));
    file = file.substr(0, entryOffset(0)) + directory + file.substr(entryOffset(1));
    const std::uint16_t count = kEntries;
    std::memcpy(file.data() + 4, &count, sizeof count);
    for (std::size_t i = 0; i < kEntries; ++i)
        putU32(file, entryOffset(i) + kOffsetField, imageOffset);
    ASSERT_EQ(file.size(), imageOffset + kImageSize);

    auto bytes = std::make_shared<const std::vector<std::byte>>(
        reinterpret_cast<const std::byte*>(file.data()),
        reinterpret_cast<const std::byte*>(file.data()) + file.size());
    RecordingSink sink;
    ASSERT_EQ(updater::addIconFile(sink, bytes, 109), 1);
    ASSERT_EQ(sink.added.size(), kEntries + 1);
    for (std::size_t i = 0; i < kEntries; ++i) {
        ASSERT_TRUE(sink.added[i].shared) << i;
        ASSERT_EQ(sink.added[i].view.data(), bytes->data() + imageOffset) << i;
        ASSERT_EQ(sink.added[i].view.size(), kImageSize) << i;
    }
    EXPECT_EQ(sink.added.back().view.size(), 6 + 14 * kEntries);
}

TEST(AddIcon, NoFileMeansNoIcon) {
    TempDir dir;
    std::filesystem::create_directory(dir / "folder.ico");
    struct Case {
        const char* name;
        std::string warning;  // an empty name is no file: nothing to say
    };
    for (const auto& c :
         {Case{"", ""},
          Case{"missing.ico", "couldn't read \"missing.ico\": " + test_support::noSuchFile()},
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
