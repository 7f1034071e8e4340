// Whole-file reading and atomic replacement, shared by every layer that
// rewrites a file (profile writes, the resource commit, the editor's saves).
#pragma once

#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/result.h"

namespace platform::files {

// Owns an open file descriptor and closes it when it goes; -1 owns nothing.
class FileDescriptor {
  public:
    explicit FileDescriptor(int fd) : fd_(fd) {}
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;
    ~FileDescriptor() {
        if (fd_ >= 0)
            ::close(fd_);
    }
    int get() const { return fd_; }
    int release() { return std::exchange(fd_, -1); }

  private:
    int fd_;
};

// An Error for the system's error number `code` (errno) met while doing
// `what` to `path` ("cannot open"): its kind, the system's text as the
// reason, and "<what> <path>: <reason>" as the message.
Error fileError(std::string_view what, const std::filesystem::path& path, int code);
// The same for a failure that concerns no one file.
Error systemError(std::string_view what, int code);

// Reads a whole file. A missing or unreadable file is an Error naming it:
// NotFound, AccessDenied, IsADirectory, NotRegularFile, ...
Result<std::vector<std::byte>> readFile(const std::filesystem::path& path);
Result<std::string> readTextFile(const std::filesystem::path& path);
// Reads a regular file through `buffer`, handing each chunk read to `chunk`
// until the end of the file or until `chunk` returns an Error.
Status readInChunks(const std::filesystem::path& path, std::span<std::byte> buffer,
                    const std::function<Status(std::span<const std::byte> chunk)>& chunk);

// Checks a fully written temporary file before it replaces the target.
using Verifier = std::function<Status(const std::filesystem::path& temporary)>;

// Where a writer puts a file's bytes, in order.
class ByteSink {
  public:
    virtual ~ByteSink() = default;
    virtual Status write(std::span<const std::byte> bytes) = 0;
    // Overwrites bytes already written: a header field known only at the end.
    virtual Status overwrite(std::uint64_t offset, std::span<const std::byte> bytes) = 0;
    virtual std::uint64_t size() const = 0;
    // Appends up to `size` bytes of the open regular file `source`, read from
    // its start; fewer when the file ends sooner. Returns how many it
    // appended. A sink on a file may have the kernel copy them, so that they
    // never pass through this process.
    virtual Result<std::uint64_t> copyFrom(int source, std::uint64_t size);
};

// A sink into memory.
class MemorySink final : public ByteSink {
  public:
    Status write(std::span<const std::byte> bytes) override;
    Status overwrite(std::uint64_t offset, std::span<const std::byte> bytes) override;
    std::uint64_t size() const override { return bytes_.size(); }
    void reserve(std::size_t size) { bytes_.reserve(size); }
    std::vector<std::byte> take() { return std::move(bytes_); }

  private:
    std::vector<std::byte> bytes_;
};

// Produces a file's content into a sink; an Error stops the replacement.
using Writer = std::function<Status(ByteSink& sink)>;

// Lets `write` write a temporary file beside `target` (through a buffer, so
// that a large file never has to be held whole in memory), optionally lets
// `verify` inspect it, flushes it to disk, then renames it over `target`.
// An existing target keeps its permission bits; a new one gets 0644 less the umask.
// On any failure the target is untouched and the temporary file is removed.
Status replaceFile(const std::filesystem::path& target, const Writer& write,
                   const Verifier& verify = {});
// The same, writing `bytes`.
Status replaceFile(const std::filesystem::path& target, std::span<const std::byte> bytes,
                   const Verifier& verify = {});
Status replaceFile(const std::filesystem::path& target, std::string_view text,
                   const Verifier& verify = {});

// Copies `from` over `to` atomically (same rules as replaceFile).
Status copyFile(const std::filesystem::path& from, const std::filesystem::path& to);

// Prefix of temporary files, so that tests and fault injection can find leftovers.
inline constexpr std::string_view kTemporaryPrefix = ".tamsel-tmp-";

}  // namespace platform::files
