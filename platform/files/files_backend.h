// What the file layer's platform files (files_posix.cpp, files_windows.cpp)
// share: the buffering of a file sink and the temporary files' names. Not
// part of the layer's interface.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <span>
#include <string>

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

// Lets `write` fill the temporary file through `sink`, hands on what is
// buffered, and lets `verify` read it back. Read back before the flush to
// disk: reads see the same bytes either way, and the disk can go on writing
// meanwhile.
Status fillTemporary(BufferedFileSink& sink, const Writer& write, const Verifier& verify,
                     const std::filesystem::path& temporary);

// The folder that holds `target`, "." for a bare name.
std::filesystem::path folderOf(const std::filesystem::path& target);

// "not a regular file: <path>", for a folder's or a device's name where a
// file was wanted.
Error notRegularFile(const std::filesystem::path& path);

// Appends up to `size` bytes of `source` from offset `from` through a buffer.
Result<std::uint64_t> copyByReading(ByteSink& sink, InputFile& source, std::uint64_t from,
                                    std::uint64_t size);

// The name of a new temporary file for `targetName`:
// "<prefix><stem>-<pid>-<counter>-<random>".
std::string temporaryName(const std::filesystem::path& targetName, std::uint64_t random);

// A writer killed between creating its temporary file and the rename (power
// cut, SIGKILL) leaves that file behind, and every such run would add one
// more copy of the target beside it. Before writing, the temporary files of
// this target whose writer process no longer exists are removed; a live
// writer's file, and any file we cannot judge, is kept. Best effort: a
// failure here never stops the write.
void removeStaleTemporaries(const std::filesystem::path& folder,
                            const std::filesystem::path& targetName);

// From the platform: this process's number, and whether the process `pid`
// is surely gone (false when it lives or cannot be judged).
std::uint64_t currentProcessId();
bool processIsGone(std::uint64_t pid);

}  // namespace platform::files::detail
