// The file layer on POSIX systems: file descriptors, fsync and rename.
#include "platform/files/files.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdint>
#include <cstring>
#include <fstream>
#include <limits>
#include <memory>
#include <mutex>
#include <optional>

#include "platform/files/files_backend.h"

namespace platform::files {
namespace fs = std::filesystem;

namespace {

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

// A sink over a file descriptor; on Linux the kernel copies whole files
// into it and writes back as it goes.
class FileSink final : public detail::BufferedFileSink {
  public:
    FileSink(int fd, const fs::path& path) : BufferedFileSink(path), fd_(fd) {}

    Result<std::uint64_t> copyFrom(InputFile& source, std::uint64_t size) override {
        if (Status s = flush(); !s)
            return s.error();
        std::uint64_t done = 0;
#ifdef __linux__
        // The kernel copies from page cache to page cache; where it cannot
        // (another file system, an older kernel), the bytes are read instead.
        const int sourceFd = static_cast<int>(source.handle());
        while (done < size) {
            loff_t from = static_cast<loff_t>(done);
            const std::size_t want =
                static_cast<std::size_t>(std::min<std::uint64_t>(size - done, kCopyPiece));
            const ssize_t copied = ::copy_file_range(sourceFd, &from, fd_, nullptr, want, 0);
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
            appended(static_cast<std::uint64_t>(copied));
        }
#endif
        auto rest = detail::copyByReading(*this, source, done, size - done);
        if (!rest)
            return rest;
        if (Status s = flush(); !s)
            return s.error();
        return done + *rest;
    }

  private:
    static constexpr std::size_t kCopyPiece = std::size_t{1} << 30;
    // Past this many bytes not yet handed to the disk, writeback is started
    // for them: the disk works while the rest is produced, and the final
    // fsync waits only for the tail.
    static constexpr std::uint64_t kWritebackStep = std::uint64_t{8} << 20;

    Status writeThrough(std::span<const std::byte> bytes) override {
        return writeAll(fd_, bytes, path_);
    }

    Status writeAt(std::uint64_t offset, std::span<const std::byte> bytes) override {
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

    void written(std::uint64_t count) override {
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
    std::uint64_t onDisk_ = 0;    // handed to the kernel
    std::uint64_t handedOn_ = 0;  // of those, given to writeback
};

// Makes a rename in `folder` durable.
void syncFolder(const fs::path& folder) {
    int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
}

}  // namespace

Result<InputFile> InputFile::open(const fs::path& path) {
    // Opened without blocking: opening a named pipe would otherwise wait for
    // a writer that may never come. Only a regular file is read.
    InputFile file(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK), path);
    if (file.handle_ < 0)
        return fileError("cannot open", path, errno);
    const int fd = static_cast<int>(file.handle_);
    struct stat info {};
    if (::fstat(fd, &info) != 0)
        return fileError("cannot read", path, errno);
    // A folder opens for reading; it is said as the system says it elsewhere.
    if (S_ISDIR(info.st_mode))
        return fileError("cannot read", path, EISDIR);
    if (!S_ISREG(info.st_mode))
        return detail::notRegularFile(path);
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    return file;
}

Result<std::size_t> InputFile::read(std::span<std::byte> buffer) {
    for (;;) {
        const ssize_t got = ::read(static_cast<int>(handle_), buffer.data(), buffer.size());
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0)
            return fileError("cannot read", path_, errno);
        return static_cast<std::size_t>(got);
    }
}

Result<std::size_t> InputFile::readAt(std::uint64_t offset, std::span<std::byte> buffer) {
    for (;;) {
        const ssize_t got = ::pread(static_cast<int>(handle_), buffer.data(), buffer.size(),
                                    static_cast<off_t>(offset));
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0)
            return fileError("cannot read", path_, errno);
        return static_cast<std::size_t>(got);
    }
}

namespace {

FileStamp stampFrom(const struct stat& info) {
    const auto nanoseconds = [](const timespec& time) {
        return static_cast<std::int64_t>(time.tv_sec) * 1'000'000'000 + time.tv_nsec;
    };
    return FileStamp{static_cast<std::uint64_t>(info.st_dev),
                     static_cast<std::uint64_t>(info.st_ino),
                     static_cast<std::uint64_t>(info.st_size), nanoseconds(info.st_mtim),
                     nanoseconds(info.st_ctim)};
}

}  // namespace

Result<FileStamp> InputFile::stamp() const {
    struct stat info {};
    if (::fstat(static_cast<int>(handle_), &info) != 0)
        return fileError("cannot read", path_, errno);
    return stampFrom(info);
}

Result<FileStamp> stampOf(const fs::path& path) {
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0)
        return fileError("cannot read", path, errno);
    return stampFrom(info);
}

namespace detail {

std::uint64_t currentProcessId() {
    return static_cast<std::uint64_t>(::getpid());
}

bool processIsGone(std::uint64_t pid) {
    // kill(pid, 0) fails with ESRCH only when no such process exists;
    // EPERM means it lives under another user.
    if (pid > static_cast<std::uint64_t>(std::numeric_limits<pid_t>::max()))
        return false;
    return ::kill(static_cast<pid_t>(pid), 0) != 0 && errno == ESRCH;
}

fs::path resolveLinks(const fs::path& target) {
    std::error_code ec;
    if (fs::is_symlink(target, ec)) {
        fs::path resolved = fs::canonical(target, ec);
        if (!ec)
            return resolved;
    }
    return target;
}

Result<ExistingTarget> examineTarget(const fs::path& target) {
    struct stat existing {};
    if (::stat(target.c_str(), &existing) != 0)
        return ExistingTarget{};
    if (!S_ISREG(existing.st_mode))
        return notRegularFile(target);
    return ExistingTarget{true, existing.st_uid, existing.st_gid, existing.st_mode & 07777};
}

Result<std::optional<FileHandle>> createNewFile(const fs::path& path, const fs::path& folder) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd >= 0)
        return std::optional<FileHandle>(fd);
    if (errno != EEXIST)
        return fileError("cannot create a temporary file in", folder, errno);
    return std::optional<FileHandle>();
}

Status copyPermissions(FileHandle file, const ExistingTarget& existing, const fs::path& path) {
    // The replacement keeps the owner where we may set it (a root run on a
    // user's file must not leave it root's), then the permission bits: a
    // change of owner clears set-user-ID bits.
    const auto owner = static_cast<uid_t>(existing.owner);
    const auto group = static_cast<gid_t>(existing.group);
    if (owner != ::geteuid() || group != ::getegid())
        static_cast<void>(::fchown(static_cast<int>(file), owner, group));
    if (::fchmod(static_cast<int>(file), static_cast<mode_t>(existing.mode)) != 0)
        return fileError("cannot set permissions of", path, errno);
    return {};
}

std::unique_ptr<BufferedFileSink> fileSink(FileHandle file, const fs::path& path) {
    ignoreFileSizeSignal();
    return std::make_unique<FileSink>(static_cast<int>(file), path);
}

Status flushToDisk(FileHandle file, const fs::path& path) {
    if (::fsync(static_cast<int>(file)) != 0)
        return fileError("cannot flush", path, errno);
    return {};
}

Status settleFileAt(const fs::path& path, const ExistingTarget& existing) {
    const int file = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (file < 0)
        return fileError("cannot open", path, errno);
    if (existing.exists) {
        if (Status s = copyPermissions(file, existing, path); !s) {
            ::close(file);
            return s;
        }
    }
    const bool flushed = ::fsync(file) == 0;
    const int error = errno;
    ::close(file);
    if (!flushed)
        return fileError("cannot flush", path, error);
    return {};
}

Status closeFile(FileHandle file, const fs::path& path) {
    if (::close(static_cast<int>(file)) != 0)
        return fileError("cannot close", path, errno);
    return {};
}

void closeQuietly(FileHandle file) {
    ::close(static_cast<int>(file));
}

Status renameOver(const fs::path& temporary, const fs::path& target, bool /*targetExists*/) {
    if (::rename(temporary.c_str(), target.c_str()) != 0)
        return fileError("cannot replace", target, errno);
    syncFolder(folderOf(target));
    return {};
}

void removeFile(const fs::path& path) {
    ::unlink(path.c_str());
}

}  // namespace detail

}  // namespace platform::files
