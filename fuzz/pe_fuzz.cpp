// Opens arbitrary bytes as a PE image, lists its resources, adds a few and
// commits to memory. Beyond "no crash, no out-of-bounds access", every image
// we write must read back with our own reader and hold exactly what was added.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <vector>

#include "platform/resource/resource_update.h"

namespace {

using platform::resource::Existing;
using platform::resource::ResourceName;
using platform::resource::Update;

void check(bool condition) {
    if (!condition)
        std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const auto* begin = reinterpret_cast<const std::byte*>(data);
    const std::vector<std::byte> image(begin, begin + size);

    if (auto listed = platform::resource::listResources(std::span<const std::byte>(image))) {
        for (const auto& resource : *listed) {
            check(platform::resource::resourceData(image, resource).isOk());
        }
    }

    for (const Existing existing : {Existing::Delete, Existing::Keep}) {
        auto update = Update::beginFromBytes(image, existing);
        if (!update)
            continue;
        const std::vector<std::byte> one(1, std::byte{0x42});
        const std::vector<std::byte> block(5000, std::byte{0x17});
        update->add(ResourceName(std::uint16_t{10}), ResourceName(std::uint16_t{101}), 0, one);
        update->add(ResourceName(std::uint16_t{10}), ResourceName(std::uint16_t{102}), 0, {});
        update->add(ResourceName(std::u16string(u"Fuzz")), ResourceName(std::uint16_t{1}), 1033,
                    block);
        // Two resources on one view of shared bytes: one block, both entries at it.
        const auto shared = std::make_shared<const std::vector<std::byte>>(block);
        for (const std::uint16_t name : {1, 2}) {
            update->addShared(ResourceName(std::u16string(u"SHARED")), ResourceName(name), 0,
                              {shared, *shared});
        }
        platform::resource::CommitReport report;
        auto written = update->commitToMemory(&report);
        if (!written)
            continue;
        auto listed = platform::resource::listResources(std::span<const std::byte>(*written));
        check(listed.isOk());
        if (existing == Existing::Delete)
            check(listed->size() == 5);
        std::vector<std::uint64_t> sharedOffsets;
        for (const auto& resource : *listed) {
            auto bytes = platform::resource::resourceData(*written, resource);
            check(bytes.isOk());
            if (resource.type == ResourceName(std::u16string(u"FUZZ")))
                check(*bytes == block);
            if (resource.type == ResourceName(std::u16string(u"SHARED")) &&
                (resource.name == ResourceName(std::uint16_t{1}) ||
                 resource.name == ResourceName(std::uint16_t{2}))) {
                check(*bytes == block);
                sharedOffsets.push_back(resource.fileOffset);
            }
        }
        check(sharedOffsets.size() == 2 && sharedOffsets[0] == sharedOffsets[1]);
    }
    return 0;
}
