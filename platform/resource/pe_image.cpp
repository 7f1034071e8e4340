#include "platform/resource/pe_image.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>

#include "platform/bytes/byte_io.h"

namespace platform::resource {

using bytes::ByteReader;
using bytes::rangeFits;

std::string hex(std::uint64_t value) {
    char text[24];
    std::snprintf(text, sizeof text, "0x%llX", static_cast<unsigned long long>(value));
    return text;
}

std::string sectionName(const pe::SectionHeader& section) {
    const char* end = static_cast<const char*>(std::memchr(section.name, 0, sizeof section.name));
    return std::string(section.name, end ? end : section.name + sizeof section.name);
}

std::optional<std::size_t> PeImage::sectionOfRva(std::uint32_t rva) const {
    for (std::size_t i = 0; i < sections.size(); ++i) {
        const std::uint64_t start = sections[i].virtualAddress;
        if (rva >= start && rva < start + virtualSpan(sections[i]))
            return i;
    }
    return std::nullopt;
}

std::optional<std::uint64_t> PeImage::rvaToOffset(std::uint32_t rva, std::uint32_t length) const {
    const auto index = sectionOfRva(rva);
    if (!index)
        return std::nullopt;
    const pe::SectionHeader& section = sections[*index];
    const std::uint64_t inSection = std::uint64_t{rva} - section.virtualAddress;
    if (!rangeFits(inSection, length, section.sizeOfRawData))
        return std::nullopt;
    return std::uint64_t{section.pointerToRawData} + inSection;
}

namespace {

bool isPowerOfTwo(std::uint32_t value) {
    return value != 0 && (value & (value - 1)) == 0;
}

Error truncated(const std::string& what, std::uint64_t offset) {
    return Error{"truncated PE file: " + what + " at " + hex(offset) + " runs past the end",
                 ErrorKind::BadFormat};
}

Status checkSections(PeImage& image) {
    // The headers are mapped at address 0; sections follow them in address order.
    std::uint64_t previousEnd = image.sizeOfHeaders;
    std::string previousName = "the headers";
    std::vector<std::pair<std::uint64_t, std::size_t>> raw;  // (offset, index) with raw data
    for (std::size_t i = 0; i < image.sections.size(); ++i) {
        const pe::SectionHeader& section = image.sections[i];
        const std::string name =
            "section " + std::to_string(i + 1) + " (" + sectionName(section) + ")";
        const std::uint64_t start = section.virtualAddress;
        const std::uint64_t end = start + virtualSpan(section);
        if (start < previousEnd) {
            return Error{"bad section table: " + name + " at " + hex(start) + " overlaps " +
                             previousName + " in memory",
                         ErrorKind::BadFormat};
        }
        if (end > image.sizeOfImage) {
            return Error{"bad section table: " + name + " ends at " + hex(end) +
                             ", beyond SizeOfImage " + hex(image.sizeOfImage),
                         ErrorKind::BadFormat};
        }
        previousEnd = end;
        previousName = name;
        if (section.sizeOfRawData == 0)
            continue;
        if (!rangeFits(section.pointerToRawData, section.sizeOfRawData, image.fileSize)) {
            return Error{"truncated PE file: " + name + " data at " +
                             hex(section.pointerToRawData) + " runs past the end of the file",
                         ErrorKind::BadFormat};
        }
        if (section.pointerToRawData <
            image.sectionTableOffset + image.sections.size() * sizeof(pe::SectionHeader)) {
            return Error{"bad section table: " + name + " data at " +
                             hex(section.pointerToRawData) + " overlaps the headers",
                         ErrorKind::BadFormat};
        }
        raw.emplace_back(section.pointerToRawData, i);
    }
    std::sort(raw.begin(), raw.end());
    image.endOfSectionData = image.sizeOfHeaders;
    for (std::size_t k = 0; k < raw.size(); ++k) {
        const pe::SectionHeader& section = image.sections[raw[k].second];
        const std::uint64_t end = std::uint64_t{section.pointerToRawData} + section.sizeOfRawData;
        if (k + 1 < raw.size() && end > raw[k + 1].first) {
            return Error{"bad section table: data of section " + sectionName(section) +
                             " overlaps section " + sectionName(image.sections[raw[k + 1].second]) +
                             " at " + hex(raw[k + 1].first),
                         ErrorKind::BadFormat};
        }
        image.endOfSectionData = std::max(image.endOfSectionData, end);
    }
    return {};
}

// True when [address, address + size) lies in the headers or inside one
// section's span rounded up to the section alignment: the only places whose
// contents move with the image when its sections are laid out anew.
bool liesInHeadersOrOneSection(const PeImage& image, std::uint32_t address, std::uint32_t size) {
    if (address < image.sizeOfHeaders)
        return true;
    const auto index = image.sectionOfRva(address);
    if (!index)
        return false;
    const pe::SectionHeader& section = image.sections[*index];
    const std::uint64_t end =
        alignUp(section.virtualAddress + virtualSpan(section), image.sectionAlignment);
    return std::uint64_t{address} + size <= end;
}

// Every data directory but the certificate table holds an address in the
// image. One pointing outside it is damage, and one we must not carry over:
// once the resource section is laid out anew, a stale address past the old
// end would fall inside the new section, and the loader would read resource
// bytes as that directory. The same holds for a directory inside SizeOfImage
// but in no section, or running out of its section: nothing maps bytes there
// that could move with it, and the image we write ends with its sections.
// The resource table is exempt from the second rule, as it is replaced
// whole. A directory of address 0 and size 0 is absent.
Status checkDirectories(const PeImage& image) {
    static constexpr const char* kNames[pe::kMaxDataDirectories] = {
        "export table",         "import table",
        "resource table",       "exception table",
        "certificate table",    "base relocation table",
        "debug directory",      "architecture data",
        "global pointer",       "TLS table",
        "load config table",    "bound import table",
        "import address table", "delay import descriptor",
        "CLR runtime header",   "reserved"};
    for (std::uint32_t d = 0; d < image.directories.size(); ++d) {
        const pe::DataDirectory directory = image.directories[d];
        if (d == pe::kDirectorySecurity || (directory.address == 0 && directory.size == 0))
            continue;
        if (!rangeFits(directory.address, directory.size, image.sizeOfImage)) {
            return Error{"bad data directory: " + std::string(kNames[d]) + " at " +
                             hex(directory.address) + " size " + hex(directory.size) +
                             " lies outside the image, which ends at " + hex(image.sizeOfImage),
                         ErrorKind::BadFormat};
        }
        if (d != pe::kDirectoryResource &&
            !liesInHeadersOrOneSection(image, directory.address, directory.size)) {
            return Error{"bad data directory: " + std::string(kNames[d]) + " at " +
                             hex(directory.address) + " size " + hex(directory.size) +
                             " does not lie inside one section",
                         ErrorKind::BadFormat};
        }
    }
    return {};
}

// The DOS header and the PE signature it points at; sets where the file
// header begins.
Status readSignature(const ByteReader& reader, PeImage& image) {
    const auto dos = reader.read<pe::DosHeader>(0);
    if (!dos)
        return Error{"not a PE file: too short for a DOS header", ErrorKind::BadFormat};
    if (dos->magic != pe::kDosMagic)
        return Error{"not a PE file: no MZ signature at 0x0", ErrorKind::BadFormat};
    const std::uint64_t peOffset = dos->peHeaderOffset;
    const auto signature = reader.read<std::uint32_t>(peOffset);
    if (!signature) {
        return Error{
            "not a PE file: PE header offset " + hex(peOffset) + " points past the end of the file",
            ErrorKind::BadFormat};
    }
    if (*signature != pe::kPeSignature) {
        return Error{"not a PE file: bad signature at " + hex(peOffset), ErrorKind::BadFormat};
    }
    image.fileHeaderOffset = peOffset + 4;
    return {};
}

Status readFileHeader(const ByteReader& reader, PeImage& image) {
    const auto fileHeader = reader.read<pe::FileHeader>(image.fileHeaderOffset);
    if (!fileHeader)
        return truncated("file header", image.fileHeaderOffset);
    image.fileHeader = *fileHeader;
    const std::uint32_t sectionCount = fileHeader->numberOfSections;
    if (sectionCount == 0 || sectionCount > pe::kMaxSections) {
        return Error{"bad file header: " + std::to_string(sectionCount) + " sections at " +
                         hex(image.fileHeaderOffset + 2),
                     ErrorKind::BadFormat};
    }
    image.optionalHeaderOffset = image.fileHeaderOffset + sizeof(pe::FileHeader);
    return {};
}

// Takes what both layouts (PE32, PE32+) of the optional header hold; returns
// how many data directories follow its fixed part.
template <typename Header>
std::uint32_t takeOptionalHeader(const Header& header, PeImage& image) {
    image.sectionAlignment = header.layout.sectionAlignment;
    image.fileAlignment = header.layout.fileAlignment;
    image.sizeOfHeaders = header.layout.sizeOfHeaders;
    image.sizeOfImage = header.layout.sizeOfImage;
    image.sizeOfInitializedData = header.standard.sizeOfInitializedData;
    image.dataDirectoriesOffset = image.optionalHeaderOffset + sizeof(Header);
    return header.numberOfRvaAndSizes;
}

// The optional header in the layout its magic names.
Result<std::uint32_t> readOptionalHeader(const ByteReader& reader, PeImage& image) {
    const auto magic = reader.read<std::uint16_t>(image.optionalHeaderOffset);
    if (!magic)
        return truncated("optional header", image.optionalHeaderOffset);
    if (*magic == pe::kPe32Magic) {
        const auto header = reader.read<pe::OptionalHeader32>(image.optionalHeaderOffset);
        if (!header)
            return truncated("optional header", image.optionalHeaderOffset);
        return takeOptionalHeader(*header, image);
    }
    if (*magic == pe::kPe32PlusMagic) {
        const auto header = reader.read<pe::OptionalHeader64>(image.optionalHeaderOffset);
        if (!header)
            return truncated("optional header", image.optionalHeaderOffset);
        image.is64 = true;
        return takeOptionalHeader(*header, image);
    }
    return Error{"bad optional header: unknown magic " + hex(*magic) + " at " +
                     hex(image.optionalHeaderOffset),
                 ErrorKind::BadFormat};
}

// The optional header's counts and alignments, against the file header and
// against each other.
Status checkOptionalHeader(const PeImage& image, std::uint32_t directoryCount) {
    if (directoryCount > pe::kMaxDataDirectories) {
        return Error{"bad optional header: " + std::to_string(directoryCount) +
                         " data directories (at most 16)",
                     ErrorKind::BadFormat};
    }
    const std::uint64_t fixedSize = image.dataDirectoriesOffset - image.optionalHeaderOffset;
    if (fixedSize + std::uint64_t{directoryCount} * sizeof(pe::DataDirectory) >
        image.fileHeader.sizeOfOptionalHeader) {
        return Error{"bad file header: SizeOfOptionalHeader " +
                         std::to_string(image.fileHeader.sizeOfOptionalHeader) +
                         " is too small for its data directories",
                     ErrorKind::BadFormat};
    }
    if (!isPowerOfTwo(image.fileAlignment) || image.fileAlignment > 0x10000) {
        return Error{"bad optional header: FileAlignment " + hex(image.fileAlignment),
                     ErrorKind::BadFormat};
    }
    if (!isPowerOfTwo(image.sectionAlignment) || image.sectionAlignment < image.fileAlignment) {
        return Error{"bad optional header: SectionAlignment " + hex(image.sectionAlignment),
                     ErrorKind::BadFormat};
    }
    return {};
}

Status readDataDirectories(const ByteReader& reader, PeImage& image,
                           std::uint32_t directoryCount) {
    for (std::uint32_t i = 0; i < directoryCount; ++i) {
        const std::uint64_t at = image.dataDirectoriesOffset + i * sizeof(pe::DataDirectory);
        const auto directory = reader.read<pe::DataDirectory>(at);
        if (!directory)
            return truncated("data directory", at);
        image.directories.push_back(*directory);
    }
    return {};
}

// The section table, which must lie inside the headers that SizeOfHeaders
// covers.
Status readSectionTable(const ByteReader& reader, PeImage& image) {
    const std::uint32_t sectionCount = image.fileHeader.numberOfSections;
    image.sectionTableOffset = image.optionalHeaderOffset + image.fileHeader.sizeOfOptionalHeader;
    const std::uint64_t tableEnd =
        image.sectionTableOffset + std::uint64_t{sectionCount} * sizeof(pe::SectionHeader);
    if (!reader.has(image.sectionTableOffset, tableEnd - image.sectionTableOffset)) {
        return truncated("section table", image.sectionTableOffset);
    }
    if (tableEnd > image.sizeOfHeaders || image.sizeOfHeaders > image.fileSize) {
        return Error{"bad optional header: SizeOfHeaders " + hex(image.sizeOfHeaders) +
                         " does not cover the section table ending at " + hex(tableEnd) +
                         " or lies past the end of the file",
                     ErrorKind::BadFormat};
    }
    for (std::uint32_t i = 0; i < sectionCount; ++i) {
        image.sections.push_back(*reader.read<pe::SectionHeader>(image.sectionTableOffset +
                                                                 i * sizeof(pe::SectionHeader)));
    }
    return {};
}

// The certificate table lies after every section and inside the file.
Status checkCertificateTable(const ByteReader& reader, const PeImage& image) {
    const pe::DataDirectory security = image.directory(pe::kDirectorySecurity);
    if (security.size != 0) {
        if (security.address < image.endOfSectionData ||
            !reader.has(security.address, security.size)) {
            return Error{"bad certificate table: " + hex(security.address) + " size " +
                             hex(security.size) +
                             " does not lie after the sections inside the file",
                         ErrorKind::BadFormat};
        }
    }
    return {};
}

}  // namespace

Result<PeImage> parseImage(std::span<const std::byte> bytes) {
    const ByteReader reader(bytes);
    PeImage image;
    image.fileSize = reader.size();
    if (Status status = readSignature(reader, image); !status)
        return status.error();
    if (Status status = readFileHeader(reader, image); !status)
        return status.error();
    const auto directoryCount = readOptionalHeader(reader, image);
    if (!directoryCount)
        return directoryCount.error();
    if (Status status = checkOptionalHeader(image, *directoryCount); !status)
        return status.error();
    if (Status status = readDataDirectories(reader, image, *directoryCount); !status)
        return status.error();
    if (Status status = readSectionTable(reader, image); !status)
        return status.error();
    if (Status status = checkSections(image); !status)
        return status.error();
    if (Status status = checkDirectories(image); !status)
        return status.error();
    if (Status status = checkCertificateTable(reader, image); !status)
        return status.error();
    return image;
}

Result<bool> exportsName(std::span<const std::byte> bytes, const PeImage& image,
                         std::string_view name) {
    const ByteReader reader(bytes);
    const pe::DataDirectory directory = image.directory(pe::kDirectoryExport);
    if (directory.address == 0 && directory.size == 0)
        return false;
    const auto at = image.rvaToOffset(directory.address, sizeof(pe::ExportDirectory));
    const auto exports = at ? reader.read<pe::ExportDirectory>(*at) : std::nullopt;
    if (!exports) {
        return Error{
            "bad export table: " + hex(directory.address) + " does not lie in a section's data",
            ErrorKind::BadFormat};
    }
    // Four bytes an entry; a count that overflows 32 bits fits no section.
    const std::uint64_t tableBytes = std::uint64_t{exports->numberOfNames} * 4;
    const auto names =
        tableBytes <= UINT32_MAX
            ? image.rvaToOffset(exports->addressOfNames, static_cast<std::uint32_t>(tableBytes))
            : std::nullopt;
    if (!names) {
        return Error{"bad export table: its " + std::to_string(exports->numberOfNames) +
                         " names at " + hex(exports->addressOfNames) +
                         " do not lie in a section's data",
                     ErrorKind::BadFormat};
    }
    // A name that ends short of the section still ends before `name` would:
    // it is another name, not damage.
    const auto length = static_cast<std::uint32_t>(name.size() + 1);
    for (std::uint32_t i = 0; i < exports->numberOfNames; ++i) {
        const auto nameRva = reader.read<std::uint32_t>(*names + std::uint64_t{i} * 4);
        const auto offset = nameRva ? image.rvaToOffset(*nameRva, length) : std::nullopt;
        const auto text = offset ? reader.slice(*offset, length) : std::nullopt;
        if (text && std::memcmp(text->data(), name.data(), name.size()) == 0 &&
            (*text)[name.size()] == std::byte{0})
            return true;
    }
    return false;
}

std::uint32_t peChecksum(std::span<const std::byte> image, std::uint64_t checkSumFieldOffset) {
    const std::size_t fieldStart =
        static_cast<std::size_t>(std::min<std::uint64_t>(checkSumFieldOffset, image.size()));
    const std::size_t fieldEnd =
        static_cast<std::size_t>(std::min<std::uint64_t>(fieldStart + 4, image.size()));
    constexpr std::byte kZeros[4]{};
    ChecksumSum sum;
    sum.add(image.first(fieldStart));
    sum.add(std::span(kZeros, fieldEnd - fieldStart));  // the checksum field counts as zero
    sum.add(image.subspan(fieldEnd));
    return sum.value();
}

}  // namespace platform::resource
