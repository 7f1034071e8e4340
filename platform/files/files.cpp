#include "platform/files/files.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <charconv>
#include <csignal>
#include <cstdint>
#include <cstring>
#include <fstream>
#include <limits>
#include <memory>
#include <mutex>
#include <optional>
#include <random>

namespace platform::files {
namespace fs = std::filesystem;

namespace {

ErrorKind kindOf(int code) {
    switch (code) {
        case ENOENT:
        case ENOTDIR:
            return ErrorKind::NotFound;
        case EACCES:
        case EPERM:
            return ErrorKind::AccessDenied;
        case EISDIR:
            return ErrorKind::IsADirectory;
        case EROFS:
            return ErrorKind::ReadOnly;
        case ENOSPC:
        case EDQUOT:
        case EFBIG:
            return ErrorKind::NoSpace;
        case ENOMEM:
            return ErrorKind::OutOfMemory;
        default:
            return ErrorKind::Io;
    }
}

}  // namespace

Error systemError(std::string_view what, int code) {
    std::string reason = std::strerror(code);
    return Error{std::string(what) + ": " + reason, kindOf(code), code, std::move(reason)};
}

Error fileError(std::string_view what, const fs::path& path, int code) {
    return systemError(std::string(what) + " " + path.string(), code);
}

namespace {

Error notRegularFile(const fs::path& path) {
    return Error{"not a regular file: " + path.string(), ErrorKind::NotRegularFile, 0,
                 "not a regular file"};
}

// A file-size limit (ulimit -f) must surface as a failed write (EFBIG), not
// as SIGXFSZ killing the process halfway through a save.
void ignoreFileSizeSignal() {
    static std::once_flag once;
    std::call_once(once, [] { std::signal(SIGXFSZ, SIG_IGN); });
}

Status writeAll(int fd, std::span<const std::byte> bytes, const fs::path& path) {
    const std::byte* data = bytes.data();
    std::size_t left = bytes.size();
    while (left > 0) {
        ssize_t written = ::write(fd, data, left);
        if (written < 0) {
            if (errno == EINTR)
                continue;
            return fileError("cannot write", path, errno);
        }
        data += written;
        left -= static_cast<std::size_t>(written);
    }
    return {};
}

// Appends up to `size` bytes of `source` from offset `from` through a buffer.
Result<std::uint64_t> copyByReading(ByteSink& sink, int source, std::uint64_t from,
                                    std::uint64_t size) {
    constexpr std::size_t kChunk = std::size_t{1} << 18;
    const std::unique_ptr<std::byte[]> chunk(new std::byte[kChunk]);  // only bytes read are used
    std::uint64_t done = 0;
    while (done < size) {
        const auto want = static_cast<std::size_t>(std::min<std::uint64_t>(kChunk, size - done));
        const ssize_t got = ::pread(source, chunk.get(), want, static_cast<off_t>(from + done));
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0)
            return systemError("cannot read the file being copied", errno);
        if (got == 0)
            break;
        if (Status s = sink.write({chunk.get(), static_cast<std::size_t>(got)}); !s)
            return s.error();
        done += static_cast<std::uint64_t>(got);
    }
    return done;
}

// A sink over a file descriptor. Small writes gather in one buffer, taken
// from the heap on first need and reused; a write at least as large as the
// buffer goes straight to the file, so that large blocks are not copied.
class FileSink final : public ByteSink {
  public:
    FileSink(int fd, const fs::path& path) : fd_(fd), path_(path) {}

    Status write(std::span<const std::byte> bytes) override {
        if (!buffer_ && bytes.size() < kBufferSize)
            buffer_.reset(
                new std::byte[kBufferSize]);  // not zero-filled: only written bytes are read
        if (buffered_ + bytes.size() > kBufferSize) {
            if (Status s = flush(); !s)
                return s;
        }
        size_ += bytes.size();
        if (bytes.size() >= kBufferSize) {
            Status status = writeAll(fd_, bytes, path_);
            if (status)
                written(bytes.size());
            return status;
        }
        if (!bytes.empty())
            std::memcpy(buffer_.get() + buffered_, bytes.data(), bytes.size());
        buffered_ += bytes.size();
        return {};
    }

    Status overwrite(std::uint64_t offset, std::span<const std::byte> bytes) override {
        if (offset > size_ || bytes.size() > size_ - offset)
            return Error{"cannot overwrite past the end of " + path_.string(), ErrorKind::Internal};
        if (Status s = flush(); !s)
            return s;
        std::size_t done = 0;
        while (done < bytes.size()) {
            const ssize_t written = ::pwrite(fd_, bytes.data() + done, bytes.size() - done,
                                             static_cast<off_t>(offset + done));
            if (written < 0 && errno == EINTR)
                continue;
            if (written < 0)
                return fileError("cannot write", path_, errno);
            done += static_cast<std::size_t>(written);
        }
        return {};
    }

    std::uint64_t size() const override { return size_; }

    Result<std::uint64_t> copyFrom(int source, std::uint64_t size) override {
        if (Status s = flush(); !s)
            return s.error();
        std::uint64_t done = 0;
#ifdef __linux__
        // The kernel copies from page cache to page cache; where it cannot
        // (another file system, an older kernel), the bytes are read instead.
        while (done < size) {
            loff_t from = static_cast<loff_t>(done);
            const std::size_t want =
                static_cast<std::size_t>(std::min<std::uint64_t>(size - done, kCopyPiece));
            const ssize_t copied = ::copy_file_range(source, &from, fd_, nullptr, want, 0);
            if (copied < 0 && errno == EINTR)
                continue;
            if (copied < 0 && (errno == EXDEV || errno == EINVAL || errno == ENOSYS ||
                               errno == EOPNOTSUPP || errno == EBADF)) {
                break;
            }
            if (copied < 0)
                return fileError("cannot write", path_, errno);
            if (copied == 0)
                break;  // the end, or a file system that copies nothing: reading tells
            done += static_cast<std::uint64_t>(copied);
            size_ += static_cast<std::uint64_t>(copied);
            written(static_cast<std::uint64_t>(copied));
        }
#endif
        auto rest = copyByReading(*this, source, done, size - done);
        if (!rest)
            return rest;
        if (Status s = flush(); !s)
            return s.error();
        return done + *rest;
    }

    Status flush() {
        Status status = writeAll(fd_, {buffer_.get(), buffered_}, path_);
        if (status)
            written(buffered_);
        buffered_ = 0;
        return status;
    }

  private:
    static constexpr std::size_t kBufferSize = std::size_t{1} << 18;
    static constexpr std::size_t kCopyPiece = std::size_t{1} << 30;
    // Past this many bytes not yet handed to the disk, writeback is started
    // for them: the disk works while the rest is produced, and the final
    // fsync waits only for the tail.
    static constexpr std::uint64_t kWritebackStep = std::uint64_t{8} << 20;

    // Counts bytes that reached the file.
    void written(std::uint64_t count) {
        onDisk_ += count;
#ifdef __linux__
        if (onDisk_ - handedOn_ >= kWritebackStep) {
            // A hint only: a failure here shows in the fsync that follows.
            ::sync_file_range(fd_, static_cast<off_t>(handedOn_),
                              static_cast<off_t>(onDisk_ - handedOn_), SYNC_FILE_RANGE_WRITE);
            handedOn_ = onDisk_;
        }
#endif
    }

    int fd_;
    const fs::path& path_;
    std::unique_ptr<std::byte[]> buffer_;
    std::size_t buffered_ = 0;
    std::uint64_t size_ = 0;      // written so far, buffered or not
    std::uint64_t onDisk_ = 0;    // handed to the kernel
    std::uint64_t handedOn_ = 0;  // of those, given to writeback
};

// The part of a target's name that its temporary files carry: at most 64
// bytes of it, so that prefix, name and numbers stay within the 255 bytes a
// file name may have even when the target's own name nearly fills them.
// Targets whose names share those bytes share the stem; that only lets one
// of them clear the other's files left by dead writers.
std::string temporaryStem(const fs::path& targetName) {
    std::string name = targetName.string();
    name.resize(std::min<std::size_t>(name.size(), 64));
    return name;
}

// Creates a new, empty temporary file in `folder` with an unpredictable name.
Result<std::pair<fs::path, int>> createTemporary(const fs::path& folder, const fs::path& target) {
    static std::atomic<unsigned> counter{0};
    std::random_device random;
    const std::string stem = temporaryStem(target);
    for (int attempt = 0; attempt < 100; ++attempt) {
        std::string name = std::string(kTemporaryPrefix) + stem + "-" + std::to_string(::getpid()) +
                           "-" + std::to_string(counter++) + "-" + std::to_string(random());
        fs::path candidate = folder / name;
        int fd = ::open(candidate.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd >= 0)
            return std::pair{candidate, fd};
        if (errno != EEXIST)
            return fileError("cannot create a temporary file in", folder, errno);
    }
    return fileError("cannot create a temporary file in", folder, EEXIST);
}

// The writer's pid in a temporary file name of this target, which reads
// "<prefix><target>-<pid>-<counter>-<random>"; nullopt for any other name.
// Exactly three number groups, so that the files of a target "a" and of a
// target "a-1" are never taken for each other.
std::optional<pid_t> temporaryOwner(std::string_view name, std::string_view prefix) {
    if (!name.starts_with(prefix))
        return std::nullopt;
    name.remove_prefix(prefix.size());
    pid_t pid = 0;
    for (int group = 0; group < 3; ++group) {
        std::uint64_t number = 0;
        const auto [end, error] = std::from_chars(name.data(), name.data() + name.size(), number);
        if (error != std::errc{} || end == name.data())
            return std::nullopt;
        if (group == 0) {
            if (number == 0 ||
                number > static_cast<std::uint64_t>(std::numeric_limits<pid_t>::max()))
                return std::nullopt;
            pid = static_cast<pid_t>(number);
        }
        name.remove_prefix(static_cast<std::size_t>(end - name.data()));
        if (group < 2) {
            if (!name.starts_with('-'))
                return std::nullopt;
            name.remove_prefix(1);
        }
    }
    if (!name.empty())
        return std::nullopt;
    return pid;
}

// A writer killed between creating its temporary file and the rename (power
// cut, SIGKILL) leaves that file behind, and every such run would add one
// more copy of the target beside it. Before writing, the temporary files of
// this target whose writer process no longer exists are removed; a live
// writer's file, and any file we cannot judge, is kept. Best effort: a
// failure here never stops the write.
void removeStaleTemporaries(const fs::path& folder, const fs::path& targetName) {
    const std::string prefix = std::string(kTemporaryPrefix) + temporaryStem(targetName) + "-";
    std::error_code ec;
    for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
        const std::string name = it->path().filename().string();
        const std::optional<pid_t> owner = temporaryOwner(name, prefix);
        if (!owner)
            continue;
        // kill(pid, 0) fails with ESRCH only when no such process exists;
        // EPERM means it lives under another user.
        if (::kill(*owner, 0) == 0 || errno != ESRCH)
            continue;
        std::error_code typeError;
        if (!it->is_regular_file(typeError) || it->is_symlink(typeError))
            continue;
        ::unlink(it->path().c_str());
    }
}

// Makes the rename itself durable.
void syncFolder(const fs::path& folder) {
    int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
}

}  // namespace

Result<std::vector<std::byte>> readFile(const fs::path& path) {
    std::vector<std::byte> bytes;
    std::byte chunk[1 << 16];
    bool first = true;
    // The size stated is only a hint (a sparse file may claim terabytes):
    // at most 256 MB is reserved ahead, and memory running out while the
    // bytes arrive is a failed read, not an abort.
    constexpr std::uintmax_t kMostReserved = std::uintmax_t{256} << 20;
    Status read = readInChunks(path, chunk, [&](std::span<const std::byte> got) -> Status {
        try {
            if (std::exchange(first, false)) {
                std::error_code ec;
                const std::uintmax_t size = fs::file_size(path, ec);
                if (!ec)
                    bytes.reserve(static_cast<std::size_t>(std::min(size, kMostReserved)));
            }
            bytes.insert(bytes.end(), got.begin(), got.end());
        } catch (const std::bad_alloc&) {
            return Error{"not enough memory to read " + path.string(), ErrorKind::OutOfMemory};
        }
        return {};
    });
    if (!read)
        return read.error();
    return bytes;
}

Status readInChunks(const fs::path& path, std::span<std::byte> buffer,
                    const std::function<Status(std::span<const std::byte> chunk)>& chunk) {
    // Opened without blocking: opening a named pipe would otherwise wait for
    // a writer that may never come. Only a regular file is read.
    FileDescriptor fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    if (fd.get() < 0)
        return fileError("cannot open", path, errno);
    struct stat info {};
    if (::fstat(fd.get(), &info) != 0)
        return fileError("cannot read", path, errno);
    // A folder opens for reading; it is said as the system says it elsewhere.
    if (S_ISDIR(info.st_mode))
        return fileError("cannot read", path, EISDIR);
    if (!S_ISREG(info.st_mode))
        return notRegularFile(path);
    ::fcntl(fd.get(), F_SETFL, ::fcntl(fd.get(), F_GETFL) & ~O_NONBLOCK);
    for (;;) {
        const ssize_t got = ::read(fd.get(), buffer.data(), buffer.size());
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0)
            return fileError("cannot read", path, errno);
        if (got == 0)
            return {};
        if (Status s = chunk(buffer.first(static_cast<std::size_t>(got))); !s)
            return s;
    }
}

Result<std::string> readTextFile(const fs::path& path) {
    auto bytes = readFile(path);
    if (!bytes)
        return bytes.error();
    return std::string(reinterpret_cast<const char*>(bytes->data()), bytes->size());
}

Result<std::uint64_t> ByteSink::copyFrom(int source, std::uint64_t size) {
    return copyByReading(*this, source, 0, size);
}

Status MemorySink::write(std::span<const std::byte> bytes) {
    bytes_.insert(bytes_.end(), bytes.begin(), bytes.end());
    return {};
}

Status MemorySink::overwrite(std::uint64_t offset, std::span<const std::byte> bytes) {
    if (offset > bytes_.size() || bytes.size() > bytes_.size() - offset)
        return Error{"cannot overwrite past the end of the written bytes", ErrorKind::Internal};
    std::copy(bytes.begin(), bytes.end(), bytes_.begin() + static_cast<std::ptrdiff_t>(offset));
    return {};
}

Status replaceFile(const fs::path& requestedTarget, const Writer& write, const Verifier& verify) {
    ignoreFileSizeSignal();
    // Replace what a symbolic link points at, not the link.
    std::error_code ec;
    fs::path target = requestedTarget;
    if (fs::is_symlink(target, ec)) {
        fs::path resolved = fs::canonical(target, ec);
        if (!ec)
            target = resolved;
    }
    fs::path folder = target.parent_path();
    if (folder.empty())
        folder = ".";

    struct stat existing {};
    bool targetExists = ::stat(target.c_str(), &existing) == 0;
    if (targetExists && !S_ISREG(existing.st_mode))
        return notRegularFile(target);

    removeStaleTemporaries(folder, target.filename());
    auto created = createTemporary(folder, target.filename());
    if (!created)
        return created.status();
    const fs::path temporary = created->first;
    FileDescriptor fd(created->second);
    // The temporary file goes on every way out but the rename, an exception
    // (memory running out in a writer) included.
    struct RemoveUnlessRenamed {
        const fs::path& path;
        bool renamed = false;
        ~RemoveUnlessRenamed() {
            if (!renamed)
                ::unlink(path.c_str());
        }
    } cleanup{temporary};

    if (targetExists) {
        // The replacement keeps the owner where we may set it (a root run on
        // a user's file must not leave it root's), then the permission bits:
        // a change of owner clears set-user-ID bits.
        if (existing.st_uid != ::geteuid() || existing.st_gid != ::getegid())
            static_cast<void>(::fchown(fd.get(), existing.st_uid, existing.st_gid));
        if (::fchmod(fd.get(), existing.st_mode & 07777) != 0)
            return fileError("cannot set permissions of", temporary, errno);
    }
    FileSink sink(fd.get(), temporary);
    if (Status s = write(sink); !s)
        return s;
    if (Status s = sink.flush(); !s)
        return s;
    // Read back before the flush: reads see the same bytes either way, and
    // the disk can go on writing meanwhile.
    if (verify) {
        if (Status s = verify(temporary); !s)
            return s;
    }
    if (::fsync(fd.get()) != 0)
        return fileError("cannot flush", temporary, errno);
    if (::close(fd.release()) != 0)
        return fileError("cannot close", temporary, errno);
    if (::rename(temporary.c_str(), target.c_str()) != 0) {
        return fileError("cannot replace", target, errno);
    }
    cleanup.renamed = true;
    syncFolder(folder);
    return {};
}

Status replaceFile(const fs::path& target, std::span<const std::byte> bytes,
                   const Verifier& verify) {
    return replaceFile(
        target, [bytes](ByteSink& sink) { return sink.write(bytes); }, verify);
}

Status replaceFile(const fs::path& target, std::string_view text, const Verifier& verify) {
    return replaceFile(target, std::as_bytes(std::span(text.data(), text.size())), verify);
}

Status copyFile(const fs::path& from, const fs::path& to) {
    auto bytes = readFile(from);
    if (!bytes)
        return bytes.status();
    return replaceFile(to, std::span<const std::byte>(*bytes));
}

}  // namespace platform::files
