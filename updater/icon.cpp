#include "updater/icon.h"

#include <cstring>

#include "platform/bytes/byte_io.h"
#include "platform/resource/resource_types.h"
#include "updater/input_file.h"

namespace updater {
namespace {

std::uint16_t resourceId(std::uint32_t id) {
    return static_cast<std::uint16_t>(id & 0xFFFFu);
}

}  // namespace

std::optional<ParsedIcon> parseIcon(std::span<const std::byte> file) {
    const platform::bytes::ByteReader reader(file);
    auto header = reader.read<IconHeader>(0);
    if (!header)
        return std::nullopt;
    ParsedIcon icon{*header, {}};
    icon.images.reserve(header->count);
    // The images share no bytes with each other or the directory in a real
    // icon file. Entries pointing at the same bytes again and again would
    // each be copied into the installer: a 2 MB file could ask for 128 GB.
    const std::uint64_t directoryEnd =
        sizeof(IconHeader) + std::uint64_t{header->count} * sizeof(IconFileEntry);
    std::uint64_t imageBytes = 0;
    for (std::uint64_t i = 0; i < header->count; ++i) {
        auto entry = reader.read<IconFileEntry>(sizeof(IconHeader) + i * sizeof(IconFileEntry));
        if (!entry)
            return std::nullopt;
        // An empty image would make a group entry that names nothing usable.
        if (entry->common.bytesInRes == 0)
            return std::nullopt;
        auto data = reader.slice(entry->imageOffset, entry->common.bytesInRes);
        imageBytes += entry->common.bytesInRes;
        if (!data || imageBytes > file.size() - directoryEnd)
            return std::nullopt;
        icon.images.push_back({entry->common, *data});
    }
    return icon;
}

std::vector<std::byte> groupDirectory(const ParsedIcon& icon, std::uint32_t groupId) {
    std::vector<std::byte> out(sizeof(IconHeader) + icon.images.size() * sizeof(GroupIconEntry));
    std::memcpy(out.data(), &icon.header, sizeof(IconHeader));
    for (std::size_t i = 0; i < icon.images.size(); ++i) {
        GroupIconEntry entry{icon.images[i].common,
                             resourceId(groupId + 1 + static_cast<std::uint32_t>(i))};
        std::memcpy(out.data() + sizeof(IconHeader) + i * sizeof(GroupIconEntry), &entry,
                    sizeof entry);
    }
    return out;
}

int AddIcon(ResourceSink& update, const std::filesystem::path& workingDirectory,
            std::string_view iconPath, std::uint32_t groupId) {
    auto file = readInputFile(workingDirectory, iconPath);
    if (!file)
        return 0;
    auto icon = parseIcon(*file);
    if (!icon)
        return 0;
    for (std::size_t i = 0; i < icon->images.size(); ++i) {
        update.add(platform::resource::kTypeIcon,
                   resourceId(groupId + 1 + static_cast<std::uint32_t>(i)), icon->images[i].data);
    }
    update.add(platform::resource::kTypeGroupIcon, resourceId(groupId),
               groupDirectory(*icon, groupId));
    return 1;
}

}  // namespace updater
