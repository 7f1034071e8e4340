#include <windows.h>

#include <cstdint>

#include "platform/resource/pages.h"

namespace platform::resource {

ImageBuffer::~ImageBuffer() {
    if (data_ != nullptr)
        ::VirtualFree(data_, 0, MEM_RELEASE);
}

std::span<std::byte> ImageBuffer::allocate(std::uint64_t size) {
    if (data_ != nullptr || size == 0 || size > SIZE_MAX)
        return {};
    // Committed pages read as zeros and take memory only once touched.
    void* data = ::VirtualAlloc(nullptr, static_cast<std::size_t>(size), MEM_RESERVE | MEM_COMMIT,
                                PAGE_READWRITE);
    if (data == nullptr)
        return {};
    data_ = data;
    size_ = static_cast<std::size_t>(size);
    return {static_cast<std::byte*>(data_), size_};
}

// Windows has no call that maps committed private pages ahead of their first
// touch in one go; they fault as they are written.
void prefault(std::span<std::byte>) {}

// The blocks come from the C runtime's heap, whose pages Windows offers no
// safe way to give back piecemeal; they go when the block is freed.
void dropPages(std::span<const std::byte>) {}

}  // namespace platform::resource
