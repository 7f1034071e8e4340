// Copies an icon file (.ico) into resources: one RT_ICON per directory entry,
// in the file's order, with IDs groupId + 1 + i, then the RT_GROUP_ICON
// directory with the ID groupId. All IDs are taken modulo 65536. The images
// are views into the file's bytes, never copied one by one: entries naming
// the same bytes (as Windows writes them, one RT_ICON each) share one block.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <span>
#include <string_view>
#include <vector>

#include "updater/input_file.h"
#include "updater/resource_sink.h"

namespace updater {

// The records are copied to and from bytes with memcpy, so their in-memory
// layout must be the little-endian file layout.
static_assert(std::endian::native == std::endian::little);

#pragma pack(push, 1)
struct IconHeader {
    std::uint16_t reserved;
    std::uint16_t type;
    std::uint16_t count;
};

// The part of a directory entry that the icon file and the group directory share.
struct IconEntryCommon {
    std::uint8_t width;
    std::uint8_t height;
    std::uint8_t colorCount;
    std::uint8_t reserved;
    std::uint16_t planes;
    std::uint16_t bitCount;
    std::uint32_t bytesInRes;
};

// An entry of the icon file: where the image lies in the file.
struct IconFileEntry {
    IconEntryCommon common;
    std::uint32_t imageOffset;
};

// An entry of the group directory: which RT_ICON holds the image.
struct GroupIconEntry {
    IconEntryCommon common;
    std::uint16_t id;
};
#pragma pack(pop)

static_assert(sizeof(IconHeader) == 6);
static_assert(sizeof(IconEntryCommon) == 12);
static_assert(sizeof(IconFileEntry) == 16);
static_assert(sizeof(GroupIconEntry) == 14);

struct IconImage {
    IconEntryCommon common;
    std::span<const std::byte> data;
};

struct ParsedIcon {
    IconHeader header;
    std::vector<IconImage> images;
};

// Checks a whole icon file: a header of an icon (reserved 0, type 1, at
// least one image) and its directory present, every image of nonzero size
// and inside the file. nullopt for a damaged file, so that a
// damaged icon gives no resources at all rather than a partial group.
// Images may share bytes with each other; each is a view into `file`.
std::optional<ParsedIcon> parseIcon(std::span<const std::byte> file);

// The group directory for `icon`: its header, then each entry's common bytes
// and the 16-bit resource ID groupId + 1 + i.
std::vector<std::byte> groupDirectory(const ParsedIcon& icon, std::uint32_t groupId);

// Adds the icon file `file` to `update`: its images as views into it, then
// the group. Returns 1 when the group was written, 0 for a damaged file.
int addIconFile(ResourceSink& update, std::shared_ptr<const std::vector<std::byte>> file,
                std::uint32_t groupId);

// Adds the icon named `iconPath` (found as readInputFile finds it) to
// `update`. Returns 1 when the group was written, 0 when nothing was: empty
// name, unreadable or damaged file; `warn` says why for the last two.
int AddIcon(ResourceSink& update, const std::filesystem::path& workingDirectory,
            std::string_view iconPath, std::uint32_t groupId, const Warn& warn = {});

}  // namespace updater
