// Where the updater's resources go: the pending installer update in the
// program, a recorder in tests.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

namespace updater {

class ResourceSink {
  public:
    virtual ~ResourceSink() = default;
    // Adds a language-neutral resource with a numeric type and ID; the sink
    // keeps its own copy of `data`.
    virtual void add(std::uint16_t type, std::uint16_t id, std::span<const std::byte> data) = 0;
};

}  // namespace updater
