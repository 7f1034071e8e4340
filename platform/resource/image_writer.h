// Building the updated image: placing the new resource section, moving what
// has to move, and writing headers, sections and trailing data in one pass.
#pragma once

#include <cstddef>
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

Result<std::vector<std::byte>> buildImage(const PeImage& image, std::span<const std::byte> bytes,
                                          const ResourceMap& resources, CommitReport* report);

}  // namespace platform::resource
