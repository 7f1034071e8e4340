#include "updater/icon.h"

#include <cstring>
#include <memory>
#include <utility>

#include "platform/bytes/byte_io.h"
#include "platform/resource/resource_types.h"
#include "updater/input_file.h"

namespace updater {
namespace {

constexpr std::uint16_t kIconFileType = 1;

std::uint16_t resourceId(std::uint32_t id) {
    return static_cast<std::uint16_t>(id & 0xFFFFu);
}

}  // namespace

std::optional<ParsedIcon> parseIcon(std::span<const std::byte> file) {
    const platform::bytes::ByteReader reader(file);
    auto header = reader.read<IconHeader>(0);
    // Only an icon file: a cursor (type 2) holds hotspots where an icon
    // holds planes and bit count, and a group of no images is no icon.
    if (!header || header->reserved != 0 || header->type != kIconFileType || header->count == 0)
        return std::nullopt;
    ParsedIcon icon{*header, {}};
    icon.images.reserve(header->count);
    for (std::uint64_t i = 0; i < header->count; ++i) {
        auto entry = reader.read<IconFileEntry>(sizeof(IconHeader) + i * sizeof(IconFileEntry));
        if (!entry)
            return std::nullopt;
        // An empty image would make a group entry that names nothing usable.
        if (entry->common.bytesInRes == 0)
            return std::nullopt;
        auto data = reader.slice(entry->imageOffset, entry->common.bytesInRes);
        if (!data)
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

int addIconFile(ResourceSink& update, std::shared_ptr<const std::vector<std::byte>> file,
                std::uint32_t groupId) {
    auto icon = parseIcon(*file);
    if (!icon)
        return 0;
    // Views, not copies: a file whose entries name the same 2 MB image
    // 32767 times would otherwise ask for 64 GB.
    for (std::size_t i = 0; i < icon->images.size(); ++i) {
        update.addShared(platform::resource::kTypeIcon,
                         resourceId(groupId + 1 + static_cast<std::uint32_t>(i)),
                         {file, icon->images[i].data});
    }
    update.add(platform::resource::kTypeGroupIcon, resourceId(groupId),
               groupDirectory(*icon, groupId));
    return 1;
}

int AddIcon(ResourceSink& update, const std::filesystem::path& workingDirectory,
            std::string_view iconPath, std::uint32_t groupId, const Warn& warn) {
    auto file = readInputFile(workingDirectory, iconPath, warn);
    if (!file)
        return 0;
    const int added = addIconFile(
        update, std::make_shared<const std::vector<std::byte>>(std::move(*file)), groupId);
    if (added == 0)
        warnUnreadable(warn, iconPath, "not a usable icon file");
    return added;
}

}  // namespace updater
