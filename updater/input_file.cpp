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

// A plugin of tens of MB is read into memory asked to be backed by huge
// pages: where each 4 KB page fault is costly (paravirtualised paging), filling
// 64 MB through small pages costs more than reading it from the page cache.
constexpr std::uint64_t kLargeFile = std::uint64_t{4} << 20;
constexpr std::uintptr_t kHugePage = std::uintptr_t{2} << 20;

void adviseHugePages(void* data, std::size_t size) {
#ifdef MADV_HUGEPAGE
    const auto start = reinterpret_cast<std::uintptr_t>(data);
    const std::uintptr_t first = (start + kHugePage - 1) / kHugePage * kHugePage;
    const std::uintptr_t last = (start + size) / kHugePage * kHugePage;
    if (last > first)
        ::madvise(reinterpret_cast<void*>(first), last - first, MADV_HUGEPAGE);  // a hint only
#else
    (void)data;
    (void)size;
#endif
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
        adviseHugePages(bytes.data(), bytes.capacity());
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
