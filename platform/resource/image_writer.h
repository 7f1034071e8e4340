// Building the updated image: placing the new resource section, moving what
// has to move, and writing headers, sections and trailing data in one pass.
#pragma once

#include <cstddef>
#include <functional>
#include <span>
#include <vector>

#include "platform/resource/pe_image.h"
#include "platform/resource/resource_tree.h"
#include "platform/resource/resource_update.h"

namespace platform::resource {

// CommitReport::placement names the policy taken, one of these.
inline constexpr const char* kPlacementResize = "resize";     // resource section was last
inline constexpr const char* kPlacementMove = "move";         // following sections moved
inline constexpr const char* kPlacementInPlace = "in-place";  // tree fit the old section
inline constexpr const char* kPlacementAppend = "append";     // new section at the end

// Memory for the new image, asked for once its size is known. It must come
// zero-filled: the writer leaves padding untouched. An empty span refuses.
using ImageMemory = std::function<std::span<std::byte>(std::uint64_t size)>;

// Builds the updated image into memory from `memory` and returns it.
// `copied` hears of each piece of resource data once it is in place.
Result<std::span<std::byte>> buildImage(const PeImage& image, std::span<const std::byte> bytes,
                                        const ResourceMap& resources, CommitReport* report,
                                        const ImageMemory& memory, const DataCopied& copied = {});

}  // namespace platform::resource
