// Parses arbitrary bytes as an icon file. Beyond "no crash, no out-of-bounds
// access": a file that parses has every image inside it, and its group
// directory has the size and the IDs its count gives.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <span>

#include "updater/icon.h"

namespace {

void check(bool condition) {
    if (!condition)
        std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::span<const std::byte> file(reinterpret_cast<const std::byte*>(data), size);
    auto icon = updater::parseIcon(file);
    if (!icon)
        return 0;
    check(icon->images.size() == icon->header.count);
    for (const auto& image : icon->images) {
        check(!image.data.empty());
        check(image.data.data() >= file.data() &&
              image.data.data() + image.data.size() <= file.data() + file.size());
    }
    const std::uint32_t groupId = 65530;  // the IDs wrap past 65535
    auto group = updater::groupDirectory(*icon, groupId);
    check(group.size() == 6 + 14 * icon->images.size());
    check(std::memcmp(group.data(), data, 6) == 0);
    for (std::size_t i = 0; i < icon->images.size(); ++i) {
        std::uint16_t id;
        std::memcpy(&id, group.data() + 6 + 14 * i + 12, sizeof id);
        check(id == static_cast<std::uint16_t>(groupId + 1 + i));
    }
    return 0;
}
