#include "updater/input_file.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <string>

#include "platform/files/files.h"

namespace updater {
namespace fs = std::filesystem;

namespace {

// Where each first touch of a 4 KB page is costly (paravirtualised paging,
// ~20 us a page here), filling a block through page faults costs more than
// reading the file from the page cache. A file of 64 KB or more is read into
// a block whose pages are made present in one call beforehand, and whose
// 2 MB-aligned interior is asked to be backed by huge pages. Both are hints
// that kernels without them ignore.
constexpr std::uint64_t kLargeFile = std::uint64_t{64} << 10;
constexpr std::uintptr_t kPage = std::uintptr_t{4} << 10;
constexpr std::uintptr_t kHugePage = std::uintptr_t{2} << 20;
#ifndef MADV_POPULATE_WRITE
#define MADV_POPULATE_WRITE 23  // Linux 5.14; older headers lack the name
#endif

void advise(void* data, std::size_t size, std::uintptr_t alignment, int advice) {
    const auto start = reinterpret_cast<std::uintptr_t>(data);
    const std::uintptr_t first = (start + alignment - 1) / alignment * alignment;
    const std::uintptr_t last = (start + size) / alignment * alignment;
    if (last > first)
        ::madvise(reinterpret_cast<void*>(first), last - first, advice);
}

void prepareBlock(void* data, std::size_t size) {
#ifdef MADV_HUGEPAGE
    advise(data, size, kHugePage, MADV_HUGEPAGE);
#endif
    advise(data, size, kPage, MADV_POPULATE_WRITE);
}

// A large regular file read straight into its block; nullopt for anything
// else (small, not regular, unreadable), which the ordinary reader then
// takes, reporting its errors. Takes what the file yields, as that reader does.
std::optional<std::vector<std::byte>> readLargeFile(const fs::path& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return std::nullopt;
    struct stat info {};
    std::optional<std::vector<std::byte>> result;
    if (::fstat(fd, &info) == 0 && S_ISREG(info.st_mode) &&
        static_cast<std::uint64_t>(info.st_size) >= kLargeFile) {
        std::vector<std::byte> bytes;
        bytes.reserve(static_cast<std::size_t>(info.st_size));
        prepareBlock(bytes.data(), bytes.capacity());
        bytes.resize(static_cast<std::size_t>(info.st_size));
        std::size_t used = 0;
        for (;;) {
            // At the size stat gave, read into a small spare first: growing
            // the block would move it, for nothing at the usual end of file.
            std::byte spare[1 << 12];
            const bool full = used == bytes.size();
            const ssize_t got = full ? ::read(fd, spare, sizeof spare)
                                     : ::read(fd, bytes.data() + used, bytes.size() - used);
            if (got < 0 && errno == EINTR)
                continue;
            if (got <= 0) {
                if (got == 0) {
                    bytes.resize(used);
                    result = std::move(bytes);
                }
                break;
            }
            if (full)  // the file grew while it was read
                bytes.insert(bytes.end(), spare, spare + got);
            used += static_cast<std::size_t>(got);
        }
    }
    ::close(fd);
    return result;
}

std::optional<std::vector<std::byte>> readWhole(const fs::path& path) {
    if (auto bytes = readLargeFile(path))
        return bytes;
    if (auto bytes = platform::files::readFile(path))
        return std::move(bytes).value();
    return std::nullopt;
}

}  // namespace

std::optional<std::vector<std::byte>> readInputFile(const fs::path& workingDirectory,
                                                    std::string_view name) {
    if (name.empty())
        return std::nullopt;
    const fs::path asWritten(name);
    // readFile takes what the file yields, so a file that shrinks while it is
    // read (or reports more than it holds, as /sys files do) gives only the
    // bytes read.
    if (auto bytes = readWhole(workingDirectory / asWritten))
        return bytes;
    if (asWritten.is_absolute() || name.find('\\') == std::string_view::npos)
        return std::nullopt;
    std::string slashed(name);
    std::replace(slashed.begin(), slashed.end(), '\\', '/');
    return readWhole(workingDirectory / fs::path(slashed));
}

}  // namespace updater
