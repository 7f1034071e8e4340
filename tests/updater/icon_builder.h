// Icon files for tests: a few images with distinct bytes and directory
// fields, laid out header, directory, then the images in order.
#pragma once

#include <cstring>
#include <string>
#include <vector>

#include "updater/icon.h"

namespace updater_test {

inline std::string makeIcon(const std::vector<std::size_t>& imageSizes) {
    updater::IconHeader header{0, 1, static_cast<std::uint16_t>(imageSizes.size())};
    std::string file(sizeof header, '\0');
    std::memcpy(file.data(), &header, sizeof header);
    std::uint32_t offset = static_cast<std::uint32_t>(
        sizeof header + imageSizes.size() * sizeof(updater::IconFileEntry));
    std::string images;
    for (std::size_t i = 0; i < imageSizes.size(); ++i) {
        auto n = static_cast<std::uint8_t>(i);
        updater::IconFileEntry entry{
            {static_cast<std::uint8_t>(16 + n), static_cast<std::uint8_t>(32 + n), n,
             static_cast<std::uint8_t>(0xA0 + n), 1, static_cast<std::uint16_t>(0x0820 + n),
             static_cast<std::uint32_t>(imageSizes[i])},
            offset};
        std::string bytes(sizeof entry, '\0');
        std::memcpy(bytes.data(), &entry, sizeof entry);
        file += bytes;
        for (std::size_t b = 0; b < imageSizes[i]; ++b) {
            images.push_back(static_cast<char>('a' + (i * 7 + b) % 26));
        }
        offset += static_cast<std::uint32_t>(imageSizes[i]);
    }
    return file + images;
}

// Offset of entry i's fields in an icon file.
inline std::size_t entryOffset(std::size_t i) {
    return sizeof(updater::IconHeader) + i * sizeof(updater::IconFileEntry);
}
inline constexpr std::size_t kSizeField = 8;
inline constexpr std::size_t kOffsetField = 12;

inline void putU32(std::string& file, std::size_t at, std::uint32_t value) {
    std::memcpy(file.data() + at, &value, sizeof value);
}

}  // namespace updater_test
