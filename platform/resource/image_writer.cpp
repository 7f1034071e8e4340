#include "platform/resource/image_writer.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <memory>
#include <optional>

#include "platform/bytes/byte_io.h"
#include "platform/resource/pages.h"

namespace platform::resource {

using bytes::ByteReader;
using bytes::ByteWriter;
using bytes::rangeFits;

namespace {

constexpr char kResourceSectionName[8] = {'.', 'r', 's', 'r', 'c', 0, 0, 0};
// The old section stays as dead space under a name that tools looking for
// ".rsrc" by name will not find.
constexpr char kRetiredSectionName[8] = {'.', 'o', 'l', 'd', 'r', 's', 'r', 'c'};
constexpr std::uint32_t kResourceCharacteristics = pe::kSectionInitializedData | pe::kSectionRead;
constexpr std::uint64_t kMaxFormatValue = 0xFFFFFFFF;

bool contains(const pe::SectionHeader& section, std::uint64_t rva) {
    return rva >= section.virtualAddress && rva < section.virtualAddress + virtualSpan(section);
}

// The section whose whole content is the resource tree, found through the
// resource directory or, when that is empty, by the name ".rsrc". A tree
// sharing its section with other data, or a section another directory points
// into, is left alone: replacing it would lose that data.
std::optional<std::size_t> findResourceSection(const PeImage& image) {
    const pe::DataDirectory resource = image.directory(pe::kDirectoryResource);
    std::optional<std::size_t> index;
    if (resource.address != 0) {
        index = image.sectionOfRva(resource.address);
        if (index && image.sections[*index].virtualAddress != resource.address)
            return std::nullopt;
    } else {
        for (std::size_t i = 0; i < image.sections.size() && !index; ++i) {
            if (sectionName(image.sections[i]) == ".rsrc")
                index = i;
        }
    }
    if (!index)
        return std::nullopt;
    for (std::uint32_t d = 0; d < image.directories.size(); ++d) {
        if (d == pe::kDirectoryResource || d == pe::kDirectorySecurity)
            continue;
        const std::uint32_t address = image.directories[d].address;
        if (address != 0 && contains(image.sections[*index], address))
            return std::nullopt;
    }
    return index;
}

// True when a base relocation patches an address inside `section` (so code
// refers to it), or when the relocations cannot be read to tell.
bool relocationsTouch(const PeImage& image, std::span<const std::byte> bytes,
                      const pe::SectionHeader& section) {
    const pe::DataDirectory directory = image.directory(pe::kDirectoryBaseRelocation);
    if (directory.address == 0 || directory.size == 0)
        return false;
    const auto start = image.rvaToOffset(directory.address, directory.size);
    if (!start)
        return true;
    const ByteReader reader(bytes);
    std::uint64_t position = 0;
    while (directory.size - position >= sizeof(pe::BaseRelocationBlock)) {
        const auto block = reader.read<pe::BaseRelocationBlock>(*start + position);
        if (!block || block->blockSize < sizeof(pe::BaseRelocationBlock) ||
            block->blockSize > directory.size - position) {
            return true;
        }
        for (std::uint64_t e = sizeof(pe::BaseRelocationBlock); e + 2 <= block->blockSize; e += 2) {
            const auto entry = reader.read<std::uint16_t>(*start + position + e);
            if (!entry)
                return true;
            if ((*entry >> 12) == 0)
                continue;  // IMAGE_REL_BASED_ABSOLUTE pads a block
            if (contains(section, std::uint64_t{block->pageRva} + (*entry & 0xFFF)))
                return true;
        }
        position += block->blockSize;
    }
    return false;
}

// A section after the resource section may be moved when nothing but the
// relocation and debug directories refers to it: the relocations themselves,
// or a discardable section that holds no code and that no relocation patches.
bool canMove(const PeImage& image, std::span<const std::byte> bytes, std::size_t index) {
    const pe::SectionHeader& section = image.sections[index];
    const pe::DataDirectory relocations = image.directory(pe::kDirectoryBaseRelocation);
    const bool isRelocations =
        (relocations.address != 0 && contains(section, relocations.address)) ||
        sectionName(section) == ".reloc";
    if (!isRelocations && !(section.characteristics & pe::kSectionDiscardable))
        return false;
    if (section.characteristics & (pe::kSectionCode | pe::kSectionExecute))
        return false;
    for (std::uint32_t d = 0; d < image.directories.size(); ++d) {
        if (d == pe::kDirectoryBaseRelocation || d == pe::kDirectoryDebug ||
            d == pe::kDirectorySecurity) {
            continue;
        }
        const std::uint32_t address = image.directories[d].address;
        if (address != 0 && contains(section, address))
            return false;
    }
    return !relocationsTouch(image, bytes, section);
}

// True when no raw data of another section lies between the start of
// section `index` and the end of the sections after it in the table.
bool rawDataInTableOrder(const PeImage& image, std::size_t index) {
    const pe::SectionHeader& section = image.sections[index];
    if (section.sizeOfRawData == 0)
        return false;
    for (std::size_t i = 0; i < image.sections.size(); ++i) {
        const pe::SectionHeader& other = image.sections[i];
        if (i == index || other.sizeOfRawData == 0)
            continue;
        const std::uint64_t otherEnd = std::uint64_t{other.pointerToRawData} + other.sizeOfRawData;
        if (i < index && otherEnd > section.pointerToRawData)
            return false;
        if (i > index && other.pointerToRawData < section.pointerToRawData)
            return false;
    }
    return true;
}

Status checkResources(const ResourceMap& resources) {
    for (const auto& [key, data] : resources) {
        if (data.size() > kMaxFormatValue) {
            return Error{"a resource of " + std::to_string(data.size()) +
                             " bytes is larger than the PE format allows",
                         ErrorKind::Unsupported};
        }
        for (const ResourceName* name : {&key.type, &key.name}) {
            const auto* text = std::get_if<std::u16string>(name);
            if (text && text->size() > 0xFFFF)
                return Error{"a resource name is too long", ErrorKind::Unsupported};
        }
    }
    return {};
}

const Error kBeyondFormat{"the updated image would exceed what the PE format can address",
                          ErrorKind::Unsupported};

// Where everything goes, decided before a byte is written.
struct Plan {
    Placement placement = Placement::Append;
    std::vector<pe::SectionHeader> sections;  // the new section table
    // Per section of the old table: how far it moves in memory and in the
    // file, and whether its raw data is copied to a new place.
    std::vector<std::int64_t> rvaDelta;
    std::vector<std::int64_t> rawDelta;
    std::vector<bool> moved;
    // The bound import table lay where the new section header goes: its
    // entry is cleared, and the loader resolves the imports itself.
    bool clearBoundImport = false;
    std::optional<std::size_t> replaced;  // the section whose old content the tree replaces
    std::size_t target = 0;               // the section (in `sections`) that receives the tree
    std::uint64_t oldEnd = 0;             // where data after the last section began
    std::uint64_t newEnd = 0;             // and where it will begin
    // Data after the last section is kept, less a certificate table: a
    // signature cannot survive the change. It is cut in two around that table.
    std::uint64_t certificateStart = 0;
    std::uint64_t certificateEnd = 0;
    std::uint64_t tailBefore = 0;  // bytes kept before the certificate table
    std::uint64_t tailAfter = 0;   // and after it
    std::uint64_t outputSize = 0;
    std::uint64_t sizeOfImage = 0;

    const pe::SectionHeader& treeSection() const { return sections[target]; }
};

// Resizes the resource section `r` where it stands, moving the sections
// after it, or, when they may not move, writes the tree over the old
// section if it fits. False when neither can be done.
Result<bool> planInResourceSection(const PeImage& image, std::span<const std::byte> bytes,
                                   const TreeLayout& layout, std::size_t r, Plan& plan) {
    const std::uint64_t treeRawSize = alignUp(layout.size, image.fileAlignment);
    const std::size_t count = image.sections.size();
    bool followersMovable = rawDataInTableOrder(image, r);
    for (std::size_t i = r + 1; i < count && followersMovable; ++i) {
        followersMovable = canMove(image, bytes, i);
    }
    pe::SectionHeader& section = plan.sections[r];
    if (followersMovable) {
        plan.placement = r + 1 == count ? Placement::Resize : Placement::Move;
        section.virtualSize = static_cast<std::uint32_t>(layout.size);
        section.sizeOfRawData = static_cast<std::uint32_t>(treeRawSize);
        std::uint64_t nextRva =
            alignUp(section.virtualAddress + layout.size, image.sectionAlignment);
        std::uint64_t nextRaw = section.pointerToRawData + treeRawSize;
        for (std::size_t i = r + 1; i < count; ++i) {
            pe::SectionHeader& follower = plan.sections[i];
            if (nextRva > kMaxFormatValue || nextRaw > kMaxFormatValue)
                return kBeyondFormat;
            plan.rvaDelta[i] = static_cast<std::int64_t>(nextRva) - follower.virtualAddress;
            follower.virtualAddress = static_cast<std::uint32_t>(nextRva);
            nextRva = alignUp(nextRva + virtualSpan(follower), image.sectionAlignment);
            if (follower.sizeOfRawData != 0) {
                const std::uint64_t pointer = alignUp(nextRaw, image.fileAlignment);
                plan.rawDelta[i] = static_cast<std::int64_t>(pointer) - follower.pointerToRawData;
                follower.pointerToRawData = static_cast<std::uint32_t>(pointer);
                nextRaw = pointer + follower.sizeOfRawData;
                plan.moved[i] = true;
            }
        }
        plan.newEnd = nextRaw;
    } else if (layout.size <= section.sizeOfRawData &&
               section.virtualAddress + layout.size <=
                   alignUp(section.virtualAddress + virtualSpan(section), image.sectionAlignment)) {
        plan.placement = Placement::InPlace;
        section.virtualSize = static_cast<std::uint32_t>(layout.size);
    } else {
        return false;
    }
    section.characteristics = kResourceCharacteristics;
    plan.replaced = plan.target = r;
    return true;
}

// Adds a new resource section after every other, in address space and in
// the file; the old one, if any, stays as dead space under another name.
Status planNewSection(const PeImage& image, std::span<const std::byte> bytes,
                      const TreeLayout& layout, std::optional<std::size_t> old, Plan& plan) {
    // One more section header must fit between the table and the first
    // section's data, over bytes no data directory points at. Bytes there
    // that nothing points at are free, whatever they hold: Windows' own
    // resource update writes over them too.
    const std::size_t count = image.sections.size();
    const std::uint64_t tableEnd = image.sectionTableOffset + count * sizeof(pe::SectionHeader);
    std::uint64_t firstData = image.sizeOfHeaders;
    std::uint64_t endOfAddresses = 0;
    for (const auto& section : image.sections) {
        if (section.sizeOfRawData != 0)
            firstData = std::min<std::uint64_t>(firstData, section.pointerToRawData);
        endOfAddresses = std::max(endOfAddresses, section.virtualAddress + virtualSpan(section));
    }
    const std::uint64_t slotEnd = tableEnd + sizeof(pe::SectionHeader);
    const std::string noRoom =
        "cannot add a resource section: no room in the headers for another section header";
    if (slotEnd > firstData || !ByteReader(bytes).has(tableEnd, sizeof(pe::SectionHeader)))
        return Error{noRoom, ErrorKind::Unsupported};
    for (std::uint32_t d = 0; d < image.directories.size(); ++d) {
        const pe::DataDirectory directory = image.directories[d];
        // The certificate table's address is a file offset past the sections.
        if (d == pe::kDirectorySecurity || directory.address == 0 || directory.address >= slotEnd ||
            std::uint64_t{directory.address} + std::max<std::uint32_t>(directory.size, 1) <=
                tableEnd) {
            continue;
        }
        if (d != pe::kDirectoryBoundImport) {
            return Error{noRoom + " (data directory " + std::to_string(d) + " lies there)",
                         ErrorKind::Unsupported};
        }
        plan.clearBoundImport = true;
    }
    // No other section may answer to the new one's name.
    for (std::size_t i = 0; i < count; ++i) {
        if (i == old || sectionName(plan.sections[i]) == ".rsrc")
            std::memcpy(plan.sections[i].name, kRetiredSectionName, sizeof plan.sections[i].name);
    }
    const std::uint64_t treeRawSize = alignUp(layout.size, image.fileAlignment);
    const std::uint64_t rva = alignUp(endOfAddresses, image.sectionAlignment);
    const std::uint64_t pointer = alignUp(plan.oldEnd, image.fileAlignment);
    if (rva + layout.size > kMaxFormatValue || pointer + treeRawSize > kMaxFormatValue)
        return kBeyondFormat;
    pe::SectionHeader section{};
    std::memcpy(section.name, kResourceSectionName, sizeof section.name);
    section.virtualAddress = static_cast<std::uint32_t>(rva);
    section.virtualSize = static_cast<std::uint32_t>(layout.size);
    section.pointerToRawData = static_cast<std::uint32_t>(pointer);
    section.sizeOfRawData = static_cast<std::uint32_t>(treeRawSize);
    section.characteristics = kResourceCharacteristics;
    plan.target = plan.sections.size();
    plan.sections.push_back(section);
    plan.newEnd = pointer + treeRawSize;
    plan.placement = Placement::Append;
    return {};
}

// Phase one: decides where the tree goes, what moves with it, and how large
// the image and its address space become.
Result<Plan> planPlacement(const PeImage& image, std::span<const std::byte> bytes,
                           const TreeLayout& layout) {
    const std::size_t count = image.sections.size();
    Plan plan;
    plan.sections = image.sections;
    plan.rvaDelta.assign(count, 0);
    plan.rawDelta.assign(count, 0);
    plan.moved.assign(count, false);
    plan.oldEnd = plan.newEnd = image.endOfSectionData;

    const auto found = findResourceSection(image);
    bool placed = false;
    if (found) {
        auto inSection = planInResourceSection(image, bytes, layout, *found, plan);
        if (!inSection)
            return inSection.error();
        placed = *inSection;
    }
    if (!placed) {
        if (Status status = planNewSection(image, bytes, layout, found, plan); !status)
            return status.error();
    }

    const pe::DataDirectory security = image.directory(pe::kDirectorySecurity);
    plan.certificateStart = security.size ? security.address : image.fileSize;
    plan.certificateEnd = plan.certificateStart + security.size;
    plan.tailBefore = plan.certificateStart - plan.oldEnd;
    plan.tailAfter = image.fileSize - plan.certificateEnd;
    plan.outputSize = plan.newEnd + plan.tailBefore + plan.tailAfter;
    for (const auto& section : plan.sections) {
        plan.sizeOfImage =
            std::max(plan.sizeOfImage, section.virtualAddress + virtualSpan(section));
    }
    plan.sizeOfImage = alignUp(plan.sizeOfImage, image.sectionAlignment);
    if (plan.outputSize > kMaxFormatValue || plan.sizeOfImage > kMaxFormatValue)
        return kBeyondFormat;
    return plan;
}

// Phase two, first step: the headers and every section that stays where it
// was, the sections that move at their new places, and the tree's
// directories in its section. The resource data is left to writeImage;
// `built` learns where each block goes.
Status copySections(ByteWriter& writer, std::span<std::byte> out, const PeImage& image,
                    std::span<const std::byte> bytes, const TreeLayout& layout, const Plan& plan,
                    BuiltImage& built) {
    const ByteReader reader(bytes);
    const bool regrown = plan.replaced && plan.placement != Placement::InPlace;
    const std::uint64_t unchanged =
        regrown ? image.sections[*plan.replaced].pointerToRawData : plan.oldEnd;
    // The pages the copies fill, mapped in one call each.
    const auto mapAhead = [&](std::uint64_t offset, std::uint64_t size) {
        if (offset < out.size())
            prefault(out.subspan(offset, std::min<std::uint64_t>(size, out.size() - offset)));
    };
    mapAhead(0, unchanged);
    writer.copy(0, reader.slice(0, unchanged));
    for (std::size_t i = 0; i < image.sections.size(); ++i) {
        if (!plan.moved[i])
            continue;
        const pe::SectionHeader& section = image.sections[i];
        mapAhead(plan.sections[i].pointerToRawData, section.sizeOfRawData);
        writer.copy(plan.sections[i].pointerToRawData,
                    reader.slice(section.pointerToRawData, section.sizeOfRawData));
    }
    // A tree written in place goes over the old section's bytes, which must
    // not show through its padding; elsewhere the memory came zero-filled.
    const pe::SectionHeader& treeSection = plan.treeSection();
    if (plan.replaced && !regrown)
        writer.fill(treeSection.pointerToRawData, treeSection.sizeOfRawData, std::byte{0});
    if (!rangeFits(treeSection.pointerToRawData, treeSection.sizeOfRawData, out.size()) ||
        layout.size > treeSection.sizeOfRawData) {
        return Error{"internal error: the resource tree does not fit its section",
                     ErrorKind::Internal};
    }
    if (Status s = serialiseTree(layout, treeSection.virtualAddress,
                                 out.subspan(treeSection.pointerToRawData, layout.size));
        !s)
        return s.error();
    for (const auto& type : layout.types) {
        for (const auto& name : type.names) {
            for (const auto& language : name.languages) {
                const ResourceData& data = *language.data;
                const std::uint64_t offset = treeSection.pointerToRawData + language.dataOffset;
                if (!language.sharesBlock) {
                    built.data.push_back({offset, data.inMemory(),
                                          data.file ? &*data.file : nullptr,
                                          built.resources.size()});
                }
                ListedResource listed{type.name, name.name, language.id};
                listed.size = static_cast<std::uint32_t>(data.size());
                listed.dataRva =
                    static_cast<std::uint32_t>(treeSection.virtualAddress + language.dataOffset);
                listed.fileOffset = offset;
                built.resources.push_back(std::move(listed));
            }
        }
    }
    built.structure.push_back({0, image.sizeOfHeaders});
    built.structure.push_back({treeSection.pointerToRawData, layout.dataStart});
    return {};
}

// Phase two, second step: the data that followed the last section follows
// it again, without the certificate table.
void copyTrailingData(ByteWriter& writer, std::span<const std::byte> bytes, const Plan& plan) {
    const ByteReader reader(bytes);
    writer.copy(plan.newEnd, reader.slice(plan.oldEnd, plan.tailBefore));
    writer.copy(plan.newEnd + plan.tailBefore, reader.slice(plan.certificateEnd, plan.tailAfter));
}

// Where a file offset or an RVA of the old image lies in the new one;
// nullopt for what is gone (the replaced tree, the certificate table).
class Remap {
  public:
    Remap(const PeImage& image, const Plan& plan) : image_(image), plan_(plan) {}

    std::optional<std::uint64_t> offset(std::uint64_t offset) const {
        if (offset >= plan_.oldEnd) {
            if (offset < plan_.certificateStart)
                return offset - plan_.oldEnd + plan_.newEnd;
            if (offset < plan_.certificateEnd)
                return std::nullopt;
            return offset - plan_.certificateEnd + plan_.newEnd + plan_.tailBefore;
        }
        for (std::size_t i = 0; i < image_.sections.size(); ++i) {
            const pe::SectionHeader& section = image_.sections[i];
            if (section.sizeOfRawData == 0 || offset < section.pointerToRawData ||
                offset - section.pointerToRawData >= section.sizeOfRawData) {
                continue;
            }
            if (plan_.replaced == i)
                return std::nullopt;
            return offset + plan_.rawDelta[i];
        }
        return offset;
    }

    std::optional<std::uint32_t> rva(std::uint32_t rva) const {
        const auto index = image_.sectionOfRva(rva);
        if (!index)
            return rva;
        if (plan_.replaced == *index)
            return std::nullopt;
        return static_cast<std::uint32_t>(rva + plan_.rvaDelta[*index]);
    }

  private:
    const PeImage& image_;
    const Plan& plan_;
};

template <typename Header>
void patchOptionalHeader(ByteWriter& writer, std::span<const std::byte> original,
                         const PeImage& image, std::uint32_t sizeOfImage,
                         std::uint32_t sizeOfInitializedData) {
    auto header = ByteReader(original).read<Header>(image.optionalHeaderOffset);
    if (!header) {
        writer.fail();
        return;
    }
    header->layout.sizeOfImage = sizeOfImage;
    header->standard.sizeOfInitializedData = sizeOfInitializedData;
    header->layout.checkSum = 0;
    writer.write(image.optionalHeaderOffset, *header);
}

// Phase two, third step: the file header (section count, symbol table),
// the optional header (sizes; the checksum zero until writeImage), the data
// directories and the new section table.
void patchHeaders(ByteWriter& writer, const PeImage& image, std::span<const std::byte> bytes,
                  const TreeLayout& layout, const Plan& plan, const Remap& remap) {
    pe::FileHeader fileHeader = image.fileHeader;
    fileHeader.numberOfSections = static_cast<std::uint16_t>(plan.sections.size());
    if (fileHeader.pointerToSymbolTable != 0) {
        const auto symbols = remap.offset(fileHeader.pointerToSymbolTable);
        fileHeader.pointerToSymbolTable = symbols ? static_cast<std::uint32_t>(*symbols) : 0;
        if (!symbols)
            fileHeader.numberOfSymbols = 0;
    }
    writer.write(image.fileHeaderOffset, fileHeader);

    const pe::SectionHeader& treeSection = plan.treeSection();
    std::int64_t initializedData = image.sizeOfInitializedData;
    initializedData += treeSection.sizeOfRawData;
    if (plan.replaced) {
        const pe::SectionHeader& replaced = image.sections[*plan.replaced];
        if (replaced.characteristics & pe::kSectionInitializedData)
            initializedData -= replaced.sizeOfRawData;
    }
    const auto initialized =
        static_cast<std::uint32_t>(std::clamp<std::int64_t>(initializedData, 0, kMaxFormatValue));
    const auto sizeOfImage = static_cast<std::uint32_t>(plan.sizeOfImage);
    if (image.is64) {
        patchOptionalHeader<pe::OptionalHeader64>(writer, bytes, image, sizeOfImage, initialized);
    } else {
        patchOptionalHeader<pe::OptionalHeader32>(writer, bytes, image, sizeOfImage, initialized);
    }

    for (std::uint32_t d = 0; d < image.directories.size(); ++d) {
        pe::DataDirectory directory = image.directories[d];
        if (d == pe::kDirectorySecurity ||
            (d == pe::kDirectoryBoundImport && plan.clearBoundImport)) {
            directory = {};
        } else if (d == pe::kDirectoryResource) {
            directory = {treeSection.virtualAddress, static_cast<std::uint32_t>(layout.size)};
        } else if (directory.address != 0) {
            directory.address = remap.rva(directory.address).value_or(directory.address);
        }
        writer.write(image.dataDirectoriesOffset + d * sizeof(pe::DataDirectory), directory);
    }
    for (std::size_t i = 0; i < plan.sections.size(); ++i) {
        writer.write(image.sectionTableOffset + i * sizeof(pe::SectionHeader), plan.sections[i]);
    }
}

// Phase two, last step: debug directory entries hold both an RVA and a
// file offset of their data, and the entries themselves may have moved.
void remapDebugDirectory(ByteWriter& writer, const PeImage& image, std::span<const std::byte> bytes,
                         const Remap& remap) {
    const ByteReader reader(bytes);
    const pe::DataDirectory debug = image.directory(pe::kDirectoryDebug);
    const auto debugStart =
        debug.address ? image.rvaToOffset(debug.address, debug.size) : std::nullopt;
    for (std::uint64_t k = 0; debugStart && k < debug.size / sizeof(pe::DebugDirectoryEntry); ++k) {
        const std::uint64_t at = *debugStart + k * sizeof(pe::DebugDirectoryEntry);
        auto entry = reader.read<pe::DebugDirectoryEntry>(at);
        const auto newAt = remap.offset(at);
        if (!entry || !newAt)
            continue;
        if (entry->pointerToRawData != 0) {
            entry->pointerToRawData = static_cast<std::uint32_t>(
                remap.offset(entry->pointerToRawData).value_or(entry->pointerToRawData));
        }
        if (entry->addressOfRawData != 0) {
            entry->addressOfRawData =
                remap.rva(entry->addressOfRawData).value_or(entry->addressOfRawData);
        }
        writer.write(*newAt, *entry);
    }
}

}  // namespace

Result<BuiltImage> buildImage(const PeImage& image, std::span<const std::byte> bytes,
                              const ResourceMap& resources, CommitReport* report,
                              const ImageMemory& memory) {
    if (image.directories.size() <= pe::kDirectoryResource) {
        return Error{"cannot add resources: the image has no resource directory entry",
                     ErrorKind::Unsupported};
    }
    if (Status status = checkResources(resources); !status)
        return status.error();

    // Phase one: lay out the tree and decide where it goes.
    const TreeLayout layout = prepareTree(resources);
    if (layout.size > pe::kOffsetMask) {
        return Error{
            "resources too large for one image (" + std::to_string(layout.size) + " bytes)",
            ErrorKind::Unsupported};
    }
    const auto plan = planPlacement(image, bytes, layout);
    if (!plan)
        return plan.error();

    // Phase two: write the image in one pass.
    const std::span<std::byte> out = memory(plan->outputSize);
    if (out.size() != plan->outputSize) {
        return Error{"not enough memory for the updated image (" +
                         std::to_string(plan->outputSize) + " bytes)",
                     ErrorKind::OutOfMemory};
    }
    ByteWriter writer(out);
    BuiltImage built;
    built.frame = out;
    if (Status status = copySections(writer, out, image, bytes, layout, *plan, built); !status)
        return status.error();
    copyTrailingData(writer, bytes, *plan);
    const Remap remap(image, *plan);
    patchHeaders(writer, image, bytes, layout, *plan, remap);
    remapDebugDirectory(writer, image, bytes, remap);
    if (writer.failed())
        return Error{"internal error: the image layout went out of bounds", ErrorKind::Internal};
    // The checksum field stays zero here; writeImage fills it in.
    built.checkSumOffset = image.optionalHeaderOffset + pe::kCheckSumOffset;

    if (report) {
        report->signatureRemoved = image.directory(pe::kDirectorySecurity).size != 0;
        report->placement = plan->placement;
    }
    return built;
}

Error changedWhileUpdating(const std::filesystem::path& file) {
    return Error{files::utf8Name(file) + " changed while the installer was being updated",
                 ErrorKind::Changed};
}

namespace {

// A file's data goes through user space in chunks of this size: large enough
// that the sink writes each one straight to the file, and few system calls.
constexpr std::size_t kFileChunk = std::size_t{1} << 20;

// Streams exactly a measured file's bytes into the sink, adding them to
// `checksum` on their way. The name must hold the file measured, unchanged,
// when the read begins and once it has reached the end: a write meanwhile
// shows in the file's stamp, another file put in its place in its identity.
// A file that yields more or fewer bytes than measured, and a name that no
// longer holds a regular file, are changed files too. A failed read or
// write is reported as what it is.
Status streamMeasuredFile(const FileData& file, files::ByteSink& sink, ChecksumSum& checksum,
                          std::span<std::byte> chunk) {
    const Error changed = changedWhileUpdating(file.path);
    // InputFile refuses a pipe without waiting.
    auto source = files::InputFile::open(file.path);
    if (!source) {
        if (source.kind() == ErrorKind::NotRegularFile || source.kind() == ErrorKind::IsADirectory)
            return changed;
        return source.error();
    }
    auto opened = source->stamp();
    if (!opened)
        return opened.error();
    if (*opened != file.stamp)
        return changed;
    std::uint64_t done = 0;
    while (done < file.size) {
        const auto want =
            static_cast<std::size_t>(std::min<std::uint64_t>(chunk.size(), file.size - done));
        auto got = source->read(chunk.first(want));
        if (!got)
            return got.error();
        if (*got == 0)
            return changed;  // fewer bytes than measured
        const auto bytes = chunk.first(*got);
        checksum.add(bytes);
        if (Status s = sink.write(bytes); !s)
            return s;
        done += *got;
    }
    std::byte more;
    auto beyond = source->read({&more, 1});
    if (!beyond)
        return beyond.error();
    if (*beyond != 0)
        return changed;
    // The name held the file a moment ago: one that can no longer be told
    // (gone, or on Windows waiting to be deleted) holds it no longer.
    const auto now = files::stampOf(file.path);
    return now && *now == file.stamp ? Status{} : changed;
}

}  // namespace

namespace {

// Writes one block of resource data: a measured file streamed from its
// place, or bytes held in memory in pieces that `copied` is told of.
class DataWriter {
  public:
    DataWriter(files::ByteSink& sink, ChecksumSum& checksum, const DataCopied& copied)
        : sink_(sink), checksum_(checksum), copied_(copied) {}

    Status write(const BuiltImage::Data& data) {
        if (data.file) {
            if (!chunk_) {
                // Not zero-filled: only bytes read are used.
                chunk_.reset(new std::byte[kFileChunk]);
                prefault({chunk_.get(), kFileChunk});
            }
            return streamMeasuredFile(*data.file, sink_, checksum_, {chunk_.get(), kFileChunk});
        }
        std::size_t done = 0;
        do {
            const auto piece =
                data.bytes.subspan(done, std::min(kCopyPiece, data.bytes.size() - done));
            checksum_.add(piece);
            if (Status s = sink_.write(piece); !s)
                return s;
            if (copied_)
                copied_(data.resource, piece);
            done += piece.size();
        } while (done < data.bytes.size());
        return {};
    }

  private:
    files::ByteSink& sink_;
    ChecksumSum& checksum_;
    const DataCopied& copied_;
    std::unique_ptr<std::byte[]> chunk_;
};

Error outOfImage() {
    return Error{"internal error: the resource data overlaps or leaves the image",
                 ErrorKind::Internal};
}

}  // namespace

Result<std::uint32_t> writeImage(const BuiltImage& built, files::ByteSink& sink,
                                 const DataCopied& copied) {
    ChecksumSum checksum;
    auto put = [&](std::span<const std::byte> bytes) {
        checksum.add(bytes);
        return sink.write(bytes);
    };
    DataWriter writer(sink, checksum, copied);
    const ByteReader frame(built.frame);
    std::uint64_t position = 0;
    for (std::size_t index = 0; index < built.data.size(); ++index) {
        const BuiltImage::Data& data = built.data[index];
        const auto before = frame.slice(position, data.offset - position);
        if (data.offset < position || !before || !frame.has(data.offset, data.size()))
            return outOfImage();
        // Between two blocks lies only their alignment padding: zeros, in
        // pages of the frame nothing wrote, which a read would fault in one
        // by one. They are written from a constant.
        static constexpr std::byte kPadding[16]{};
        const bool padding = index > 0 && before->size() <= sizeof kPadding;
        if (Status s = put(padding ? std::span(kPadding).first(before->size()) : *before); !s)
            return s.error();
        if (Status s = writer.write(data); !s)
            return s.error();
        position = data.offset + data.size();
    }
    const auto rest = frame.slice(position, frame.size() - position);
    if (!rest)
        return outOfImage();
    if (Status s = put(*rest); !s)
        return s.error();
    const std::uint32_t checkSum = checksum.value();
    std::byte field[4];
    std::memcpy(field, &checkSum, sizeof field);
    if (!frame.has(built.checkSumOffset, sizeof field))
        return Error{"internal error: the checksum field lies outside the image",
                     ErrorKind::Internal};
    if (Status s = sink.overwrite(built.checkSumOffset, field); !s)
        return s.error();
    return checkSum;
}

namespace {

constexpr const char* kNotReadBack = "written image does not read back: ";

Error notReadBack(const std::string& what, ErrorKind kind) {
    return Error{kNotReadBack + what, kind};
}

// Reads `size` bytes at `offset` of `input` into the same place of `copy`;
// false when the file ends first.
Result<bool> readPart(files::InputFile& input, std::span<std::byte> copy, std::uint64_t offset,
                      std::uint64_t size) {
    auto target = copy.subspan(static_cast<std::size_t>(offset), static_cast<std::size_t>(size));
    while (!target.empty()) {
        auto got = input.readAt(offset, target);
        if (!got)
            return got.error();
        if (*got == 0)
            return false;
        target = target.subspan(*got);
        offset += *got;
    }
    return true;
}

// Reads the headers and the resource tree of the written file into their
// places in `copy` (the file's size, its other pages never touched) and
// checks each byte against what was built, the checksum in its field. A
// failure to read keeps its kind and code, with what it stopped.
Status readStructure(const std::filesystem::path& file, const BuiltImage& built,
                     std::uint32_t checkSum, std::span<std::byte> copy) {
    const Error wrongSize = notReadBack("the file has the wrong size", ErrorKind::Io);
    auto opened = files::InputFile::open(file);
    if (!opened)
        return opened.error().within(kNotReadBack);
    files::InputFile& input = *opened;
    auto stamp = input.stamp();
    if (!stamp)
        return stamp.error().within(kNotReadBack);
    if (stamp->size != built.frame.size())
        return wrongSize;
    std::byte field[4];
    std::memcpy(field, &checkSum, sizeof field);
    const auto meant = [&](std::uint64_t at) {
        return at - built.checkSumOffset < sizeof field ? field[at - built.checkSumOffset]
                                                        : built.frame[at];
    };
    for (const BuiltImage::Part& part : built.structure) {
        if (!rangeFits(part.offset, part.size, copy.size()))
            return notReadBack("a part lies outside the image", ErrorKind::Internal);
        auto read = readPart(input, copy, part.offset, part.size);
        if (!read)
            return read.error().within(kNotReadBack);
        if (!*read)
            return wrongSize;
        for (std::uint64_t at = part.offset; at < part.offset + part.size; ++at) {
            if (copy[at] != meant(at))
                return notReadBack("its bytes differ", ErrorKind::Io);
        }
    }
    return {};
}

}  // namespace

Status readBack(const std::filesystem::path& file, const BuiltImage& built,
                std::uint32_t checkSum) {
    // The image is parsed from the parts read alone: what it says is what
    // the file says.
    ImageBuffer memory;
    const std::span<std::byte> copy = memory.allocate(built.frame.size());
    if (copy.size() != built.frame.size())
        return Error{"not enough memory to read the written image back", ErrorKind::OutOfMemory};
    if (Status s = readStructure(file, built, checkSum, copy); !s)
        return s;
    // A tree that does not parse keeps the parser's kind and words: they
    // say which rule the written bytes break.
    auto parsed = parseImage(copy);
    if (!parsed)
        return parsed.error().within(kNotReadBack);
    auto listed = readResourceTree(*parsed, copy);
    if (!listed)
        return listed.error().within(kNotReadBack);
    if (listed->size() != built.resources.size())
        return notReadBack("wrong number of resources", ErrorKind::Internal);
    for (std::size_t i = 0; i < listed->size(); ++i) {
        const ListedResource& got = (*listed)[i];
        const ListedResource& wanted = built.resources[i];
        if (got.type != wanted.type || got.name != wanted.name || got.language != wanted.language ||
            got.size != wanted.size || got.dataRva != wanted.dataRva ||
            got.fileOffset != wanted.fileOffset) {
            return notReadBack("a resource differs", ErrorKind::Internal);
        }
    }
    return {};
}

}  // namespace platform::resource
