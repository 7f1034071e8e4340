// Whole-file reading and atomic replacement, shared by every layer that
// rewrites a file (profile writes, the resource commit, the editor's saves).
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <span>
#include <string>
#include <string_view>
#include <system_error>
#include <utility>
#include <vector>

#include "platform/result.h"

namespace platform::files {

// What the system tells of a file without reading it: which file it is
// (device and inode; on Windows the volume's serial number and the file's
// index), its size, and when its content and its status last changed, in
// the system's own units. A rewrite of the file shows as another stamp,
// unless it keeps the size and falls within one tick of the file system's
// clock (a few milliseconds on Linux) and nothing set the times since.
struct FileStamp {
    std::uint64_t device = 0;
    std::uint64_t file = 0;
    std::uint64_t size = 0;
    std::int64_t modified = 0;
    std::int64_t changed = 0;  // status change: ctime, which no one sets back; Windows' ChangeTime
    bool operator==(const FileStamp&) const = default;
};

// The stamp of what `path` names now (through symbolic links), without
// opening it for reading: a folder has one too, told apart by its identity.
Result<FileStamp> stampOf(const std::filesystem::path& path);

// A regular file open for reading, closed when it goes. The handle is the
// platform's own (a file descriptor, a Windows HANDLE).
class InputFile {
  public:
    // Opens `path` for reading. Only a regular file: a folder or a device is
    // refused, and a named pipe without waiting for a writer.
    static Result<InputFile> open(const std::filesystem::path& path);
    InputFile(InputFile&& other) noexcept
        : handle_(std::exchange(other.handle_, kNoHandle)), path_(std::move(other.path_)) {}
    InputFile& operator=(InputFile&&) = delete;
    InputFile(const InputFile&) = delete;
    InputFile& operator=(const InputFile&) = delete;
    ~InputFile();

    // Reads at the current position, which moves on; 0 at the end.
    Result<std::size_t> read(std::span<std::byte> buffer);
    // Reads at `offset`; the current position stays.
    Result<std::size_t> readAt(std::uint64_t offset, std::span<std::byte> buffer);
    // The open file's stamp as the system tells it now.
    Result<FileStamp> stamp() const;
    const std::filesystem::path& path() const { return path_; }
    std::intptr_t handle() const { return handle_; }

  private:
    static constexpr std::intptr_t kNoHandle = -1;
    InputFile(std::intptr_t handle, std::filesystem::path path)
        : handle_(handle), path_(std::move(path)) {}
    std::intptr_t handle_;
    std::filesystem::path path_;
};

// The path of a name given in UTF-8, and a path's name in UTF-8, on every
// platform (a Windows path holds UTF-16, which a plain std::string would
// take in the ANSI code page).
std::filesystem::path pathFromUtf8(std::string_view utf8);
std::string utf8Name(const std::filesystem::path& path);

// An Error for the system's error number `code` (errno, the C
// library's number on every platform) met while doing
// `what` to `path` ("cannot open"): its kind, the system's text as the
// reason, and "<what> <path>: <reason>" as the message.
Error fileError(std::string_view what, const std::filesystem::path& path, int code);
// The same for a std::filesystem failure: a code of the system's category
// keeps its origin (errno on POSIX, a Windows code on Windows), one of the
// generic category is an errno, and one of any other category keeps its
// own words.
Error fileError(std::string_view what, const std::filesystem::path& path,
                const std::error_code& error);

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
    // Appends up to `size` bytes of `source`, read from its start; fewer
    // when the file ends sooner. Returns how many it appended. A sink on a
    // file may have the system copy them, so that they never pass through
    // this process.
    virtual Result<std::uint64_t> copyFrom(InputFile& source, std::uint64_t size);
};

// A sink into memory.
class MemorySink final : public ByteSink {
  public:
    MemorySink() = default;
    // Writes after what `bytes` holds, into its spare capacity first: a
    // caller that has prepared that memory hands it in.
    explicit MemorySink(std::vector<std::byte> bytes) : bytes_(std::move(bytes)) {}
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
// An existing target keeps its permission bits (on Linux; 0644 less the
// umask for a new one), or its attributes and security (on Windows).
// On any failure the target is untouched and the temporary file is removed.
// `finish`, when given, runs last, on the written, flushed and closed
// temporary file just before the rename: a program that rewrites the file
// as a whole (a signing tool) may open it as any program would. The file it
// leaves keeps the target's permissions and is flushed again, and an Error
// from it fails the replacement.
Status replaceFile(const std::filesystem::path& target, const Writer& write,
                   const Verifier& verify = {}, const Verifier& finish = {});
// The same, writing `bytes`.
Status replaceFile(const std::filesystem::path& target, std::span<const std::byte> bytes,
                   const Verifier& verify = {});
Status replaceFile(const std::filesystem::path& target, std::string_view text,
                   const Verifier& verify = {});

// Writes `bytes` to a new file in `folder`, under a temporary file's name
// for `targetName` that no other file has (and that a later replaceFile's
// clean-up recognises once this process is gone), lets `use` work on it by
// its path, and removes it again, whatever `use` gives or leaves there.
Status withTemporaryFile(const std::filesystem::path& folder,
                         const std::filesystem::path& targetName, std::span<const std::byte> bytes,
                         const Verifier& use);

// Copies `from` over `to` atomically (same rules as replaceFile).
Status copyFile(const std::filesystem::path& from, const std::filesystem::path& to);

// Prefix of temporary files, so that tests and fault injection can find leftovers.
inline constexpr std::string_view kTemporaryPrefix = ".tamsel-tmp-";

}  // namespace platform::files
