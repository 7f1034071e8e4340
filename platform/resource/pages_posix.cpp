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

namespace {

// Applies `advice` to the whole pages inside `piece`: the partial pages at
// either end may hold other data (the allocator's bookkeeping, a neighbour).
void adviseWholePages(std::span<const std::byte> piece, int advice) {
    static const std::uintptr_t page = static_cast<std::uintptr_t>(::sysconf(_SC_PAGESIZE));
    const auto start = reinterpret_cast<std::uintptr_t>(piece.data());
    const std::uintptr_t first = (start + page - 1) / page * page;
    const std::uintptr_t last = (start + piece.size()) / page * page;
    if (last > first)
        ::madvise(reinterpret_cast<void*>(first), last - first, advice);
}

}  // namespace

void prefault(std::span<std::byte> memory) {
#ifdef MADV_POPULATE_WRITE  // Linux 5.14; an older kernel refuses it, and the pages fault as before
    adviseWholePages(memory, MADV_POPULATE_WRITE);
#else
    static_cast<void>(memory);
#endif
}

void dropPages(std::span<const std::byte> piece) {
    adviseWholePages(piece, MADV_DONTNEED);
}

}  // namespace platform::resource
