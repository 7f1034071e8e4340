// Where the updater's resources go: the pending installer update in the
// program, a recorder in tests.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

#include "platform/resource/resource_types.h"

namespace updater {

class ResourceSink {
  public:
    virtual ~ResourceSink() = default;
    // Adds a language-neutral resource with a numeric type and ID; the sink
    // keeps its own copy of `data`.
    virtual void add(std::uint16_t type, std::uint16_t id, std::span<const std::byte> data) = 0;
    // The same, keeping a view into bytes shared with other resources
    // instead of a copy: resources added with the same view share one block.
    virtual void addShared(std::uint16_t type, std::uint16_t id,
                           platform::resource::SharedBytes data) = 0;
};

}  // namespace updater
