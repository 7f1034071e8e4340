#include "platform/resource/resource_tree.h"

#include <algorithm>
#include <map>
#include <utility>

#include "platform/bytes/byte_io.h"
#include "platform/text/unicode.h"

namespace platform::resource {

using bytes::ByteReader;
using bytes::ByteWriter;
using bytes::rangeFits;

namespace {

constexpr std::uint64_t kItemAlignment = 8;

std::uint64_t directorySize(std::size_t entries) {
    return sizeof(pe::ResourceDirectory) + entries * sizeof(pe::ResourceDirectoryEntry);
}

Error malformed(const std::string& what, std::uint64_t offset) {
    return Error{"malformed resource tree: " + what + " at offset " + hex(offset),
                 ErrorKind::BadFormat};
}

// Reads the tree within one bounded region (from the tree's start to the end
// of its section's data). Every directory entry visited costs one unit of a
// budget as large as the region has room for entries, so directories that
// are shared or point back at each other cannot multiply the work.
class TreeReader {
  public:
    TreeReader(const PeImage& image, std::span<const std::byte> bytes,
               std::span<const std::byte> tree)
        : image_(image),
          bytes_(bytes),
          tree_(tree),
          budget_(tree.size() / sizeof(pe::ResourceDirectoryEntry)) {}

    struct Entry {
        ResourceName name;
        std::uint32_t offset = 0;
        bool isDirectory = false;
    };

    Result<std::vector<Entry>> directory(std::uint64_t offset) {
        const auto header = tree_.read<pe::ResourceDirectory>(offset);
        if (!header)
            return malformed("directory runs past the section", offset);
        const std::uint64_t count =
            std::uint64_t{header->numberOfNamedEntries} + header->numberOfIdEntries;
        if (count > budget_)
            return malformed("too many directory entries", offset);
        budget_ -= count;
        std::vector<Entry> entries;
        entries.reserve(count);
        for (std::uint64_t i = 0; i < count; ++i) {
            const std::uint64_t at = offset + directorySize(i);
            const auto raw = tree_.read<pe::ResourceDirectoryEntry>(at);
            if (!raw)
                return malformed("directory entry runs past the section", at);
            Entry entry;
            if (raw->name & pe::kNameIsStringBit) {
                auto name = string(raw->name & pe::kOffsetMask);
                if (!name)
                    return name.error();
                entry.name = std::move(*name);
            } else if (raw->name > 0xFFFF) {
                return malformed("resource ID " + hex(raw->name) + " wider than 16 bits", at);
            } else {
                entry.name = static_cast<std::uint16_t>(raw->name);
            }
            entry.isDirectory = (raw->offset & pe::kSubdirectoryBit) != 0;
            entry.offset = raw->offset & pe::kOffsetMask;
            entries.push_back(std::move(entry));
        }
        return entries;
    }

    Result<ListedResource> data(std::uint64_t offset) {
        const auto entry = tree_.read<pe::ResourceDataEntry>(offset);
        if (!entry)
            return malformed("data entry runs past the section", offset);
        auto fileOffset = image_.rvaToOffset(entry->dataRva, entry->size);
        // An empty resource has no bytes to find; where it points does not matter.
        if (entry->size == 0 && !fileOffset)
            fileOffset = 0;
        if (!fileOffset || !ByteReader(bytes_).has(*fileOffset, entry->size)) {
            return malformed("data at RVA " + hex(entry->dataRva) + " size " + hex(entry->size) +
                                 " lies outside the sections",
                             offset);
        }
        ListedResource resource;
        resource.size = entry->size;
        resource.dataRva = entry->dataRva;
        resource.fileOffset = *fileOffset;
        return resource;
    }

  private:
    Result<std::u16string> string(std::uint64_t offset) {
        const auto length = tree_.read<std::uint16_t>(offset);
        const auto units =
            length ? tree_.slice(offset + 2, std::uint64_t{*length} * 2) : std::nullopt;
        if (!units)
            return malformed("name runs past the section", offset);
        std::u16string text(*length, u'\0');
        std::memcpy(text.data(), units->data(), units->size());
        return text;
    }

    const PeImage& image_;
    std::span<const std::byte> bytes_;
    ByteReader tree_;
    std::uint64_t budget_;
};

}  // namespace

bool NameLess::operator()(const ResourceName& a, const ResourceName& b) const {
    const bool aIsString = std::holds_alternative<std::u16string>(a);
    const bool bIsString = std::holds_alternative<std::u16string>(b);
    if (aIsString != bIsString)
        return aIsString;
    if (aIsString)
        return std::get<std::u16string>(a) < std::get<std::u16string>(b);
    return std::get<std::uint16_t>(a) < std::get<std::uint16_t>(b);
}

bool KeyLess::operator()(const ResourceKey& a, const ResourceKey& b) const {
    const NameLess less;
    if (less(a.type, b.type))
        return true;
    if (less(b.type, a.type))
        return false;
    if (less(a.name, b.name))
        return true;
    if (less(b.name, a.name))
        return false;
    return a.language < b.language;
}

ResourceName normalisedName(const ResourceName& name) {
    if (!std::holds_alternative<std::u16string>(name))
        return name;
    std::u16string text = std::get<std::u16string>(name);
    // The loader upper-cases names before it compares them.
    for (char16_t& unit : text) unit = static_cast<char16_t>(text::toUpperCase(unit));
    return text;
}

Result<std::vector<ListedResource>> readResourceTree(const PeImage& image,
                                                     std::span<const std::byte> bytes) {
    std::vector<ListedResource> listed;
    const pe::DataDirectory directory = image.directory(pe::kDirectoryResource);
    if (directory.address == 0)
        return listed;
    const auto section = image.sectionOfRva(directory.address);
    const auto start = image.rvaToOffset(directory.address, sizeof(pe::ResourceDirectory));
    if (!section || !start) {
        return Error{"malformed resource tree: directory at RVA " + hex(directory.address) +
                         " lies outside the sections",
                     ErrorKind::BadFormat};
    }
    const pe::SectionHeader& header = image.sections[*section];
    const std::uint64_t end = std::uint64_t{header.pointerToRawData} + header.sizeOfRawData;
    TreeReader reader(image, bytes, bytes.subspan(*start, end - *start));

    // Three levels, as the format has them: type, name, language.
    auto types = reader.directory(0);
    if (!types)
        return types.error();
    for (const auto& type : *types) {
        if (!type.isDirectory)
            return malformed("type entry is not a directory", 0);
        auto names = reader.directory(type.offset);
        if (!names)
            return names.error();
        for (const auto& name : *names) {
            if (!name.isDirectory)
                return malformed("name entry is not a directory", type.offset);
            auto languages = reader.directory(name.offset);
            if (!languages)
                return languages.error();
            for (const auto& language : *languages) {
                if (language.isDirectory || !std::holds_alternative<std::uint16_t>(language.name)) {
                    return malformed("language entry is not a data entry", name.offset);
                }
                auto resource = reader.data(language.offset);
                if (!resource)
                    return resource.error();
                resource->type = type.name;
                resource->name = name.name;
                resource->language = std::get<std::uint16_t>(language.name);
                listed.push_back(std::move(*resource));
            }
        }
    }
    return listed;
}

namespace {

// The resources in tree order, grouped by type, then by name.
void groupByLevel(const ResourceMap& resources, TreeLayout& layout) {
    for (const auto& [key, data] : resources) {
        if (layout.types.empty() || layout.types.back().name != key.type)
            layout.types.push_back({key.type, 0, {}});
        auto& names = layout.types.back().names;
        if (names.empty() || names.back().name != key.name)
            names.push_back({key.name, 0, {}});
        names.back().languages.push_back({key.language, &data, 0, 0});
    }
}

// Each step below places one kind of item from `offset` on and returns where
// the next begins.

// The type directory at 0, then the name directories, then the language
// directories: breadth first.
std::uint64_t placeDirectories(TreeLayout& layout) {
    std::uint64_t offset = directorySize(layout.types.size());
    for (auto& type : layout.types) {
        type.directoryOffset = offset;
        offset += directorySize(type.names.size());
    }
    for (auto& type : layout.types) {
        for (auto& name : type.names) {
            name.directoryOffset = offset;
            offset += directorySize(name.languages.size());
        }
    }
    return offset;
}

// Each distinct string name once, types' and names' alike.
std::uint64_t placeStrings(TreeLayout& layout, std::uint64_t offset) {
    auto placeString = [&](const ResourceName& name) {
        if (const auto* text = std::get_if<std::u16string>(&name)) {
            if (layout.stringOffsets.emplace(*text, offset).second) {
                offset = alignUp(offset + 2 + text->size() * 2, kItemAlignment);
            }
        }
    };
    for (const auto& type : layout.types) {
        placeString(type.name);
        for (const auto& name : type.names) placeString(name.name);
    }
    return offset;
}

std::uint64_t placeDataEntries(TreeLayout& layout, std::uint64_t offset) {
    for (auto& type : layout.types) {
        for (auto& name : type.names) {
            for (auto& language : name.languages) {
                language.entryOffset = offset;
                offset += sizeof(pe::ResourceDataEntry);
            }
        }
    }
    return offset;
}

// The data blocks, one for each resource but those that share a block.
std::uint64_t placeData(TreeLayout& layout, std::uint64_t offset) {
    // Where each shared view's block went, by its first byte and length.
    std::map<std::pair<const std::byte*, std::size_t>, std::uint64_t> sharedBlocks;
    for (auto& type : layout.types) {
        for (auto& name : type.names) {
            for (auto& language : name.languages) {
                if (language.data->shared) {
                    const auto view = language.data->shared->bytes;
                    const auto [block, first] =
                        sharedBlocks.try_emplace({view.data(), view.size()}, offset);
                    if (!first) {
                        language.dataOffset = block->second;
                        language.sharesBlock = true;
                        continue;
                    }
                }
                language.dataOffset = offset;
                // An empty resource still takes a slot, so that its address
                // lies inside the section even when it comes last.
                offset = alignUp(offset + std::max<std::uint64_t>(language.data->size(), 1),
                                 kItemAlignment);
            }
        }
    }
    return offset;
}

}  // namespace

TreeLayout prepareTree(const ResourceMap& resources) {
    TreeLayout layout;
    groupByLevel(resources, layout);
    // Directories, then strings, then data entries, then data.
    std::uint64_t offset = placeDirectories(layout);
    offset = placeStrings(layout, offset);
    layout.dataStart = placeDataEntries(layout, offset);
    layout.size = placeData(layout, layout.dataStart);
    return layout;
}

namespace {

Error treeDoesNotFit() {
    return Error{"internal error: the resource tree does not fit its section",
                 ErrorKind::Internal};
}

// Directory counts are 16-bit; 65536 distinct names of one type cannot be written.
Error tooManyNames(std::size_t count) {
    return Error{"too many resource names in one directory (" + std::to_string(count) +
                     ", at most 65535)",
                 ErrorKind::Unsupported};
}

std::size_t countNamed(const auto& items) {
    std::size_t named = 0;
    for (const auto& item : items) named += std::holds_alternative<std::u16string>(item.name);
    return named;
}

pe::ResourceDirectoryEntry directoryEntry(std::uint32_t name, std::uint64_t offset,
                                          bool isDirectory) {
    return pe::ResourceDirectoryEntry{
        name, static_cast<std::uint32_t>(offset) | (isDirectory ? pe::kSubdirectoryBit : 0)};
}

// Writes the tree's three levels of directories, its data entries and its
// strings, each at its offset in the layout.
class TreeWriter {
  public:
    TreeWriter(const TreeLayout& layout, std::uint32_t treeRva, std::span<std::byte> out)
        : layout_(layout), treeRva_(treeRva), size_(out.size()), writer_(out) {}

    Status types() {
        if (layout_.types.size() > 0xFFFF)
            return tooManyNames(layout_.types.size());
        directory(0, countNamed(layout_.types), layout_.types.size());
        for (std::size_t t = 0; t < layout_.types.size(); ++t) {
            const auto& type = layout_.types[t];
            if (type.names.size() > 0xFFFF)
                return tooManyNames(type.names.size());
            writer_.write(directorySize(t),
                          directoryEntry(nameField(type.name), type.directoryOffset, true));
            if (Status s = names(type); !s)
                return s;
        }
        return {};
    }

    void strings() {
        for (const auto& [text, at] : layout_.stringOffsets) {
            writer_.write(at, static_cast<std::uint16_t>(text.size()));
            writer_.copy(at + 2, std::as_bytes(std::span(text)));
        }
    }

    bool failed() const { return writer_.failed(); }

  private:
    Status names(const TreeLayout::Type& type) {
        directory(type.directoryOffset, countNamed(type.names), type.names.size());
        for (std::size_t n = 0; n < type.names.size(); ++n) {
            const auto& name = type.names[n];
            writer_.write(type.directoryOffset + directorySize(n),
                          directoryEntry(nameField(name.name), name.directoryOffset, true));
            if (Status s = languages(name); !s)
                return s;
        }
        return {};
    }

    // The language directory and each language's data entry.
    Status languages(const TreeLayout::Name& name) {
        directory(name.directoryOffset, 0, name.languages.size());
        for (std::size_t l = 0; l < name.languages.size(); ++l) {
            const auto& language = name.languages[l];
            writer_.write(name.directoryOffset + directorySize(l),
                          directoryEntry(language.id, language.entryOffset, false));
            pe::ResourceDataEntry data{};
            data.dataRva = static_cast<std::uint32_t>(treeRva_ + language.dataOffset);
            data.size = static_cast<std::uint32_t>(language.data->size());
            writer_.write(language.entryOffset, data);
            if (!rangeFits(language.dataOffset, data.size, size_))
                return treeDoesNotFit();
        }
        return {};
    }

    void directory(std::uint64_t at, std::size_t named, std::size_t total) {
        pe::ResourceDirectory header{};
        header.numberOfNamedEntries = static_cast<std::uint16_t>(named);
        header.numberOfIdEntries = static_cast<std::uint16_t>(total - named);
        writer_.write(at, header);
    }

    std::uint32_t nameField(const ResourceName& name) const {
        if (const auto* id = std::get_if<std::uint16_t>(&name))
            return *id;
        return pe::kNameIsStringBit |
               static_cast<std::uint32_t>(layout_.stringOffsets.at(std::get<std::u16string>(name)));
    }

    const TreeLayout& layout_;
    std::uint32_t treeRva_;
    std::uint64_t size_;
    ByteWriter writer_;
};

}  // namespace

Status serialiseTree(const TreeLayout& layout, std::uint32_t treeRva, std::span<std::byte> out) {
    if (out.size() < layout.size)
        return treeDoesNotFit();
    if (layout.size > pe::kOffsetMask || std::uint64_t{treeRva} + layout.size > 0xFFFFFFFF) {
        return Error{"the resources are too large for one image (" + std::to_string(layout.size) +
                         " bytes at RVA " + hex(treeRva) + ")",
                     ErrorKind::Unsupported};
    }
    TreeWriter writer(layout, treeRva, out);
    if (Status s = writer.types(); !s)
        return s;
    writer.strings();
    if (writer.failed())
        return treeDoesNotFit();
    return {};
}

}  // namespace platform::resource
