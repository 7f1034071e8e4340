// Shared by the resource tests: fixture images, the updater-like resource
// set, and the independent checker (tests/resource/check_image.py).
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/files/files.h"
#include "platform/resource/image_writer.h"
#include "platform/resource/pages.h"
#include "platform/resource/pe_image.h"
#include "platform/resource/resource_tree.h"
#include "platform/resource/resource_update.h"
#include "tests/support/temp_dir.h"

namespace resource_test {

namespace fs = std::filesystem;
using platform::resource::ResourceName;

inline fs::path fixturePath(const std::string& name) {
    return fs::path(TAMSEL_RESOURCE_FIXTURES) / name;
}

// Fixtures come from the MinGW toolchain at build time; without it the
// tests that need them are skipped, not failed.
#define REQUIRE_FIXTURE(name)                                                      \
    do {                                                                           \
        if (!std::filesystem::exists(resource_test::fixturePath(name))) {          \
            GTEST_SKIP() << "fixture " << (name) << " not built (MinGW missing?)"; \
        }                                                                          \
    } while (0)

// A fixture copied into a fresh folder as "installer.exe".
struct InstallerCopy {
    explicit InstallerCopy(const std::string& fixture) : path(dir / "installer.exe") {
        fs::copy_file(fixturePath(fixture), path);
    }
    test_support::TempDir dir;
    fs::path path;
};

struct TestResource {
    ResourceName type;
    ResourceName name;
    std::uint16_t language = 0;
    std::vector<std::byte> data;
};

// Varied bytes, so that no reader takes the data for padding.
inline std::vector<std::byte> pseudoRandomBytes(std::size_t size, std::uint32_t seed) {
    std::vector<std::byte> bytes(size);
    std::uint32_t state = seed * 2654435761u + 1;
    for (auto& b : bytes) {
        state = state * 1664525u + 1013904223u;
        b = static_cast<std::byte>(state >> 24);
    }
    return bytes;
}

inline std::vector<std::byte> textBytes(const std::string& text) {
    const auto* begin = reinterpret_cast<const std::byte*>(text.data());
    return {begin, begin + text.size() + 1};  // with its NUL, as the updater writes texts
}

// What the updater writes: RCDATA 101 to 111 of assorted sizes (an empty one,
// one-byte texts, a plugin of a few MB), then a group icon 112 of three images
// 113 to 115. Listed in tree order: type 3, then 10, then 14.
inline std::vector<TestResource> updaterLikeSet() {
    using platform::resource::kTypeGroupIcon;
    using platform::resource::kTypeIcon;
    using platform::resource::kTypeRcData;
    const std::uint32_t iconSizes[] = {1128, 4264, 16936};
    std::vector<TestResource> set;
    for (std::uint16_t i = 0; i < 3; ++i) {
        set.push_back(
            {kTypeIcon, std::uint16_t(113 + i), 0, pseudoRandomBytes(iconSizes[i], 113 + i)});
    }
    const std::vector<std::vector<std::byte>> rcdata = {textBytes("Nameles plugin"),
                                                        textBytes("plugin.dll"),
                                                        textBytes(""),
                                                        textBytes(""),
                                                        textBytes(""),
                                                        pseudoRandomBytes(2 * 1024 * 1024 + 5, 106),
                                                        {},
                                                        textBytes("Plugin installer"),
                                                        pseudoRandomBytes(200000, 109),
                                                        pseudoRandomBytes(4097, 110),
                                                        pseudoRandomBytes(1, 111)};
    for (std::uint16_t i = 0; i < rcdata.size(); ++i) {
        set.push_back({kTypeRcData, std::uint16_t(101 + i), 0, rcdata[i]});
    }
    std::vector<std::byte> group = {std::byte{0}, std::byte{0}, std::byte{1},
                                    std::byte{0}, std::byte{3}, std::byte{0}};
    for (std::uint16_t i = 0; i < 3; ++i) {
        const std::uint8_t entry[14] = {std::uint8_t(16 << i),
                                        std::uint8_t(16 << i),
                                        0,
                                        0,
                                        1,
                                        0,
                                        32,
                                        0,
                                        std::uint8_t(iconSizes[i]),
                                        std::uint8_t(iconSizes[i] >> 8),
                                        0,
                                        0,
                                        std::uint8_t(113 + i),
                                        0};
        for (auto b : entry) group.push_back(std::byte{b});
    }
    set.push_back({kTypeGroupIcon, std::uint16_t(112), 0, group});
    return set;
}

inline void addAll(platform::resource::Update& update, const std::vector<TestResource>& set) {
    for (const auto& r : set) update.add(r.type, r.name, r.language, r.data);
}

// An image built from a fixture with `resources` in it, as commit() builds
// one, with everything its frame and data point into.
struct BuiltFixture {
    std::vector<std::byte> original;
    platform::resource::PeImage image;
    platform::resource::ResourceMap resources;
    platform::resource::ImageBuffer memory;
    platform::resource::BuiltImage built;
};

inline std::unique_ptr<BuiltFixture> buildFixture(const std::string& fixture,
                                                  platform::resource::ResourceMap resources) {
    auto result = std::make_unique<BuiltFixture>();
    result->original = platform::files::readFile(fixturePath(fixture)).value();
    result->image = platform::resource::parseImage(result->original).value();
    result->resources = std::move(resources);
    auto built = platform::resource::buildImage(
        result->image, result->original, result->resources, nullptr,
        [&](std::uint64_t size) { return result->memory.allocate(size); });
    EXPECT_TRUE(built.isOk()) << built.status().message();
    if (!built)
        return nullptr;
    result->built = std::move(*built);
    return result;
}

inline platform::resource::ResourceMap resourceMap(const std::vector<TestResource>& set) {
    platform::resource::ResourceMap map;
    for (const auto& r : set) map[{r.type, r.name, r.language}].bytes = r.data;
    return map;
}

// The set as our own reader lists it from `image`.
inline std::vector<TestResource> listed(const fs::path& image) {
    const auto bytes = platform::files::readFile(image);
    EXPECT_TRUE(bytes.isOk()) << bytes.message();
    std::vector<TestResource> out;
    if (!bytes)
        return out;
    const auto list = platform::resource::listResources(std::span<const std::byte>(*bytes));
    EXPECT_TRUE(list.isOk()) << list.message();
    if (!list)
        return out;
    for (const auto& r : *list) {
        auto data = platform::resource::resourceData(*bytes, r);
        EXPECT_TRUE(data.isOk());
        out.push_back({r.type, r.name, r.language, data ? *data : std::vector<std::byte>{}});
    }
    return out;
}

inline bool sameResources(const std::vector<TestResource>& a, const std::vector<TestResource>& b) {
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (a[i].type != b[i].type || a[i].name != b[i].name || a[i].language != b[i].language ||
            a[i].data != b[i].data) {
            return false;
        }
    }
    return true;
}

inline std::string jsonName(const ResourceName& name) {
    if (const auto* id = std::get_if<std::uint16_t>(&name))
        return std::to_string(*id);
    std::string text = "\"";
    for (char16_t unit : std::get<std::u16string>(name))
        text += static_cast<char>(unit);  // ASCII in tests
    return text + "\"";
}

// Runs the independent checker on `updated`, expecting exactly `expected` (in
// tree order). `original` is the image it was made from. Returns the
// checker's complaints, empty when it is content.
inline std::string independentCheck(const fs::path& updated,
                                    const std::vector<TestResource>& expected,
                                    const std::optional<fs::path>& original = std::nullopt,
                                    bool originalSigned = false) {
    const fs::path folder = updated.parent_path();
    const fs::path blobPath = folder / "expected.bin";
    const fs::path manifestPath = folder / "expected.json";
    const fs::path logPath = folder / "check.log";
    std::ofstream blob(blobPath, std::ios::binary);
    std::string manifest = "{\"blob\": \"" + blobPath.string() + "\", \"resources\": [";
    std::uint64_t offset = 0;
    for (std::size_t i = 0; i < expected.size(); ++i) {
        const auto& r = expected[i];
        blob.write(reinterpret_cast<const char*>(r.data.data()),
                   static_cast<std::streamsize>(r.data.size()));
        manifest += (i ? ", " : "") + std::string("{\"type\": ") + jsonName(r.type) +
                    ", \"name\": " + jsonName(r.name) +
                    ", \"lang\": " + std::to_string(r.language) +
                    ", \"size\": " + std::to_string(r.data.size()) +
                    ", \"offset\": " + std::to_string(offset) + "}";
        offset += r.data.size();
    }
    blob.close();
    std::ofstream(manifestPath) << manifest << "]}";
#ifdef _WIN32
    // The readers are the host's (Python's pefile, llvm-readobj); the Linux
    // build runs them on what the same code writes.
    static_cast<void>(original), static_cast<void>(originalSigned);
    std::ofstream(logPath) << "not checked: the independent readers run in the Linux build\n";
    return {};
#endif
    std::string command = "/usr/bin/python3 " TAMSEL_SOURCE_DIR "/tests/resource/check_image.py '" +
                          updated.string() + "' '" + manifestPath.string() + "'";
    if (original)
        command += " --original '" + original->string() + "'";
    if (originalSigned)
        command += " --signed";
    const int status = std::system((command + " >'" + logPath.string() + "' 2>&1").c_str());
    std::string log = test_support::readBytes(logPath);
    if (status != 0 && log.empty())
        log = "checker failed to run: " + command;
    return status == 0 ? std::string() : log;
}

// Where the headers of the fixture lie, read here independently of the library.
struct Offsets {
    std::uint32_t pe = 0;  // "PE\0\0"
    std::uint32_t fileHeader = 0;
    std::uint32_t optionalHeader = 0;
    std::uint32_t sectionTable = 0;
    std::uint32_t sectionCount = 0;
    std::uint32_t resourceSection = 0;  // file offset of the .rsrc data

    // The index of the section called `name`.
    std::optional<std::uint32_t> section(const std::string& b, const std::string& name) const {
        for (std::uint32_t i = 0; i < sectionCount; ++i) {
            if (b.compare(sectionTable + 40 * i, name.size() + 1, name.c_str(), name.size() + 1) ==
                0) {
                return i;
            }
        }
        return std::nullopt;
    }
};

inline std::uint32_t get32(const std::string& b, std::size_t at) {
    std::uint32_t v = 0;
    std::memcpy(&v, b.data() + at, 4);
    return v;
}
inline void put32(std::string& b, std::size_t at, std::uint32_t v) {
    std::memcpy(b.data() + at, &v, 4);
}
inline void put16(std::string& b, std::size_t at, std::uint16_t v) {
    std::memcpy(b.data() + at, &v, 2);
}

inline Offsets offsetsOf(const std::string& b) {
    Offsets o;
    o.pe = get32(b, 0x3C);
    o.fileHeader = o.pe + 4;
    o.optionalHeader = o.fileHeader + 20;
    o.sectionTable = o.optionalHeader + (get32(b, o.fileHeader + 16) & 0xFFFF);
    o.sectionCount = get32(b, o.fileHeader + 2) & 0xFFFF;
    for (std::uint32_t i = 0; i < o.sectionCount; ++i) {
        const std::size_t at = o.sectionTable + 40 * i;
        if (b.compare(at, 6, std::string(".rsrc\0", 6)) == 0)
            o.resourceSection = get32(b, at + 20);
    }
    return o;
}

// Section i's header field at `field` bytes into its 40-byte entry.
inline std::size_t sectionField(const Offsets& o, std::uint32_t i, std::size_t field) {
    return o.sectionTable + 40 * i + field;
}

}  // namespace resource_test
