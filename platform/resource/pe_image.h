// Reading and validating the headers of a PE32 or PE32+ image.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "platform/resource/checksum.h"
#include "platform/resource/pe_format.h"
#include "platform/result.h"

namespace platform::resource {

struct PeImage {
    bool is64 = false;
    std::uint64_t fileSize = 0;
    std::uint64_t fileHeaderOffset = 0;
    std::uint64_t optionalHeaderOffset = 0;
    std::uint64_t dataDirectoriesOffset = 0;
    std::uint64_t sectionTableOffset = 0;
    pe::FileHeader fileHeader{};
    std::uint32_t sectionAlignment = 0;
    std::uint32_t fileAlignment = 0;
    std::uint32_t sizeOfHeaders = 0;
    std::uint32_t sizeOfImage = 0;
    std::uint32_t sizeOfInitializedData = 0;
    std::vector<pe::DataDirectory> directories;  // NumberOfRvaAndSizes entries
    std::vector<pe::SectionHeader> sections;     // in table order, which is address order
    std::uint64_t endOfSectionData = 0;          // where data after the last section begins

    pe::DataDirectory directory(std::uint32_t index) const {
        return index < directories.size() ? directories[index] : pe::DataDirectory{};
    }
    std::optional<std::size_t> sectionOfRva(std::uint32_t rva) const;
    // The file offset of `length` bytes at `rva`, when they all lie in one
    // section's raw data.
    std::optional<std::uint64_t> rvaToOffset(std::uint32_t rva, std::uint32_t length) const;
};

// The address space a section takes before alignment (VirtualSize, or the raw
// size for linkers that leave VirtualSize at zero).
inline std::uint64_t virtualSpan(const pe::SectionHeader& section) {
    return section.virtualSize != 0 ? section.virtualSize : section.sizeOfRawData;
}

inline std::uint64_t alignUp(std::uint64_t value, std::uint64_t alignment) {
    return (value + alignment - 1) / alignment * alignment;
}

std::string sectionName(const pe::SectionHeader& section);
std::string hex(std::uint64_t value);

// Validates the DOS header, PE signature, file header, optional header, data
// directories and section table. The Error says what is wrong and where.
Result<PeImage> parseImage(std::span<const std::byte> bytes);

// Whether the image's export table names `name`, as GetProcAddress finds it
// (letter case counts). false when it has no export table; an Error when the
// table or its name list lies outside the sections' data.
Result<bool> exportsName(std::span<const std::byte> bytes, const PeImage& image,
                         std::string_view name);

// The PE checksum: a 16-bit ones'-complement sum of the file's words (the
// checksum field counted as zero, an odd last byte as a word of its own)
// plus the file's length.
std::uint32_t peChecksum(std::span<const std::byte> image, std::uint64_t checkSumFieldOffset);

}  // namespace platform::resource
