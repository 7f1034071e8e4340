// The resource tree: reading an image's existing tree (three levels: type,
// name, language) and laying out and writing a new one.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <span>
#include <vector>

#include "platform/resource/pe_image.h"
#include "platform/resource/resource_types.h"

namespace platform::resource {

// Tree order: string names first, in ordinal order of their UTF-16 units,
// then IDs ascending.
struct NameLess {
    bool operator()(const ResourceName& a, const ResourceName& b) const;
};

struct ResourceKey {
    ResourceName type;
    ResourceName name;
    std::uint16_t language = 0;
};

struct KeyLess {
    bool operator()(const ResourceKey& a, const ResourceKey& b) const;
};

// A pending resource's data: bytes in memory, its own or shared with other
// resources, or a measured file that is read again as the image is written.
struct ResourceData {
    std::vector<std::byte> bytes;
    std::optional<SharedBytes> shared;  // instead of `bytes`
    std::optional<FileData> file;       // instead of `bytes`
    std::span<const std::byte> inMemory() const {
        return shared ? shared->bytes : std::span<const std::byte>(bytes);
    }
    std::uint64_t size() const { return file ? file->size : inMemory().size(); }
};

// Pending resources, kept in tree order; a key added again replaces its data.
using ResourceMap = std::map<ResourceKey, ResourceData, KeyLess>;

// Upper-cases a string name as the loader does before looking it up.
ResourceName normalisedName(const ResourceName& name);

// Lists the image's resources; an image without a resource directory has none.
Result<std::vector<ListedResource>> readResourceTree(const PeImage& image,
                                                     std::span<const std::byte> bytes);

// Phase one of writing: where every directory, string, data entry and data
// block goes, relative to the start of the tree. Each item is 8-aligned.
// Resources sharing one view of SharedBytes share one data block.
struct TreeLayout {
    struct Language {
        std::uint16_t id = 0;
        const ResourceData* data = nullptr;
        std::uint64_t entryOffset = 0;
        std::uint64_t dataOffset = 0;
        bool sharesBlock = false;  // its data is the block of an earlier resource
    };
    struct Name {
        ResourceName name;
        std::uint64_t directoryOffset = 0;
        std::vector<Language> languages;
    };
    struct Type {
        ResourceName name;
        std::uint64_t directoryOffset = 0;
        std::vector<Name> names;
    };
    std::vector<Type> types;
    std::map<std::u16string, std::uint64_t> stringOffsets;
    std::uint64_t dataStart = 0;  // where the data begins, after everything else
    std::uint64_t size = 0;       // the whole tree, data included
};

// The layout keeps pointers into `resources`, which must outlive it.
TreeLayout prepareTree(const ResourceMap& resources);

// Called as a resource's data is written out, piece by piece in order (one
// empty piece for empty data), with the resource's position in tree order,
// so that a caller who owns the data can let it go while the write goes on.
// Every piece but the last is a multiple of kCopyPiece bytes long. A block
// that resources share is written once, under the first of them.
using DataCopied = std::function<void(std::size_t index, std::span<const std::byte> piece)>;
inline constexpr std::size_t kCopyPiece = std::size_t{8} << 20;

// Phase two: writes the tree's directories, entries and strings into `out`
// (layout.size bytes, zero-filled), its data entries pointing at `treeRva`,
// the address the tree will have in the image. The data blocks themselves,
// at their layout offsets, are left to the caller, who streams them.
// Fails for resources an image cannot hold (an offset past 31 bits, more than
// 65535 names in one directory) and, as an internal error, for a layout that
// does not fit `out`.
Status serialiseTree(const TreeLayout& layout, std::uint32_t treeRva, std::span<std::byte> out);

}  // namespace platform::resource
