#include "platform/resource/image_writer.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <optional>

#include "platform/bytes/byte_io.h"
#include "platform/resource/digest.h"

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

Status checkResources(const ResourceMap& resources) {
    for (const auto& [key, data] : resources) {
        if (data.size() > kMaxFormatValue) {
            return Error{"a resource of " + std::to_string(data.size()) +
                         " bytes is larger than the PE format allows"};
        }
        for (const ResourceName* name : {&key.type, &key.name}) {
            const auto* text = std::get_if<std::u16string>(name);
            if (text && text->size() > 0xFFFF)
                return Error{"a resource name is too long"};
        }
    }
    return {};
}

}  // namespace

Result<BuiltImage> buildImage(const PeImage& image, std::span<const std::byte> bytes,
                              const ResourceMap& resources, CommitReport* report,
                              const ImageMemory& memory) {
    if (image.directories.size() <= pe::kDirectoryResource) {
        return Error{"cannot add resources: the image has no resource directory entry"};
    }
    if (Status status = checkResources(resources); !status)
        return status.error();

    // Phase one: lay out the tree and decide where it goes.
    const TreeLayout layout = prepareTree(resources);
    if (layout.size > pe::kOffsetMask) {
        return Error{"resources too large for one image (" + std::to_string(layout.size) +
                     " bytes)"};
    }
    const std::uint64_t fileAlignment = image.fileAlignment;
    const std::uint64_t sectionAlignment = image.sectionAlignment;
    const std::uint64_t treeRawSize = alignUp(layout.size, fileAlignment);
    const std::uint64_t oldEnd = image.endOfSectionData;
    const std::size_t count = image.sections.size();

    std::vector<pe::SectionHeader> sections = image.sections;
    std::vector<std::int64_t> rvaDelta(count, 0);
    std::vector<std::int64_t> rawDelta(count, 0);
    std::vector<bool> moved(count, false);
    std::optional<std::size_t> replaced;  // the section whose old content the tree replaces
    std::size_t target = 0;               // the section (in `sections`) that receives the tree
    std::uint64_t newEnd = oldEnd;        // where data after the last section will begin
    Placement placement = Placement::Append;

    const auto found = findResourceSection(image);
    bool append = !found;
    if (found) {
        const std::size_t r = *found;
        bool followersMovable = rawDataInTableOrder(image, r);
        for (std::size_t i = r + 1; i < count && followersMovable; ++i) {
            followersMovable = canMove(image, bytes, i);
        }
        pe::SectionHeader& section = sections[r];
        if (followersMovable) {
            placement = r + 1 == count ? Placement::Resize : Placement::Move;
            section.virtualSize = static_cast<std::uint32_t>(layout.size);
            section.sizeOfRawData = static_cast<std::uint32_t>(treeRawSize);
            std::uint64_t nextRva = alignUp(section.virtualAddress + layout.size, sectionAlignment);
            std::uint64_t nextRaw = section.pointerToRawData + treeRawSize;
            for (std::size_t i = r + 1; i < count; ++i) {
                pe::SectionHeader& follower = sections[i];
                if (nextRva > kMaxFormatValue || nextRaw > kMaxFormatValue) {
                    return Error{"the updated image would exceed what the PE format can address"};
                }
                rvaDelta[i] = static_cast<std::int64_t>(nextRva) - follower.virtualAddress;
                follower.virtualAddress = static_cast<std::uint32_t>(nextRva);
                nextRva = alignUp(nextRva + virtualSpan(follower), sectionAlignment);
                if (follower.sizeOfRawData != 0) {
                    const std::uint64_t pointer = alignUp(nextRaw, fileAlignment);
                    rawDelta[i] = static_cast<std::int64_t>(pointer) - follower.pointerToRawData;
                    follower.pointerToRawData = static_cast<std::uint32_t>(pointer);
                    nextRaw = pointer + follower.sizeOfRawData;
                    moved[i] = true;
                }
            }
            newEnd = nextRaw;
            replaced = target = r;
        } else if (layout.size <= section.sizeOfRawData &&
                   section.virtualAddress + layout.size <=
                       alignUp(section.virtualAddress + virtualSpan(section), sectionAlignment)) {
            placement = Placement::InPlace;
            section.virtualSize = static_cast<std::uint32_t>(layout.size);
            replaced = target = r;
        } else {
            append = true;
        }
        if (!append)
            section.characteristics = kResourceCharacteristics;
    }

    if (append) {
        // One more section header must fit between the table and the first
        // section's data, over bytes nothing else uses.
        const std::uint64_t tableEnd = image.sectionTableOffset + count * sizeof(pe::SectionHeader);
        std::uint64_t firstData = image.sizeOfHeaders;
        std::uint64_t endOfAddresses = 0;
        for (const auto& section : image.sections) {
            if (section.sizeOfRawData != 0) {
                firstData = std::min<std::uint64_t>(firstData, section.pointerToRawData);
            }
            endOfAddresses =
                std::max(endOfAddresses, section.virtualAddress + virtualSpan(section));
        }
        const auto slot = ByteReader(bytes).slice(tableEnd, sizeof(pe::SectionHeader));
        if (tableEnd + sizeof(pe::SectionHeader) > firstData || !slot ||
            std::any_of(slot->begin(), slot->end(),
                        [](std::byte b) { return b != std::byte{0}; })) {
            return Error{
                "cannot add a resource section: no room in the headers for another "
                "section header"};
        }
        // The old resource section stays as dead space; no other section may
        // answer to the new one's name.
        for (std::size_t i = 0; i < count; ++i) {
            if (i == found || sectionName(sections[i]) == ".rsrc") {
                std::memcpy(sections[i].name, kRetiredSectionName, sizeof sections[i].name);
            }
        }
        pe::SectionHeader section{};
        std::memcpy(section.name, kResourceSectionName, sizeof section.name);
        const std::uint64_t rva = alignUp(endOfAddresses, sectionAlignment);
        const std::uint64_t pointer = alignUp(oldEnd, fileAlignment);
        if (rva + layout.size > kMaxFormatValue || pointer + treeRawSize > kMaxFormatValue) {
            return Error{"the updated image would exceed what the PE format can address"};
        }
        section.virtualAddress = static_cast<std::uint32_t>(rva);
        section.virtualSize = static_cast<std::uint32_t>(layout.size);
        section.pointerToRawData = static_cast<std::uint32_t>(pointer);
        section.sizeOfRawData = static_cast<std::uint32_t>(treeRawSize);
        section.characteristics = kResourceCharacteristics;
        target = sections.size();
        sections.push_back(section);
        newEnd = pointer + treeRawSize;
        placement = Placement::Append;
    }

    // Data after the last section is kept, less a certificate table: a
    // signature cannot survive the change.
    const pe::DataDirectory security = image.directory(pe::kDirectorySecurity);
    const std::uint64_t certificateStart = security.size ? security.address : image.fileSize;
    const std::uint64_t certificateEnd = certificateStart + security.size;
    const std::uint64_t tailBefore = certificateStart - oldEnd;
    const std::uint64_t tailAfter = image.fileSize - certificateEnd;
    const std::uint64_t outputSize = newEnd + tailBefore + tailAfter;

    std::uint64_t sizeOfImage = 0;
    for (const auto& section : sections) {
        sizeOfImage = std::max(sizeOfImage, section.virtualAddress + virtualSpan(section));
    }
    sizeOfImage = alignUp(sizeOfImage, sectionAlignment);
    if (outputSize > kMaxFormatValue || sizeOfImage > kMaxFormatValue) {
        return Error{"the updated image would exceed what the PE format can address"};
    }

    auto remapOffset = [&](std::uint64_t offset) -> std::optional<std::uint64_t> {
        if (offset >= oldEnd) {
            if (offset < certificateStart)
                return offset - oldEnd + newEnd;
            if (offset < certificateEnd)
                return std::nullopt;
            return offset - certificateEnd + newEnd + tailBefore;
        }
        for (std::size_t i = 0; i < count; ++i) {
            const pe::SectionHeader& section = image.sections[i];
            if (section.sizeOfRawData == 0 || offset < section.pointerToRawData ||
                offset - section.pointerToRawData >= section.sizeOfRawData) {
                continue;
            }
            if (replaced == i)
                return std::nullopt;
            return offset + rawDelta[i];
        }
        return offset;
    };
    auto remapRva = [&](std::uint32_t rva) -> std::optional<std::uint32_t> {
        const auto index = image.sectionOfRva(rva);
        if (!index)
            return rva;
        if (replaced == *index)
            return std::nullopt;
        return static_cast<std::uint32_t>(rva + rvaDelta[*index]);
    };

    // Phase two: write the image in one pass.
    const ByteReader reader(bytes);
    const std::span<std::byte> out = memory(outputSize);
    if (out.size() != outputSize) {
        return Error{"not enough memory for the updated image (" + std::to_string(outputSize) +
                     " bytes)"};
    }
    ByteWriter writer(out);
    const bool regrown = replaced && placement != Placement::InPlace;
    const std::uint64_t unchanged = regrown ? image.sections[*replaced].pointerToRawData : oldEnd;
    writer.copy(0, reader.slice(0, unchanged));
    for (std::size_t i = 0; i < count; ++i) {
        if (!moved[i])
            continue;
        const pe::SectionHeader& section = image.sections[i];
        writer.copy(sections[i].pointerToRawData,
                    reader.slice(section.pointerToRawData, section.sizeOfRawData));
    }
    // A tree written in place goes over the old section's bytes, which must
    // not show through its padding; elsewhere the memory came zero-filled.
    const pe::SectionHeader& treeSection = sections[target];
    if (replaced && !regrown)
        writer.fill(treeSection.pointerToRawData, treeSection.sizeOfRawData, std::byte{0});
    if (!rangeFits(treeSection.pointerToRawData, treeSection.sizeOfRawData, out.size()) ||
        !serialiseTree(layout, treeSection.virtualAddress,
                       out.subspan(treeSection.pointerToRawData, layout.size))) {
        return Error{"internal error: the resource tree does not fit its section"};
    }
    BuiltImage built;
    built.frame = out;
    for (const auto& type : layout.types) {
        for (const auto& name : type.names) {
            for (const auto& language : name.languages) {
                const ResourceData& data = *language.data;
                built.data.push_back({treeSection.pointerToRawData + language.dataOffset,
                                      data.bytes, data.file ? &*data.file : nullptr});
            }
        }
    }
    writer.copy(newEnd, reader.slice(oldEnd, tailBefore));
    writer.copy(newEnd + tailBefore, reader.slice(certificateEnd, tailAfter));

    pe::FileHeader fileHeader = image.fileHeader;
    fileHeader.numberOfSections = static_cast<std::uint16_t>(sections.size());
    if (fileHeader.pointerToSymbolTable != 0) {
        const auto symbols = remapOffset(fileHeader.pointerToSymbolTable);
        fileHeader.pointerToSymbolTable = symbols ? static_cast<std::uint32_t>(*symbols) : 0;
        if (!symbols)
            fileHeader.numberOfSymbols = 0;
    }
    writer.write(image.fileHeaderOffset, fileHeader);

    const pe::SectionHeader* retiredOrReplaced = replaced ? &image.sections[*replaced] : nullptr;
    std::int64_t initializedData = image.sizeOfInitializedData;
    initializedData += treeSection.sizeOfRawData;
    if (retiredOrReplaced && (retiredOrReplaced->characteristics & pe::kSectionInitializedData)) {
        initializedData -= retiredOrReplaced->sizeOfRawData;
    }
    const auto initialized =
        static_cast<std::uint32_t>(std::clamp<std::int64_t>(initializedData, 0, kMaxFormatValue));
    if (image.is64) {
        patchOptionalHeader<pe::OptionalHeader64>(
            writer, bytes, image, static_cast<std::uint32_t>(sizeOfImage), initialized);
    } else {
        patchOptionalHeader<pe::OptionalHeader32>(
            writer, bytes, image, static_cast<std::uint32_t>(sizeOfImage), initialized);
    }

    for (std::uint32_t d = 0; d < image.directories.size(); ++d) {
        pe::DataDirectory directory = image.directories[d];
        if (d == pe::kDirectorySecurity) {
            directory = {};
        } else if (d == pe::kDirectoryResource) {
            directory = {treeSection.virtualAddress, static_cast<std::uint32_t>(layout.size)};
        } else if (directory.address != 0) {
            directory.address = remapRva(directory.address).value_or(directory.address);
        }
        writer.write(image.dataDirectoriesOffset + d * sizeof(pe::DataDirectory), directory);
    }
    for (std::size_t i = 0; i < sections.size(); ++i) {
        writer.write(image.sectionTableOffset + i * sizeof(pe::SectionHeader), sections[i]);
    }

    // Debug directory entries hold both an RVA and a file offset of their data.
    const pe::DataDirectory debug = image.directory(pe::kDirectoryDebug);
    const auto debugStart =
        debug.address ? image.rvaToOffset(debug.address, debug.size) : std::nullopt;
    for (std::uint64_t k = 0; debugStart && k < debug.size / sizeof(pe::DebugDirectoryEntry); ++k) {
        const std::uint64_t at = *debugStart + k * sizeof(pe::DebugDirectoryEntry);
        auto entry = reader.read<pe::DebugDirectoryEntry>(at);
        const auto newAt = remapOffset(at);
        if (!entry || !newAt)
            continue;
        if (entry->pointerToRawData != 0) {
            entry->pointerToRawData = static_cast<std::uint32_t>(
                remapOffset(entry->pointerToRawData).value_or(entry->pointerToRawData));
        }
        if (entry->addressOfRawData != 0) {
            entry->addressOfRawData =
                remapRva(entry->addressOfRawData).value_or(entry->addressOfRawData);
        }
        writer.write(*newAt, *entry);
    }

    if (writer.failed())
        return Error{"internal error: the image layout went out of bounds"};
    // The checksum field stays zero here; writeImage fills it in.
    built.checkSumOffset = image.optionalHeaderOffset + pe::kCheckSumOffset;

    if (report) {
        report->signatureRemoved = security.size != 0;
        report->placement = placement;
    }
    return built;
}

namespace {

// Opens a measured file again and has the sink copy exactly its measured
// bytes; a file gone, shorter or longer is a changed file, a failed write is
// reported as itself.
Status copyMeasuredFile(const FileData& file, files::ByteSink& sink) {
    const Error changed{file.path.string() + " changed while the installer was being updated"};
    const files::FileDescriptor fd(
        ::open(file.path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));  // a pipe must not block
    if (fd.get() < 0)
        return changed;
    struct stat info {};
    if (::fstat(fd.get(), &info) != 0 || !S_ISREG(info.st_mode))
        return changed;
    auto copied = sink.copyFrom(fd.get(), file.size);
    if (!copied)
        return copied.error();
    std::byte more;
    if (*copied != file.size || ::pread(fd.get(), &more, 1, static_cast<off_t>(file.size)) != 0)
        return changed;
    return {};
}

}  // namespace

Result<WrittenImage> writeImage(const BuiltImage& built, files::ByteSink& sink,
                                const DataCopied& copied) {
    WrittenImage written;
    ChecksumSum checksum;
    Digest digest;  // of the region being written
    std::uint64_t regionStart = 0;
    auto endRegion = [&](std::uint64_t end) {
        if (end > regionStart)
            written.regions.push_back({regionStart, end - regionStart, digest.value(), nullptr});
        regionStart = end;
        digest = Digest{};
    };
    auto put = [&](std::span<const std::byte> bytes) {
        checksum.add(bytes);
        digest.add(bytes);
        return sink.write(bytes);
    };
    const ByteReader frame(built.frame);
    std::uint64_t position = 0;
    for (std::size_t index = 0; index < built.data.size(); ++index) {
        const BuiltImage::Data& data = built.data[index];
        const auto before = frame.slice(position, data.offset - position);
        if (data.offset < position || !before || !frame.has(data.offset, data.size()))
            return Error{"internal error: the resource data overlaps or leaves the image"};
        if (Status s = put(*before); !s)
            return s.error();
        if (data.file) {
            endRegion(data.offset);
            if (Status s = copyMeasuredFile(*data.file, sink); !s)
                return s.error();
            checksum.append(data.file->checksum);
            if (data.file->size > 0) {
                written.regions.push_back(
                    {data.offset, data.file->size, data.file->digest, data.file});
            }
            regionStart = data.offset + data.file->size;
        } else {
            std::size_t done = 0;
            do {
                const auto piece =
                    data.bytes.subspan(done, std::min(kCopyPiece, data.bytes.size() - done));
                if (Status s = put(piece); !s)
                    return s.error();
                if (copied)
                    copied(index, piece);
                done += piece.size();
            } while (done < data.bytes.size());
        }
        position = data.offset + data.size();
    }
    const auto rest = frame.slice(position, frame.size() - position);
    if (!rest)
        return Error{"internal error: the resource data overlaps or leaves the image"};
    if (Status s = put(*rest); !s)
        return s.error();
    endRegion(frame.size());
    written.checkSum = checksum.value();
    std::byte field[4];
    std::memcpy(field, &written.checkSum, sizeof field);
    if (!frame.has(built.checkSumOffset, sizeof field))
        return Error{"internal error: the checksum field lies outside the image"};
    if (Status s = sink.overwrite(built.checkSumOffset, field); !s)
        return s.error();
    return written;
}

}  // namespace platform::resource
