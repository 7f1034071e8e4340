#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>

#include "platform/resource/pages.h"

namespace platform::resource {

ImageBuffer::~ImageBuffer() {
    if (data_ != nullptr)
        ::munmap(data_, size_);
}

std::span<std::byte> ImageBuffer::allocate(std::uint64_t size) {
    if (data_ != nullptr || size == 0 || size > SIZE_MAX)
        return {};
    void* data = ::mmap(nullptr, static_cast<std::size_t>(size), PROT_READ | PROT_WRITE,
                        MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (data == MAP_FAILED)
        return {};
    data_ = data;
    size_ = static_cast<std::size_t>(size);
    return {static_cast<std::byte*>(data_), size_};
}

void dropPages(std::span<const std::byte> piece) {
    static const std::uintptr_t page = static_cast<std::uintptr_t>(::sysconf(_SC_PAGESIZE));
    const auto start = reinterpret_cast<std::uintptr_t>(piece.data());
    const std::uintptr_t first = (start + page - 1) / page * page;
    const std::uintptr_t last = (start + piece.size()) / page * page;
    if (last > first)
        ::madvise(reinterpret_cast<void*>(first), last - first, MADV_DONTNEED);
}

}  // namespace platform::resource
