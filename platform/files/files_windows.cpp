// The file layer on Windows: wide-character names, FlushFileBuffers, and
// ReplaceFileW (or MoveFileExW) to put a written file in place.
#include <windows.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <memory>
#include <optional>

#include "platform/errors/errors.h"
#include "platform/files/files.h"
#include "platform/files/files_backend.h"
#include "platform/files/windows_errors.h"

namespace platform::files {
namespace fs = std::filesystem;

namespace {

HANDLE asHandle(std::intptr_t handle) {
    return reinterpret_cast<HANDLE>(handle);
}

// One ReadFile or WriteFile moves at most this much.
constexpr DWORD kMostPerCall = DWORD{1} << 30;

DWORD portion(std::size_t size) {
    return static_cast<DWORD>(std::min<std::size_t>(size, kMostPerCall));
}

OVERLAPPED at(std::uint64_t offset) {
    OVERLAPPED overlapped{};
    overlapped.Offset = static_cast<DWORD>(offset);
    overlapped.OffsetHigh = static_cast<DWORD>(offset >> 32);
    return overlapped;
}

// A positioned read or write on a handle opened for plain I/O moves the file
// pointer too; these keep it where it was.
class KeepPosition {
  public:
    explicit KeepPosition(HANDLE handle) : handle_(handle) {
        ::SetFilePointerEx(handle_, LARGE_INTEGER{}, &position_, FILE_CURRENT);
    }
    ~KeepPosition() { ::SetFilePointerEx(handle_, position_, nullptr, FILE_BEGIN); }
    KeepPosition(const KeepPosition&) = delete;
    KeepPosition& operator=(const KeepPosition&) = delete;

  private:
    HANDLE handle_;
    LARGE_INTEGER position_{};
};

Status writeAll(HANDLE handle, std::span<const std::byte> bytes, const fs::path& path) {
    while (!bytes.empty()) {
        DWORD written = 0;
        if (!::WriteFile(handle, bytes.data(), portion(bytes.size()), &written, nullptr))
            return windowsError("cannot write", path, ::GetLastError());
        bytes = bytes.subspan(written);
    }
    return {};
}

class FileSink final : public detail::BufferedFileSink {
  public:
    FileSink(HANDLE handle, const fs::path& path) : BufferedFileSink(path), handle_(handle) {}

  private:
    Status writeThrough(std::span<const std::byte> bytes) override {
        return writeAll(handle_, bytes, path_);
    }

    Status writeAt(std::uint64_t offset, std::span<const std::byte> bytes) override {
        const KeepPosition keep(handle_);
        while (!bytes.empty()) {
            OVERLAPPED where = at(offset);
            DWORD written = 0;
            if (!::WriteFile(handle_, bytes.data(), portion(bytes.size()), &written, &where))
                return windowsError("cannot write", path_, ::GetLastError());
            bytes = bytes.subspan(written);
            offset += written;
        }
        return {};
    }

    HANDLE handle_;
};

}  // namespace

Result<InputFile> InputFile::open(const fs::path& path) {
    const std::wstring name = systemName(path);
    const DWORD attributes = ::GetFileAttributesW(name.c_str());
    // A folder is said as the system says it elsewhere.
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY))
        return fileError("cannot read", path, EISDIR);
    // Others may go on reading, writing and even renaming the file meanwhile,
    // as on other systems; a change shows where the bytes are compared.
    HANDLE handle = ::CreateFileW(name.c_str(), GENERIC_READ,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                  OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE)
        return windowsError("cannot open", path, ::GetLastError());
    InputFile file(reinterpret_cast<std::intptr_t>(handle), path);
    if (::GetFileType(handle) != FILE_TYPE_DISK)
        return detail::notRegularFile(path);
    return file;
}

Result<std::size_t> InputFile::read(std::span<std::byte> buffer) {
    DWORD got = 0;
    if (!::ReadFile(asHandle(handle_), buffer.data(), portion(buffer.size()), &got, nullptr))
        return windowsError("cannot read", path_, ::GetLastError());
    return static_cast<std::size_t>(got);
}

Result<std::size_t> InputFile::readAt(std::uint64_t offset, std::span<std::byte> buffer) {
    const KeepPosition keep(asHandle(handle_));
    OVERLAPPED where = at(offset);
    DWORD got = 0;
    if (!::ReadFile(asHandle(handle_), buffer.data(), portion(buffer.size()), &got, &where)) {
        const DWORD error = ::GetLastError();
        if (error == ERROR_HANDLE_EOF)
            return std::size_t{0};
        return windowsError("cannot read", path_, error);
    }
    return static_cast<std::size_t>(got);
}

namespace {

// The index and the volume name the file; ChangeTime, which only
// FILE_BASIC_INFO holds, moves with any change, even one that sets the
// last-write time back.
Result<FileStamp> stampOfHandle(HANDLE handle, const fs::path& path) {
    BY_HANDLE_FILE_INFORMATION info{};
    FILE_BASIC_INFO times{};
    if (!::GetFileInformationByHandle(handle, &info) ||
        !::GetFileInformationByHandleEx(handle, FileBasicInfo, &times, sizeof times)) {
        return windowsError("cannot read", path, ::GetLastError());
    }
    const auto joined = [](DWORD high, DWORD low) { return std::uint64_t{high} << 32 | low; };
    return FileStamp{info.dwVolumeSerialNumber, joined(info.nFileIndexHigh, info.nFileIndexLow),
                     joined(info.nFileSizeHigh, info.nFileSizeLow), times.LastWriteTime.QuadPart,
                     times.ChangeTime.QuadPart};
}

}  // namespace

Result<FileStamp> InputFile::stamp() const {
    return stampOfHandle(asHandle(handle_), path_);
}

Result<FileStamp> stampOf(const fs::path& path) {
    // Opened for its attributes alone, which neither reads the file nor
    // stands in the way of anyone who opens it; a folder opens too.
    HANDLE handle = ::CreateFileW(systemName(path).c_str(), FILE_READ_ATTRIBUTES,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                  OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (handle == INVALID_HANDLE_VALUE)
        return windowsError("cannot read", path, ::GetLastError());
    auto stamp = stampOfHandle(handle, path);
    ::CloseHandle(handle);
    return stamp;
}

namespace detail {

std::uint64_t currentProcessId() {
    return ::GetCurrentProcessId();
}

bool processIsGone(std::uint64_t pid) {
    if (pid > MAXDWORD)
        return false;
    HANDLE process = ::OpenProcess(SYNCHRONIZE, FALSE, static_cast<DWORD>(pid));
    if (process == nullptr)
        return ::GetLastError() == ERROR_INVALID_PARAMETER;  // no process has that number
    const bool ended = ::WaitForSingleObject(process, 0) == WAIT_OBJECT_0;
    ::CloseHandle(process);
    return ended;
}

fs::path resolveLinks(const fs::path& target) {
    return target;
}

Result<ExistingTarget> examineTarget(const fs::path& target) {
    const DWORD attributes = ::GetFileAttributesW(systemName(target).c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES)
        return ExistingTarget{};
    if (attributes & FILE_ATTRIBUTE_DIRECTORY)
        return notRegularFile(target);
    ExistingTarget existing;
    existing.exists = true;
    return existing;
}

// Others may read the new file (the verifier does) but not write or remove it.
Result<std::optional<FileHandle>> createNewFile(const fs::path& path, const fs::path& folder) {
    HANDLE handle = ::CreateFileW(systemName(path).c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                                  CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle != INVALID_HANDLE_VALUE)
        return std::optional<FileHandle>(reinterpret_cast<FileHandle>(handle));
    const DWORD error = ::GetLastError();
    if (error != ERROR_FILE_EXISTS && error != ERROR_ALREADY_EXISTS)
        return windowsError("cannot create a temporary file in", folder, error);
    return std::optional<FileHandle>();
}

// The replacement itself carries attributes and security over (renameOver).
Status copyPermissions(FileHandle, const ExistingTarget&, const fs::path&) {
    return {};
}

std::unique_ptr<BufferedFileSink> fileSink(FileHandle file, const fs::path& path) {
    return std::make_unique<FileSink>(asHandle(file), path);
}

Status flushToDisk(FileHandle file, const fs::path& path) {
    if (!::FlushFileBuffers(asHandle(file)))
        return windowsError("cannot flush", path, ::GetLastError());
    return {};
}

// The rename carries the target's attributes and security over to
// whatever file lies at `path` (renameOver).
Status settleFileAt(const fs::path& path, const ExistingTarget&) {
    // FlushFileBuffers needs a handle that may write.
    HANDLE handle = ::CreateFileW(systemName(path).c_str(), GENERIC_WRITE,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                  OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE)
        return windowsError("cannot open", path, ::GetLastError());
    const bool flushed = ::FlushFileBuffers(handle);
    const DWORD error = ::GetLastError();
    ::CloseHandle(handle);
    if (!flushed)
        return windowsError("cannot flush", path, error);
    return {};
}

Status closeFile(FileHandle file, const fs::path& path) {
    if (!::CloseHandle(asHandle(file)))
        return windowsError("cannot close", path, ::GetLastError());
    return {};
}

void closeQuietly(FileHandle file) {
    ::CloseHandle(asHandle(file));
}

// ReplaceFileW keeps an existing target's attributes, security and creation
// time; a new target, or a file system where that fails, takes a move that
// writes through.
Status renameOver(const fs::path& temporary, const fs::path& target, bool targetExists) {
    const std::wstring from = systemName(temporary);
    const std::wstring to = systemName(target);
    if (targetExists && ::ReplaceFileW(to.c_str(), from.c_str(), nullptr,
                                       REPLACEFILE_IGNORE_MERGE_ERRORS, nullptr, nullptr))
        return {};
    const DWORD replaceError = ::GetLastError();
    if (targetExists && errors::isInUse(replaceError))
        return windowsError("cannot replace", target, replaceError);
    if (!::MoveFileExW(from.c_str(), to.c_str(),
                       MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        return windowsError("cannot replace", target, ::GetLastError());
    return {};
}

void removeFile(const fs::path& path) {
    ::DeleteFileW(systemName(path).c_str());
}

}  // namespace detail

}  // namespace platform::files
