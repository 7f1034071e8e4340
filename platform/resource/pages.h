// Memory for writing a large image, from the system rather than the heap.
// One implementation per platform beside this header (pages_posix.cpp,
// pages_windows.cpp).
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

namespace platform::resource {

// Memory for a large image straight from the system: zero-filled, and not
// touched where nothing is written. The resource data never passes through
// it, so most of its pages are never mapped at all. (No huge pages: a read of
// the padding between two data blocks would fill 2 MB of zeros each.)
class ImageBuffer {
  public:
    ImageBuffer() = default;
    ImageBuffer(const ImageBuffer&) = delete;
    ImageBuffer& operator=(const ImageBuffer&) = delete;
    ~ImageBuffer();

    // `size` zero bytes; empty when the system has none to give, or when
    // this buffer already holds some.
    std::span<std::byte> allocate(std::uint64_t size);

  private:
    void* data_ = nullptr;
    std::size_t size_ = 0;
};

// Maps the whole pages inside `memory` at once, ahead of writes that would
// otherwise fault them in one by one: on some virtual machines each first
// touch of a page costs ten microseconds, and one call for them all half of
// that. A hint: a platform may do nothing.
void prefault(std::span<std::byte> memory);

// Gives back the whole pages of `piece` at once instead of when its block is
// freed, so that writing a 64 MB block out does not keep all of it. The block
// is freed right after its last piece and nothing reads it again (its
// dropped pages may read as zeros); the partial pages at either end, where
// the allocator keeps its bookkeeping, are left alone. A hint: a platform
// may keep them.
void dropPages(std::span<const std::byte> piece);

}  // namespace platform::resource
