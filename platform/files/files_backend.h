// What the file layer's shared file (files.cpp) and its platform files
// (files_posix.cpp, files_windows.cpp) share: the buffering of a file sink,
// and the primitives each platform gives the shared algorithms. Not part of
// the layer's interface.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <span>

#include "platform/files/files.h"

namespace platform::files::detail {

// A sink over a file. Small writes gather in one buffer, taken from the heap
// on first need and reused; a write at least as large as the buffer goes
// straight to the file, so that large blocks are not copied. The platform
// writes.
class BufferedFileSink : public ByteSink {
  public:
    explicit BufferedFileSink(const std::filesystem::path& path) : path_(path) {}

    Status write(std::span<const std::byte> bytes) final;
    Status overwrite(std::uint64_t offset, std::span<const std::byte> bytes) final;
    std::uint64_t size() const final { return size_; }
    // Hands the buffered bytes to the file.
    Status flush();

  protected:
    // Appends to the file, all of `bytes` or an Error.
    virtual Status writeThrough(std::span<const std::byte> bytes) = 0;
    // Writes at `offset`, inside what the file holds.
    virtual Status writeAt(std::uint64_t offset, std::span<const std::byte> bytes) = 0;
    // Told of every `count` bytes that reached the file.
    virtual void written(std::uint64_t /*count*/) {}
    // For a copy the platform made: `count` more bytes in the file.
    void appended(std::uint64_t count) {
        size_ += count;
        written(count);
    }

    const std::filesystem::path& path_;

  private:
    static constexpr std::size_t kBufferSize = std::size_t{1} << 18;
    std::unique_ptr<std::byte[]> buffer_;
    std::size_t buffered_ = 0;
    std::uint64_t size_ = 0;  // written so far, buffered or not
};

// "not a regular file: <path>", for a folder's or a device's name where a
// file was wanted.
Error notRegularFile(const std::filesystem::path& path);

// The folder that holds `target`, "." for a bare name.
std::filesystem::path folderOf(const std::filesystem::path& target);

// Appends up to `size` bytes of `source` from offset `from` through a buffer.
Result<std::uint64_t> copyByReading(ByteSink& sink, InputFile& source, std::uint64_t from,
                                    std::uint64_t size);

// The primitives replaceFile is written over, one set per platform. An open
// file is the platform's own handle (a file descriptor, a Windows HANDLE).
using FileHandle = std::intptr_t;

// The file to replace for `target`: on POSIX what a symbolic link named
// `target` points at, so that the link stays a link.
std::filesystem::path resolveLinks(const std::filesystem::path& target);

// What the replacement keeps of the file it replaces: on POSIX its owner,
// group and permission bits, which a new file does not inherit (Windows
// carries attributes and security over in the replacement itself).
struct ExistingTarget {
    bool exists = false;
    std::uint64_t owner = 0;
    std::uint64_t group = 0;
    std::uint32_t mode = 0;
};

// Nothing at `target`, or a file that may be replaced; anything else (a
// folder, on POSIX also a device or a pipe) is notRegularFile.
Result<ExistingTarget> examineTarget(const std::filesystem::path& target);

// Creates `path` as a new, empty file open for writing; nullopt when that
// name is taken. An Error names `folder`, where the file was to be.
Result<std::optional<FileHandle>> createNewFile(const std::filesystem::path& path,
                                                const std::filesystem::path& folder);
Status copyPermissions(FileHandle file, const ExistingTarget& existing,
                       const std::filesystem::path& path);
// A sink that writes to `file`; `path` names it in errors and must outlive it.
std::unique_ptr<BufferedFileSink> fileSink(FileHandle file, const std::filesystem::path& path);
// Waits until what was written to `file` is on the disk.
Status flushToDisk(FileHandle file, const std::filesystem::path& path);
Status closeFile(FileHandle file, const std::filesystem::path& path);
// Flushes the file at `path` to disk, opening it for that, after giving
// it the permissions of `existing` where that exists: a program that put a
// new file there made it with its own.
Status settleFileAt(const std::filesystem::path& path, const ExistingTarget& existing);
// For clearing up, where a failure has nothing left to tell.
void closeQuietly(FileHandle file);
void removeFile(const std::filesystem::path& path);

// Puts the closed file `temporary` in the place of `target` in one step, so
// that a reader sees the old file or the new one, never a mixture, and makes
// that durable.
Status renameOver(const std::filesystem::path& temporary, const std::filesystem::path& target,
                  bool targetExists);

// From the platform: this process's number, and whether the process `pid`
// is surely gone (false when it lives or cannot be judged).
std::uint64_t currentProcessId();
bool processIsGone(std::uint64_t pid);

}  // namespace platform::files::detail
